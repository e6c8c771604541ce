// Any bytes as a box's value text, a text in a payload and a broker URL.

#include "mqtt/MqttText.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    const std::string number = tessary::mqtt::JsonNumber(text);
    if (number.empty()) __builtin_trap();
    if (number.front() != '"') {
        // A JSON number of the same value as the box's text.
        for (std::size_t k = 0; k < number.size(); ++k) {
            const char c = number[k];
            if (!((c >= '0' && c <= '9') || c == '.' || c == 'e' || c == '+' || c == '-')) __builtin_trap();
        }
        if (number.front() == '.' || number.back() == '.' || (number.size() > 1 && number[0] == '0' && number[1] != '.' &&
                                                                number[1] != 'e'))
            __builtin_trap();
        if (text.find_first_of("xXnNiI") == std::string::npos &&
            std::strtod(number.c_str(), nullptr) != std::strtod(text.c_str(), nullptr))
            __builtin_trap();
    }
    const std::string quoted = tessary::mqtt::JsonString(text);
    for (std::size_t k = 1; k + 1 < quoted.size(); ++k) {
        const auto c = static_cast<unsigned char>(quoted[k]);
        if (c < 0x20 || (c == '"' && quoted[k - 1] != '\\')) __builtin_trap();
    }

    tessary::mqtt::BrokerUrl url;
    if (tessary::mqtt::ParseBrokerUrl(text, url).empty()) {
        if (url.host.empty() || url.port < 1 || url.port > 65535) __builtin_trap();
        if (url.prefix.find_first_of("+#") != std::string::npos) __builtin_trap();
    }
    return 0;
}
