#pragma once
// What the readings flows hand to whoever publishes their readings (the MQTT
// layer above): plain values, handed over on the flow's own thread. An
// implementation copies them and returns at once; it never waits for a network.

#include <chrono>
#include <string>

namespace tessary::device {

// A box as a capture or readings loop starts on it; empty fields are unknown.
struct PublishedBox {
    std::string address;  // "#01"
    std::string id;       // its "ID" answer
    std::string model, firmware, pressureUnit, temperatureUnit;
};

struct PublishedReading {
    std::string address, id;
    std::chrono::system_clock::time_point pcTime;
    std::string boxTime;  // as the capture file writes it: "2007/05/17, 12:30:03"
    // The box's own texts, never re-rounded.
    std::string pressure, temperature, pressureCounts, temperatureCounts;
    std::string error;  // empty for a reading, else "NoConnect" or "garbled"
};

class ReadingsPublisher {
public:
    virtual ~ReadingsPublisher() = default;
    virtual void BoxStarted(const PublishedBox& box) = 0;
    virtual void Reading(const PublishedReading& reading) = 0;
    // A "Gap: ..." line of the capture files.
    virtual void Gap(const std::string& line) = 0;
};

}  // namespace tessary::device
