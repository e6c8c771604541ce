// The box's date-time text both ways: the display form of any answer, and the
// text for any picked fields (however wide they are).

#include "device/DeviceTime.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

using namespace tessary;

namespace {
std::string Padded(int v, std::size_t width) {
    std::string digits = std::to_string(v < 0 ? -static_cast<long long>(v) : v);
    if (digits.size() + (v < 0 ? 1 : 0) < width) digits.insert(0, width - digits.size() - (v < 0 ? 1 : 0), '0');
    return (v < 0 ? "-" : "") + digits;
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    const std::string shown = device::FormatDeviceTime(text);
    if (text.size() != 19 && shown != text) std::abort();
    if (text.size() == 19 && (shown.size() < 16 || shown.compare(shown.size() - 8, 8, text, 11, 8) != 0)) std::abort();

    if (size >= 6 * sizeof(int)) {
        int f[6];
        std::memcpy(f, data, sizeof f);
        const app::DateTimeFields t{f[0], f[1], f[2], f[3], f[4], f[5]};
        const std::string expected = Padded(f[0], 4) + ":" + Padded(f[1], 2) + ":" + Padded(f[2], 2) + ":" +
                                     Padded(f[3], 2) + ":" + Padded(f[4], 2) + ":" + Padded(f[5], 2);
        if (device::DeviceTimeText(t) != expected) std::abort();
    }
    return 0;
}
