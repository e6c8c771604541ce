#pragma once
// The texts of publishing: the broker's URL, the topics and the JSON payloads.
// Pure functions; the payloads are what others build dashboards on, so their
// shape does not change lightly.

#include "device/ReadingsPublisher.h"

#include <string>
#include <string_view>

namespace tessary::mqtt {

struct BrokerUrl {
    bool tls = false;
    std::string user, host;
    int port = 1883;
    std::string prefix;  // empty: the default, tessary/<host name>/<port name>
};

// "mqtt://[USER@]HOST[:PORT][/PREFIX]" or "mqtts://..." (default port 8883).
// Empty on success, else what is wrong with `text`.
std::string ParseBrokerUrl(std::string_view text, BrokerUrl& url);
// "tessary/<host>/<port>", each level stripped of what a topic level may not hold.
std::string DefaultPrefix(const std::string& hostName, const std::string& portName);

// A JSON string, quotes included; bytes above 127 are taken as Latin-1, as the box sends them.
std::string JsonString(std::string_view text);
// The box's number text as a JSON number with its own digits ("+1.50" -> 1.50,
// ".5" -> 0.5); a text that is no number stays a string.
std::string JsonNumber(std::string_view text);
// "2026-12-07T09:05:03.120+01:00": local time with milliseconds and its offset.
std::string IsoTime(std::chrono::system_clock::time_point t);

// "07" of "#07".
std::string BusDigits(const std::string& address);
std::string InfoJson(const device::PublishedBox& box);
std::string ReadingJson(const device::PublishedReading& r);

// Home Assistant's discovery: the topic and retained config of one sensor of a
// box ("pressure" or "temperature").
std::string DiscoveryTopic(const std::string& prefix, const std::string& address, const std::string& quantity);
std::string DiscoveryJson(const std::string& prefix, const device::PublishedBox& box, const std::string& quantity);

}  // namespace tessary::mqtt
