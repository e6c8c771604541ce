// Any bytes through the coefficient HEX reader, the listing and the
// comparison; every line through the whole-record parser.

#include "coef/CoefImage.h"
#include "coef/IntelHex.h"

#include <cstddef>
#include <cstdint>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    tessary::coef::CoefHexResult res = tessary::coef::ReadCoefHex(text, "fuzz");
    tessary::coef::CoefImage copy = res.image;
    tessary::coef::MapCoefImage(res.image);
    const auto lines = tessary::coef::ShowCoefImage(res.image);
    const auto diffs = tessary::coef::CompareCoefImages(res.image, copy);
    std::size_t from = 0;
    while (from <= text.size()) {
        std::size_t end = text.find('\n', from);
        if (end == std::string_view::npos) end = text.size();
        const auto parsed = tessary::coef::ParseHexRecord(text.substr(from, end - from));
        if (parsed.record && parsed.record->data.size() != parsed.record->byteCount) __builtin_trap();
        from = end + 1;
    }
    return static_cast<int>(lines.size() + diffs.size()) < 0;
}
