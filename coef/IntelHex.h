#pragma once
// Intel HEX records: one text line ":" + byte count + address + type + data +
// checksum, every field hexadecimal digits, most significant first.
//
// Two readers share these pieces: the coefficient reader, which takes fixed
// field widths the way the box writes them, and the check of a program image
// before it is sent, which takes each line as a whole record.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tessary::coef {

// Value of the first `n` characters (fewer when `text` is shorter) read as
// hexadecimal: "0"-"9", "A"-"F" and "a"-"f" count as digits, any other
// character counts 0 but still shifts the value one digit up.
unsigned HexToInt(std::string_view text, std::size_t n);

// The record checksum of a text of hex digit pairs: the two's complement of
// the 8-bit sum of the pair values. An odd length gives 0. Digits are decoded
// as the box does it: below "A" a character counts its code minus "0", any
// other its code minus 55, so lowercase digits do not count as hex digits.
std::uint8_t HexChecksum(std::string_view text);

inline constexpr unsigned kDataRecord = 0x00;
inline constexpr unsigned kEndRecord = 0x01;

struct HexRecord {
    unsigned byteCount = 0;
    std::string addressText;  // the four characters as they stand in the line
    unsigned address = 0;
    unsigned type = 0;
    std::vector<std::uint8_t> data;
    std::uint8_t checksum = 0;          // as stored in the line
    std::uint8_t expectedChecksum = 0;  // as computed from the other fields
    bool ChecksumOk() const { return checksum == expectedChecksum; }
};

// One line parsed as a whole record. `record` is empty when the line is not a
// record at all; `error` then says why. A record with a wrong checksum is
// returned with `error` saying so.
struct HexLine {
    std::optional<HexRecord> record;
    std::string error;
    bool Ok() const { return record && error.empty(); }
};

// Accepts a trailing CR and/or LF and hex digits in either case. Reasons:
// "empty line", "no start code ':'", "too short for a record",
// "character 'x' at column N is not a hex digit", "odd number of hex digits",
// "byte count NN asks for N data bytes, the line holds M",
// "checksum XX, should be YY".
HexLine ParseHexRecord(std::string_view line);

// The line (without line end) of a record with these fields, uppercase digits.
std::string FormatHexRecord(unsigned address, unsigned type, const std::uint8_t* data, std::size_t count);

// Two uppercase hex digits per byte of `value`, `width` digits, leading zeros.
std::string HexDigits(unsigned value, int width);

}  // namespace tessary::coef
