#pragma once
// Publishing readings to an MQTT broker. The flows hand their rows over and
// return: the rows wait in a bounded queue (kQueueLimit, the oldest dropped
// and counted) while the broker is away, and a thread of the publisher's own
// connects, retries with a back-off up to 10 s and sends them in order.
//
// Threads: Make and Close from the thread that owns the publisher; the
// ReadingsPublisher calls from any thread, never waiting for the network;
// `notice` is called on the publisher's threads.

#include "device/ReadingsPublisher.h"
#include "mqtt/MqttText.h"

#include <cstddef>
#include <functional>
#include <memory>
#include <string>

namespace tessary::mqtt {

inline constexpr std::size_t kQueueLimit = 10000;

struct PublishSettings {
    BrokerUrl url;
    std::string prefix;    // the whole prefix, the default filled in
    std::string password;  // from TESSARY_MQTT_PASSWORD; never stored
    std::string caFile;    // mqtts: the CA certificates; empty: the system's
    int qos = 0;           // of the readings; status, info and discovery go with 1
    bool discovery = false;
};

class Publisher : public device::ReadingsPublisher {
public:
    // Says "offline" and sends what waits, for at most `drain`, then disconnects cleanly.
    virtual void Close(std::chrono::milliseconds drain = std::chrono::seconds(3)) = 0;
    // Set once the broker refused the login or TLS failed: publishing has
    // given up. Empty otherwise.
    virtual std::string Fatal() const = 0;
    virtual std::size_t Dropped() const = 0;
    virtual bool Connected() const = 0;
};

enum class MakeError { None, NoMqtt, Usage, File };

// Null with `error` (and its kind) when this build has no MQTT or the
// settings cannot work (an unreadable CA file).
std::unique_ptr<Publisher> MakePublisher(const PublishSettings& settings,
                                         std::function<void(const std::string&)> notice, std::string& error,
                                         MakeError& kind);

// The host name for the default prefix.
std::string ThisHostName();

}  // namespace tessary::mqtt

namespace tessary::mqtt {

// The window's choices, kept in the INI file's [MQTT] section (never the password).
struct WindowChoices {
    bool publish = false;
    std::string broker = "mqtt://localhost";
    std::string prefix;  // empty: the default
    int qos = 0;
    bool discovery = false;
    bool operator==(const WindowChoices&) const = default;
};
WindowChoices LoadWindowChoices(const std::string& iniPath);
// Empty, or why the file was not written.
std::string SaveWindowChoices(const std::string& iniPath, const WindowChoices& choices);
// The settings of the window's choices for a line on `portName`; empty, or what is wrong.
std::string SettingsOf(const WindowChoices& choices, const std::string& portName, PublishSettings& settings);

}  // namespace tessary::mqtt
