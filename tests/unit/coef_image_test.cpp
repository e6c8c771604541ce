#include "coef/CoefImage.h"
#include "coef/IntelHex.h"
#include "link/Files.h"

#include <gtest/gtest.h>

using namespace tessary::coef;

namespace {

// 16 data records of bytes 16r..16r+15 (address field given per record) and the end record.
std::string HexFile(const std::vector<unsigned>& addresses, const std::string& end = "\r\n") {
    std::string text;
    for (std::size_t r = 0; r < addresses.size(); ++r) {
        std::uint8_t data[16];
        for (unsigned j = 0; j < 16; ++j) data[j] = static_cast<std::uint8_t>(16 * r + j);
        text += FormatHexRecord(addresses[r], 0, data, 16) + end;
    }
    return text + ":00000001FF" + end;
}
std::vector<unsigned> Ordered(std::size_t n = 16) {
    std::vector<unsigned> a;
    for (unsigned r = 0; r < n; ++r) a.push_back(16 * r);
    return a;
}

}  // namespace

TEST(CoefHex, RecordsFillTheImageInFileOrder) {
    // The address field is not looked at.
    for (const std::string& text : {HexFile(std::vector<unsigned>(16, 0)), HexFile(Ordered(), "\n")}) {
        const CoefHexResult res = ReadCoefHex(text, "f");
        ASSERT_TRUE(res.ok);
        EXPECT_TRUE(res.messages.empty()) << res.messages.front();
        for (std::size_t i = 0; i < kImageBytes; ++i) ASSERT_EQ(res.image[i], i);
    }
}

TEST(CoefHex, FaultsAndStops) {
    const std::string good = ":10001000000102030405060708090A0B0C0D0E0F68\r\n";
    // Lowercase digits count in data and checksum alike.
    const std::string lower = ":10001000000102030405060708090a0b0c0d0e0f68\r\n:1000000000000000000000000000000000000000f0\r\n";
    struct Row {
        std::string text;
        bool ok;
        std::vector<std::string> messages;
    } rows[] = {
        {":00000001FF\r\n", true, {}},
        {":10001000000102030405060708090A0B0C0D0E0FA5\r\n:00000001FF\r\n", true,
         {"Checksum Line Error! Checksum at address 0010Should be: 0068"}},
        {lower + ":00000001FF", true, {}},
        {good + good, false, {"Stopped reading f at line 3: it ends before the end record."}},
        {"", false, {"Stopped reading f at line 1: it ends before the end record."}},
        {good + ":10\x1A", false, {"Stopped reading f at line 2: it holds the end-of-file character (1A) before the end record."}},
        {HexFile(Ordered(17)), false, {"Stopped reading f at line 17: more than 16 data records before the end record."}},
    };
    for (const auto& row : rows) {
        const CoefHexResult res = ReadCoefHex(row.text, "f");
        EXPECT_EQ(res.ok, row.ok) << row.text;
        EXPECT_EQ(res.messages, row.messages) << row.text;
    }
    EXPECT_EQ(ReadCoefHex(rows[1].text, "f").image[0], 0x00);
    EXPECT_EQ(ReadCoefHex(rows[1].text, "f").image[15], 0x0F);  // a bad record's bytes are kept
    // The system's own reason: "No such file or directory" on Linux.
    EXPECT_EQ(ReadCoefHexFile("/nonexistent/x.hex").messages,
              std::vector<std::string>{"Cannot open the coefficient file /nonexistent/x.hex: " +
                                       tessary::link::ReadRegularFile("/nonexistent/x.hex", 1).error});
}

TEST(CoefListing, FieldsAndByteOrder) {
    struct Row {
        std::uint8_t order;
        std::vector<std::pair<std::size_t, std::uint8_t>> bytes;
        std::size_t line;  // index in the listing
        std::string want;
    } rows[] = {
        // Most significant byte first is also read from the simulated box.
        {0, {{0x1C, 0x12}, {0x1D, 0x34}, {0x1E, 0x56}, {0x1F, 0x78}}, 12, "S1: \t0x78563412"},
        {0, {{0x28, 0xFF}, {0x29, 0xFF}, {0x2A, 0xFF}, {0x2B, 0xFE}}, 15, "-16777217"},
        {1, {{0x90, 0x80}, {0x93, 0x01}}, 20, "S1: \t0x80000001"},
        {0, {{0x14, 0xF6}}, 4, "PMin: \t246"},
        {0, {{0x24, 0x00}, {0x25, 0x00}, {0x26, 0x00}, {0x27, 0x80}}, 14, "OFS2: \t-2147483648"},
        {0, {{0x08, 'P'}, {0x09, '6'}, {0x0A, 0}, {0x0B, 'X'}}, 3, "Part No: \tP6"},
        {0, {{0x08, 'A'}, {0x0F, 'H'}, {0x10, 'Z'}}, 3, std::string("Part No: \tA\0\0\0\0\0\0H", 18).substr(0, 11)},
    };
    for (const auto& row : rows) {
        CoefImage image{};
        image[1] = row.order;
        for (auto [at, v] : row.bytes) image[at] = v;
        MapCoefImage(image);
        const auto lines = ShowCoefImage(image);
        ASSERT_GT(lines.size(), row.line);
        EXPECT_EQ(lines[row.line], row.want);
    }
}

TEST(CoefListing, SlotCountsAndHiddenBytes) {
    CoefImage image{};
    image[0x1A] = 4, image[0x1B] = 4;  // 25: every slot of section 1
    image[0x8E] = 3, image[0x8F] = 5;  // 24: every slot of section 2
    const auto plain = ShowCoefImage(image);
    for (std::size_t i : {0x10, 0x13, 0xFC, 0xFF}) image[i] = 0xAB;  // never listed
    auto lines = ShowCoefImage(image);
    EXPECT_EQ(lines, plain);
    EXPECT_EQ(lines.size(), 8u + 7 + 25 + 7 + 24);

    image[0x1A] = 5;  // 30 asked, 25 held: the header of section 2 is not read as slots
    lines = ShowCoefImage(image);
    EXPECT_EQ(lines.size(), 8u + 7 + 25 + 1 + 7 + 24);
    EXPECT_EQ(lines[40], "(N1 and N2 ask for 30 coefficients; section 1 holds 25, the rest is not shown)");
    EXPECT_EQ(lines[41], "Cal Type: 0");
}

TEST(CoefListing, CompareNamesTheFieldsThatDiffer) {
    CoefImage box{}, file{};
    EXPECT_TRUE(CompareCoefImages(box, file).empty());
    file[0x15] = 30;
    file[0x1A] = 1;  // one more coefficient in the file
    file[0x2C] = 7;
    file[0xFC] = 1;
    EXPECT_EQ(CompareCoefImages(box, file),
              (std::vector<std::string>{"PMax: box 0, file 30", "Section 1 N1: box 0, file 1",
                                        "Bytes FC-FF: box 00000000, file 00000001",
                                        "Section 1 coefficient 1: box (none), file 7"}));
}
