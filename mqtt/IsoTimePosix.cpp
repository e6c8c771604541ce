// The PC's local time for the payloads, with its offset from UTC.
#include "mqtt/MqttText.h"

#include <cstdio>
#include <cstdlib>
#include <ctime>

namespace tessary::mqtt {

std::string IsoTime(std::chrono::system_clock::time_point t) {
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(t.time_since_epoch()).count();
    const std::time_t secs = static_cast<std::time_t>(ms >= 0 ? ms / 1000 : (ms - 999) / 1000);
    std::tm local{};
    localtime_r(&secs, &local);
    char head[32];
    std::strftime(head, sizeof head, "%Y-%m-%dT%H:%M:%S", &local);
    const long offset = local.tm_gmtoff / 60;
    char tail[64];
    std::snprintf(tail, sizeof tail, ".%03d%c%02ld:%02ld", static_cast<int>(ms - static_cast<long long>(secs) * 1000),
                  offset < 0 ? '-' : '+', std::labs(offset) / 60, std::labs(offset) % 60);
    return std::string(head) + tail;
}

}  // namespace tessary::mqtt
