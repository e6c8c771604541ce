#include "app/IniFile.h"
#include "mqtt/Publisher.h"

#include <cstdlib>

namespace tessary::mqtt {

namespace {
constexpr const char* kSection = "MQTT";
}

WindowChoices LoadWindowChoices(const std::string& iniPath) {
    const app::IniFile ini = app::IniFile::Load(iniPath);
    WindowChoices c;
    c.publish = ini.ReadInteger(kSection, "Publish", 0) == 1;
    c.broker = ini.ReadString(kSection, "Broker", c.broker);
    c.prefix = ini.ReadString(kSection, "Prefix", "");
    c.qos = ini.ReadInteger(kSection, "QoS", 0) == 1 ? 1 : 0;
    c.discovery = ini.ReadInteger(kSection, "Discovery", 0) == 1;
    return c;
}

std::string SaveWindowChoices(const std::string& iniPath, const WindowChoices& c) {
    app::IniFile ini = app::IniFile::Load(iniPath);
    ini.WriteInteger(kSection, "Publish", c.publish ? 1 : 0);
    ini.WriteString(kSection, "Broker", c.broker);
    ini.WriteString(kSection, "Prefix", c.prefix);
    ini.WriteInteger(kSection, "QoS", c.qos);
    ini.WriteInteger(kSection, "Discovery", c.discovery ? 1 : 0);
    std::string reason;
    return ini.Save(iniPath, &reason) == app::IniFile::SaveResult::Failed ? reason : std::string();
}

std::string SettingsOf(const WindowChoices& c, const std::string& portName, PublishSettings& s) {
    s = {};
    if (std::string bad = ParseBrokerUrl(c.broker, s.url); !bad.empty()) return bad;
    s.prefix = !c.prefix.empty() ? c.prefix : !s.url.prefix.empty() ? s.url.prefix : DefaultPrefix(ThisHostName(), portName);
    s.qos = c.qos;
    s.discovery = c.discovery;
    if (const char* password = std::getenv("TESSARY_MQTT_PASSWORD")) s.password = password;
    return {};
}

}  // namespace tessary::mqtt
