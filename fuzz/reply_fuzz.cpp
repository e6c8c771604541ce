// A readings answer as a box (or noise) may send it, cut into its fields and
// to the precision: never more than the box sent, nothing invented.

#include "device/Readings.h"

#include <cstdint>
#include <cstdlib>
#include <string>

using namespace tessary::device;

namespace {
bool IsPrefix(const std::string& part, const std::string& whole) { return whole.compare(0, part.size(), part) == 0; }
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 1) return 0;
    // First byte: the precision, negative ones included.
    const int precision = static_cast<std::int8_t>(data[0]);
    const std::string answer(reinterpret_cast<const char*>(data) + 1, size - 1);

    const std::string cut = CutToPrecision(answer, precision);
    if (!IsPrefix(cut, answer)) std::abort();
    const auto point = answer.find('.');
    const std::size_t keep = precision < 0 ? 0 : static_cast<std::size_t>(precision);
    if (cut.size() != std::min(answer.size(), point == std::string::npos ? keep : point + 1 + keep)) std::abort();

    const Reading r = ParseReadings(answer, precision);
    if (!r.complete) {
        if (r.time != answer || !r.press.empty() || !r.temp.empty()) std::abort();
        return 0;
    }
    // Five fields: the three raw ones appear in the answer as sent.
    if (answer.find(r.pressCounts) == std::string::npos || answer.find(r.tempCounts) == std::string::npos) std::abort();
    if (r.press.size() > answer.size() || r.temp.size() > answer.size()) std::abort();
    return 0;
}
