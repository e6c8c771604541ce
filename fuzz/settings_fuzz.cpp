// Texts a box or the operator hands to the settings: the gate time (reply
// time-out), unit answers, unit and baud rate items, bus addresses.

#include "app/Connect.h"
#include "device/DeviceInfo.h"
#include "device/SerialSettings.h"
#include "device/Settings.h"

#include <charconv>
#include <cstdint>
#include <cstdlib>
#include <string>

using namespace tessary;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);

    const std::uint32_t timeout = device::TimeoutFromGateTime(text);
    if (timeout < 1000 || timeout > 60000) std::abort();

    const std::string unit = device::UnitItemName(text);
    if (unit.size() > text.size() + 10) std::abort();
    const int p = device::PressUnitsItemIndex(text), t = device::TempUnitsItemIndex(text);
    if (p < 0 || p > 7 || t < 0 || t > 7) std::abort();

    // Bus addresses: only "#nn" has a number, and 1..99 round-trip.
    if (const auto n = app::AddressNumber(text))
        if (*n < 0 || *n > 99 || (*n != 0 && app::AddressText(*n) != text) || (*n == 0 && text != "#00")) std::abort();

    std::uint32_t baud = 0;
    std::from_chars(text.data(), text.data() + text.size(), baud);
    const int item = device::BaudRateItemIndex(baud);
    if (item >= 0 && std::to_string(baud) != device::kBaudRateItems[static_cast<std::size_t>(item)]) std::abort();
    const int port = device::ComPortItemIndex(text);
    if (port >= 0 && text != device::kComPortItems[static_cast<std::size_t>(port)]) std::abort();
    return 0;
}
