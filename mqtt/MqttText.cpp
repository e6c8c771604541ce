#include "mqtt/MqttText.h"

#include <algorithm>
#include <cctype>
#include <charconv>

namespace tessary::mqtt {

namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// A topic level: no wildcards, no separator.
std::string TopicLevel(std::string_view text) {
    std::string s;
    for (const char c : text) s += (c == '/' || c == '+' || c == '#' || static_cast<unsigned char>(c) < 32) ? '_' : c;
    return s.empty() ? "_" : s;
}

// An id Home Assistant takes in a topic: [A-Za-z0-9_-].
std::string IdPart(std::string_view text) {
    std::string s;
    for (const char c : text) s += std::isalnum(static_cast<unsigned char>(c)) || c == '-' ? c : '_';
    return s;
}

void Field(std::string& json, const char* name, const std::string& value, bool raw = false) {
    if (value.empty()) return;
    json += json.size() > 1 ? "," : "";
    json += JsonString(name) + ":" + (raw ? value : JsonString(value));
}

}  // namespace

std::string ParseBrokerUrl(std::string_view text, BrokerUrl& url) {
    url = {};
    const std::string whole(text);
    if (text.starts_with("mqtts://")) {
        url.tls = true;
        url.port = 8883;
        text.remove_prefix(8);
    } else if (text.starts_with("mqtt://")) {
        text.remove_prefix(7);
    } else {
        return "\"" + whole + "\" is no broker: give mqtt://[USER@]HOST[:PORT][/PREFIX] or mqtts://...";
    }
    const auto slash = text.find('/');
    std::string_view authority = text.substr(0, slash);
    if (slash != std::string_view::npos) {
        std::string_view prefix = text.substr(slash + 1);
        while (!prefix.empty() && prefix.back() == '/') prefix.remove_suffix(1);
        if (prefix.find_first_of("+#") != std::string_view::npos || prefix.find("//") != std::string_view::npos)
            return "the topic prefix \"" + std::string(prefix) + "\" may not hold +, # or an empty level";
        url.prefix = prefix;
    }
    if (const auto at = authority.rfind('@'); at != std::string_view::npos) {
        url.user = authority.substr(0, at);
        authority.remove_prefix(at + 1);
        if (url.user.empty() || url.user.find(':') != std::string::npos)
            return "the user in \"" + whole + "\" is empty or holds a password: give it in TESSARY_MQTT_PASSWORD";
    }
    std::string_view port;
    if (authority.starts_with("[")) {  // [::1]:1883
        const auto close = authority.find(']');
        if (close == std::string_view::npos) return "\"" + whole + "\" has no closing ] after its address";
        url.host = authority.substr(1, close - 1);
        authority.remove_prefix(close + 1);
        if (!authority.empty() && authority.front() != ':') return "\"" + whole + "\" has text after its address";
        if (!authority.empty()) port = authority.substr(1);
        else port = {};
    } else {
        const auto colon = authority.find(':');
        url.host = authority.substr(0, colon);
        if (colon != std::string_view::npos) port = authority.substr(colon + 1);
        if (colon != std::string_view::npos && port.empty()) return "\"" + whole + "\" has an empty port";
    }
    if (url.host.empty()) return "\"" + whole + "\" names no host";
    if (!port.empty()) {
        int value = 0;
        const auto [end, ec] = std::from_chars(port.data(), port.data() + port.size(), value);
        if (ec != std::errc() || end != port.data() + port.size() || value < 1 || value > 65535)
            return "the port \"" + std::string(port) + "\" is not 1 to 65535";
        url.port = value;
    }
    return {};
}

std::string DefaultPrefix(const std::string& hostName, const std::string& portName) {
    return "tessary/" + TopicLevel(hostName) + "/" + TopicLevel(portName);
}

std::string JsonString(std::string_view text) {
    std::string s = "\"";
    for (const char ch : text) {
        const auto c = static_cast<unsigned char>(ch);
        switch (c) {
        case '"': s += "\\\""; break;
        case '\\': s += "\\\\"; break;
        case '\n': s += "\\n"; break;
        case '\r': s += "\\r"; break;
        case '\t': s += "\\t"; break;
        default:
            if (c < 0x20 || c == 0x7f) {
                static const char hex[] = "0123456789abcdef";
                s += "\\u00";
                s += hex[c >> 4];
                s += hex[c & 15];
            } else if (c >= 0x80) {  // Latin-1 to UTF-8
                s += static_cast<char>(0xc0 | (c >> 6));
                s += static_cast<char>(0x80 | (c & 0x3f));
            } else {
                s += ch;
            }
        }
    }
    return s + "\"";
}

std::string JsonNumber(std::string_view text) {
    std::string_view t = text;
    while (!t.empty() && t.front() == ' ') t.remove_prefix(1);
    while (!t.empty() && t.back() == ' ') t.remove_suffix(1);
    std::string n;
    if (!t.empty() && (t.front() == '+' || t.front() == '-')) {
        if (t.front() == '-') n += '-';
        t.remove_prefix(1);
    }
    const auto digits = [&t, &n]() {
        std::size_t k = 0;
        while (k < t.size() && IsDigit(t[k])) n += t[k++];
        t.remove_prefix(k);
        return k;
    };
    std::size_t whole = digits();
    // JSON allows no leading zeros: "007" keeps its value, not its zeros.
    while (whole > 1 && n[n.size() - whole] == '0') {
        n.erase(n.size() - whole, 1);
        --whole;
    }
    std::size_t fraction = 0;
    if (!t.empty() && t.front() == '.') {
        if (whole == 0) n += '0';
        n += '.';
        t.remove_prefix(1);
        fraction = digits();
        if (fraction == 0) n.pop_back();  // "12." is 12
    }
    if (whole == 0 && fraction == 0) return JsonString(text);
    if (!t.empty() && (t.front() == 'e' || t.front() == 'E')) {
        n += 'e';
        t.remove_prefix(1);
        if (!t.empty() && (t.front() == '+' || t.front() == '-')) {
            n += t.front();
            t.remove_prefix(1);
        }
        if (digits() == 0) return JsonString(text);
    }
    return t.empty() ? n : JsonString(text);
}

std::string BusDigits(const std::string& address) { return address.size() > 1 ? address.substr(1) : address; }

std::string InfoJson(const device::PublishedBox& box) {
    std::string j = "{";
    Field(j, "address", box.address);
    Field(j, "id", box.id);
    Field(j, "model", box.model);
    Field(j, "firmware", box.firmware);
    Field(j, "pressure_unit", box.pressureUnit);
    Field(j, "temperature_unit", box.temperatureUnit);
    return j + "}";
}

std::string ReadingJson(const device::PublishedReading& r) {
    std::string j = "{";
    Field(j, "time", IsoTime(r.pcTime));
    if (r.error.empty()) Field(j, "box_time", r.boxTime);
    j += ",\"address\":" + JsonString(r.address) + ",\"id\":" + JsonString(r.id);
    if (!r.error.empty()) return j + ",\"error\":" + JsonString(r.error) + "}";
    Field(j, "pressure", JsonNumber(r.pressure), true);
    Field(j, "temperature", JsonNumber(r.temperature), true);
    Field(j, "pressure_counts", JsonNumber(r.pressureCounts), true);
    Field(j, "temperature_counts", JsonNumber(r.temperatureCounts), true);
    return j + "}";
}

std::string DiscoveryTopic(const std::string& prefix, const std::string& address, const std::string& quantity) {
    return "homeassistant/sensor/" + IdPart(prefix) + "/" + BusDigits(address) + "_" + quantity + "/config";
}

std::string DiscoveryJson(const std::string& prefix, const device::PublishedBox& box, const std::string& quantity) {
    const bool pressure = quantity == "pressure";
    std::string unit = pressure ? box.pressureUnit : box.temperatureUnit;
    std::string lower;
    for (const char c : unit) lower += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    // Home Assistant knows a device class only with its own spelling of the unit.
    std::string deviceClass;
    if (!pressure) {
        if (lower == "c" || lower == "celsius" || lower == "degc") unit = "\xb0" "C";
        if (lower == "f" || lower == "fahrenheit" || lower == "degf") unit = "\xb0" "F";
        if (lower == "k" || lower == "kelvin") unit = "K";
        if (unit == "\xb0" "C" || unit == "\xb0" "F" || unit == "K") deviceClass = "temperature";
    } else {
        for (const char* known : {"Pa", "kPa", "hPa", "bar", "cbar", "mbar", "mmHg", "inHg", "psi"}) {
            std::string k = known;
            std::transform(k.begin(), k.end(), k.begin(), [](unsigned char c) { return std::tolower(c); });
            if (lower == k) {
                unit = known;
                deviceClass = "pressure";
            }
        }
    }
    const std::string node = IdPart(prefix) + "_" + BusDigits(box.address);
    std::string device = "{\"identifiers\":[" + JsonString(node) + "],\"name\":" +
                         JsonString("Bravik " + box.address + (box.id.empty() ? "" : " " + box.id));
    if (!box.model.empty()) device += ",\"model\":" + JsonString(box.model);
    if (!box.firmware.empty()) device += ",\"sw_version\":" + JsonString(box.firmware);
    device += "}";
    std::string j = "{";
    Field(j, "name", box.address + " " + quantity);
    Field(j, "unique_id", node + "_" + quantity);
    Field(j, "state_topic", prefix + "/" + BusDigits(box.address) + "/reading");
    Field(j, "value_template", "{{ value_json." + quantity + " }}");
    Field(j, "unit_of_measurement", unit);
    Field(j, "device_class", deviceClass);
    Field(j, "state_class", "measurement");
    Field(j, "availability_topic", prefix + "/status");
    Field(j, "device", device, true);
    return j + "}";
}

}  // namespace tessary::mqtt
