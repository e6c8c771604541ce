#include "coef/IntelHex.h"

namespace tessary::coef {

namespace {

int DigitValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

}  // namespace

unsigned HexToInt(std::string_view text, std::size_t n) {
    unsigned value = 0;
    for (std::size_t i = 0; i < n && i < text.size(); ++i) {
        const int d = DigitValue(text[i]);
        value = value * 16u + static_cast<unsigned>(d < 0 ? 0 : d);
    }
    return value;
}

std::uint8_t HexChecksum(std::string_view text) {
    if (text.size() % 2 != 0) return 0;
    auto digit = [](char c) {
        const int code = static_cast<unsigned char>(c);
        return code < 'A' ? code - '0' : code - 55;
    };
    unsigned sum = 0;
    for (std::size_t i = 0; i < text.size(); i += 2)
        sum += static_cast<unsigned>(digit(text[i]) * 16 + digit(text[i + 1]));
    return static_cast<std::uint8_t>((256u - (sum & 0xFFu)) & 0xFFu);
}

std::string HexDigits(unsigned value, int width) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    std::string out(static_cast<std::size_t>(width), '0');
    for (int i = width - 1; i >= 0 && value != 0; --i) {
        out[static_cast<std::size_t>(i)] = kDigits[value & 0xFu];
        value >>= 4;
    }
    return out;
}

HexLine ParseHexRecord(std::string_view line) {
    HexLine out;
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.remove_suffix(1);
    if (line.empty()) {
        out.error = "empty line";
        return out;
    }
    if (line[0] != ':') {
        out.error = "no start code ':'";
        return out;
    }
    const std::string_view digits = line.substr(1);
    for (std::size_t i = 0; i < digits.size(); ++i) {
        if (DigitValue(digits[i]) < 0) {
            out.error = "character '" + std::string(1, digits[i]) + "' at column " + std::to_string(i + 2) +
                        " is not a hex digit";
            return out;
        }
    }
    if (digits.size() < 10) {
        out.error = "too short for a record";
        return out;
    }
    if (digits.size() % 2 != 0) {
        out.error = "odd number of hex digits";
        return out;
    }
    HexRecord r;
    r.byteCount = HexToInt(digits, 2);
    const std::size_t held = digits.size() / 2 - 5;
    if (held != r.byteCount) {
        out.error = "byte count " + std::string(digits.substr(0, 2)) + " asks for " + std::to_string(r.byteCount) +
                    " data bytes, the line holds " + std::to_string(held);
        return out;
    }
    r.addressText = std::string(digits.substr(2, 4));
    r.address = HexToInt(r.addressText, 4);
    r.type = HexToInt(digits.substr(6), 2);
    unsigned sum = 0;
    for (std::size_t i = 0; i + 2 < digits.size(); i += 2) {
        const unsigned byte = HexToInt(digits.substr(i), 2);
        sum += byte;
        if (i >= 8) r.data.push_back(static_cast<std::uint8_t>(byte));
    }
    r.checksum = static_cast<std::uint8_t>(HexToInt(digits.substr(digits.size() - 2), 2));
    r.expectedChecksum = static_cast<std::uint8_t>((256u - (sum & 0xFFu)) & 0xFFu);
    if (!r.ChecksumOk()) out.error = "checksum " + HexDigits(r.checksum, 2) + ", should be " + HexDigits(r.expectedChecksum, 2);
    out.record = std::move(r);
    return out;
}

std::string FormatHexRecord(unsigned address, unsigned type, const std::uint8_t* data, std::size_t count) {
    std::string body = HexDigits(static_cast<unsigned>(count & 0xFFu), 2) + HexDigits(address & 0xFFFFu, 4) +
                       HexDigits(type & 0xFFu, 2);
    for (std::size_t i = 0; i < count; ++i) body += HexDigits(data[i], 2);
    return ":" + body + HexDigits(HexChecksum(body), 2);
}

}  // namespace tessary::coef
