#include "coef/CoefImage.h"

#include "coef/IntelHex.h"
#include "link/Files.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <map>

namespace tessary::coef {

namespace {

constexpr char kEofChar = 0x1A;

// The reader's cursor: fields are taken as characters, not lines, as the box's
// own reader does, so a short record misaligns what follows (and shows as
// checksum faults) instead of being skipped.
class Chars {
public:
    explicit Chars(std::string_view text) : text_(text) {}
    enum class Got { Ok, End, EofChar };

    Got Take(std::size_t n, std::string& out) {
        out.clear();
        for (std::size_t i = 0; i < n; ++i) {
            if (pos_ >= text_.size()) return Got::End;
            const char c = text_[pos_++];
            if (c == kEofChar) return Got::EofChar;
            if (c == '\n') ++line_;
            out += c;
        }
        return Got::Ok;
    }
    void SkipLineEnd() {
        if (pos_ < text_.size() && text_[pos_] == '\r') ++pos_;
        if (pos_ < text_.size() && text_[pos_] == '\n') {
            ++pos_;
            ++line_;
        }
    }
    int Line() const { return line_; }

private:
    std::string_view text_;
    std::size_t pos_ = 0;
    int line_ = 1;
};

std::string Upper(std::string s) {
    for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return s;
}

std::uint32_t U32(const CoefImage& im, std::size_t at) {
    return static_cast<std::uint32_t>(im[at]) | static_cast<std::uint32_t>(im[at + 1]) << 8 |
           static_cast<std::uint32_t>(im[at + 2]) << 16 | static_cast<std::uint32_t>(im[at + 3]) << 24;
}
std::string S32(const CoefImage& im, std::size_t at) { return std::to_string(static_cast<std::int32_t>(U32(im, at))); }
std::string Hex8(const CoefImage& im, std::size_t at) { return HexDigits(U32(im, at), 8); }
std::string Dec(unsigned v) { return std::to_string(v); }
std::string Temp(std::uint8_t b) { return std::to_string(5 * static_cast<int>(static_cast<std::int8_t>(b))); }

void ReverseByteGroups(CoefImage& image, std::string_view start, std::size_t width, std::size_t count) {
    const std::size_t from = HexToInt(start, start.size());
    for (std::size_t g = 0; g < count && from + (g + 1) * width <= image.size(); ++g) {
        auto first = image.begin() + static_cast<std::ptrdiff_t>(from + g * width);
        std::reverse(first, first + static_cast<std::ptrdiff_t>(width));
    }
}

void Section(std::vector<CoefItem>& out, const CoefImage& im, int number, std::size_t header, std::size_t slots) {
    const std::string sec = "Section " + std::to_string(number) + " ";
    out.push_back({"Cal Type: ", Dec(im[header]), sec + "Cal Type"});
    out.push_back({"Prescale: ", Dec(im[header + 1]), sec + "Prescale"});
    out.push_back({"N1: \t", Dec(im[header + 2]), sec + "N1"});
    out.push_back({"N2: \t", Dec(im[header + 3]), sec + "N2"});
    out.push_back({"S1: \t0x", Hex8(im, header + 4), sec + "S1"});
    out.push_back({"S2: \t0x", Hex8(im, header + 8), sec + "S2"});
    out.push_back({"OFS2: \t", S32(im, header + 12), sec + "OFS2"});
    const std::size_t asked = (static_cast<std::size_t>(im[header + 2]) + 1) * (static_cast<std::size_t>(im[header + 3]) + 1);
    const std::size_t shown = std::min(asked, slots);
    for (std::size_t i = 0; i < shown; ++i)
        out.push_back({"", S32(im, header + 16 + 4 * i), sec + "coefficient " + std::to_string(i)});
    if (asked > slots)
        out.push_back({"", "(N1 and N2 ask for " + std::to_string(asked) + " coefficients; section " +
                               std::to_string(number) + " holds " + std::to_string(slots) + ", the rest is not shown)",
                       sec + "overflow note"});
}

}  // namespace

CoefHexResult ReadCoefHex(std::string_view text, const std::string& source) {
    CoefHexResult res;
    Chars in(text);
    auto stop = [&](Chars::Got got, int line) {
        res.messages.push_back("Stopped reading " + source + " at line " + std::to_string(line) +
                               (got == Chars::Got::EofChar ? ": it holds the end-of-file character (1A) before the end record."
                                                           : ": it ends before the end record."));
        return res;
    };
    std::string start, count, address, type, data, checksum;
    Chars::Got got = in.Take(1, start);
    if (got == Chars::Got::Ok) got = in.Take(2, count);
    if (got != Chars::Got::Ok) return stop(got, in.Line());
    for (std::size_t r = 0; count != "00"; ++r) {
        if (r == kImageRecords) {
            res.messages.push_back("Stopped reading " + source + " at line " + std::to_string(in.Line()) +
                                   ": more than 16 data records before the end record.");
            return res;
        }
        for (auto [n, field] : {std::pair<std::size_t, std::string*>{4, &address}, {2, &type}, {32, &data}, {2, &checksum}}) {
            got = in.Take(n, *field);
            if (got != Chars::Got::Ok) return stop(got, in.Line());
        }
        for (std::size_t j = 0; j < 16; ++j)
            res.image[16 * r + j] = static_cast<std::uint8_t>(HexToInt(std::string_view(data).substr(2 * j), 2));
        ++res.dataRecords;
        in.SkipLineEnd();
        const std::uint8_t computed = HexChecksum(Upper(count + address + type + data));
        if (computed != HexToInt(checksum, 2))
            res.messages.push_back("Checksum Line Error! Checksum at address " + address + "Should be: " +
                                   HexDigits(computed, 4));
        got = in.Take(1, start);
        if (got == Chars::Got::Ok) got = in.Take(2, count);
        if (got != Chars::Got::Ok) return stop(got, in.Line());
    }
    res.ok = true;
    return res;
}

namespace {
// A coefficient file is a few kilobytes; anything this large is not one.
constexpr std::size_t kMaxCoefHexFileBytes = 4 << 20;
}  // namespace

CoefHexResult ReadCoefHexFile(const std::string& path, const std::string& source) {
    link::FileText file = link::ReadRegularFile(path, kMaxCoefHexFileBytes);
    if (!file.ok) {
        CoefHexResult res;
        res.messages.push_back("Cannot open the coefficient file " + path + ": " + file.error);
        return res;
    }
    // The reader never takes more than 17 records of 45 characters.
    if (file.bytes.size() > 4096) file.bytes.resize(4096);
    return ReadCoefHex(file.bytes, source.empty() ? "the coefficient file " + path : source);
}

void MapCoefImage(CoefImage& image) {
    if (image[0x01] != 1) return;
    ReverseByteGroups(image, "01C", 4, 28);
    ReverseByteGroups(image, "090", 4, 27);
}

std::vector<CoefItem> DecodeCoefImage(const CoefImage& im) {
    std::vector<CoefItem> out;
    out.push_back({"Type: \t", HexDigits(im[0], 2) + HexDigits(im[1], 2), "Type"});
    out.push_back({"Version: \t", HexDigits(im[2], 2) + HexDigits(im[3], 2), "Version"});
    out.push_back({"Serial#: \t", HexDigits(im[4], 2) + HexDigits(im[5], 2) + HexDigits(im[6], 2) + HexDigits(im[7], 2),
                   "Serial#"});
    // At most the 8 characters of the field, even without a zero byte.
    std::string part;
    for (std::size_t i = 8; i < 16 && im[i] != 0; ++i) part += static_cast<char>(im[i] < 0x20 ? '?' : im[i]);
    out.push_back({"Part No: \t", part, "Part No"});
    out.push_back({"", Hex8(im, 0x10), "Bytes 10-13", false});
    out.push_back({"PMin: \t", Dec(im[0x14]), "PMin"});
    out.push_back({"PMax: \t", Dec(im[0x15]), "PMax"});
    out.push_back({"TMin\xB0"
                   "C: \t",
                   Temp(im[0x16]), "TMin\xB0"
                                   "C"});
    out.push_back({"TMax\xB0"
                   "C: \t",
                   Temp(im[0x17]), "TMax\xB0"
                                   "C"});
    Section(out, im, 1, 0x18, 25);
    Section(out, im, 2, 0x8C, 24);
    out.push_back({"", Hex8(im, 0xFC), "Bytes FC-FF", false});
    return out;
}

std::vector<std::string> ShowCoefImage(const CoefImage& mapped) {
    std::vector<std::string> lines;
    for (const auto& item : DecodeCoefImage(mapped))
        if (item.listed) lines.push_back(item.label + item.value);
    return lines;
}

std::vector<std::string> CompareCoefImages(const CoefImage& box, const CoefImage& file) {
    const auto a = DecodeCoefImage(box);
    const auto b = DecodeCoefImage(file);
    std::map<std::string, std::string> fileValues;
    for (const auto& item : b) fileValues[item.name] = item.value;
    std::vector<std::string> out;
    for (const auto& item : a) {
        auto it = fileValues.find(item.name);
        const std::string other = it == fileValues.end() ? "(none)" : it->second;
        if (it != fileValues.end()) fileValues.erase(it);
        if (other != item.value) out.push_back(item.name + ": box " + item.value + ", file " + other);
    }
    for (const auto& item : b)
        if (fileValues.count(item.name)) out.push_back(item.name + ": box (none), file " + item.value);
    return out;
}

}  // namespace tessary::coef
