#include "coef/IntelHex.h"

#include <gtest/gtest.h>

using namespace tessary::coef;

TEST(IntelHex, HexToIntAndChecksumDigitRules) {
    EXPECT_EQ(HexToInt("7f", 2), 127u);
    EXPECT_EQ(HexToInt("G1", 2), 1u);
    EXPECT_EQ(HexToInt("01C", 3), 0x1Cu);
    EXPECT_EQ(HexToInt("A", 4), 10u);  // stops at the end of the text
    EXPECT_EQ(HexChecksum("101"), 0);
    EXPECT_EQ(HexChecksum(""), 0);
    EXPECT_EQ(HexChecksum("10001000000102030405060708090A0B0C0D0E0F"), 0x68);
    EXPECT_EQ(HexChecksum("00000001"), 0xFF);
    // Lowercase is not a digit to the checksum: 'a' counts 42.
    EXPECT_EQ(HexChecksum("0a"), static_cast<std::uint8_t>(256 - 42));
}

TEST(IntelHex, ParseHexRecordReasons) {
    const std::string good = ":10001000000102030405060708090A0B0C0D0E0F68";
    struct Row {
        std::string line, error;
    } rows[] = {
        {good + "\r\n", ""},
        {":00000001ff", ""},
        {"", "empty line"},
        {"10001000", "no start code ':'"},
        {":0000", "too short for a record"},
        {":10001000000102030405060708090A0B0C0D0E0F6", "odd number of hex digits"},
        {":10001000000102030405060708090A0B0C0D0E68", "byte count 10 asks for 16 data bytes, the line holds 15"},
        {":1000100000010203040506070809 A0B0C0D0E0F68", "character ' ' at column 30 is not a hex digit"},
        {":10001000000102030405060708090A0B0C0D0E0FA5", "checksum A5, should be 68"},
    };
    for (const auto& row : rows) {
        const HexLine parsed = ParseHexRecord(row.line);
        EXPECT_EQ(parsed.error, row.error) << row.line;
    }
    const HexRecord r = *ParseHexRecord(good).record;
    EXPECT_EQ(r.addressText, "0010");
    EXPECT_EQ(r.type, kDataRecord);
    ASSERT_EQ(r.data.size(), 16u);
    EXPECT_EQ(r.data[15], 0x0F);
    EXPECT_EQ(FormatHexRecord(0x10, 0, r.data.data(), r.data.size()), good);
}
