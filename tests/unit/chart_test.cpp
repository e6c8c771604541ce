// Capture and dump files read back into series; the pixel columns; the CSV.

#include "plot/ChartData.h"

#include <gtest/gtest.h>

#include <cmath>
#include <sstream>

using namespace tessary::plot;

namespace {

const std::string kRow1 = "2007/05/17, 12:30:00,14.20000,21.5000,470400,45375\r\n";
const std::string kRow2 = "2007/05/17, 12:30:01,14.30000,21.6000,471600,45400\r\n";

struct FileCase {
    const char* what;
    std::string text;
    std::size_t series;
    std::size_t points, breaks;  // of the first series
    std::string summary;
    bool relative = false;
    std::string error = {};
};

TEST(ChartFile, ReadsEveryFormAndCountsTheRest) {
    const std::vector<FileCase> cases = {
        {"rows", kRow1 + kRow2, 2, 2, 0, ""},
        {"NoConnect breaks", kRow1 + "NoConnect\r\n" + kRow2, 2, 3, 1, ""},
        {"gap breaks",
         kRow1 + "Gap: adapter unplugged 2007/05/17, 12:30:00 - back 2007/05/17, 12:35:00\r\n" + kRow2, 2, 3, 1, ""},
        {"network gap breaks",
         kRow1 + "Gap: connection lost 2007/05/17, 12:30:00 - back 2007/05/17, 12:35:00\r\n" + kRow2, 2, 3, 1, ""},
        {"gap at the end", kRow1 + "Gap: adapter unplugged 2007/05/17, 12:30:00 - capture stopped 2007/05/17, 12:31:00", 2,
         2, 1, ""},
        {"bad lines", kRow1 + "x\r\n" + kRow2 + "2007/05/17, 12:30:02,abc,1\r\n2007/13/17, 12:30:03,1,2\n", 2, 2, 0,
         "3 lines not understood, first at line 2"},
        {"row of one value", "2007/05/17, 12:30:00,14.2\r\n", 0, 0, 0, "1 line not understood, first at line 1", false,
         "no readings in it"},
        {"dump, formatted, with comment",
         "leak test\r\n2007:05:17:12:30:00,14.2,21.5\r\n2007:05:17:12:30:10,14.3,21.6\r\n}\r\n", 2, 3, 1, ""},
        {"dump, counts only drawn as nothing", "2007:05:17:12:30:00,470400\r\n}\r\n", 0, 0, 0, "", false,
         "no readings in it"},
        {"dump, pressure and counts", "2007:05:17:12:30:00,14.2,470400\r\n", 1, 1, 0, ""},
        {"dump, seconds, cut short", "0,14.2,21.5\r\n10,14.3,21.6\r\nNoConnect\r\n", 2, 3, 1, "", true},
        {"dump, two dumps: the second's items differ",
         "0,14.2,21.5\r\n}\r\n0,470400,14.1\r\n}\r\n", 2, 4, 2, "", true},
        {"a line too long", kRow1 + std::string(5000, '1') + "\n" + kRow2, 2, 2, 0,
         "1 line not understood, first at line 2 (1 longer than 4096 bytes)"},
        {"empty", "", 0, 0, 0, "", false, "the file is empty"},
    };
    for (const auto& c : cases) {
        const ChartFile f = ReadChartText("box", c.text);
        ASSERT_EQ(f.series.size(), c.series) << c.what;
        EXPECT_EQ(f.Summary(), c.summary) << c.what;
        EXPECT_EQ(f.error, c.error) << c.what;
        if (c.series == 0) continue;
        const Series& s = f.series.front();
        EXPECT_EQ(s.t.size(), c.points) << c.what;
        EXPECT_EQ(static_cast<std::size_t>(std::count_if(s.v.begin(), s.v.end(), [](double v) { return std::isnan(v); })),
                  c.breaks)
            << c.what;
        EXPECT_EQ(s.relative, c.relative) << c.what;
        EXPECT_TRUE(std::is_sorted(s.t.begin(), s.t.end())) << c.what;
    }
    const ChartFile f = ReadChartText("dir/Box 7.txt", kRow1);
    EXPECT_EQ(f.series[0].name + "|" + f.series[1].name, "Box 7 pressure|Box 7 temperature");
    EXPECT_EQ(f.series[1].v[0], 21.5);
}

TEST(ChartFile, TimesInBothFormsAndBack) {
    std::int64_t a = 0, b = 0, c = 0;
    ASSERT_TRUE(ParseTime("2007-05-17T12:30:03", a));
    ASSERT_TRUE(ParseTime("2007/05/17, 12:30:03", b));
    EXPECT_EQ(a, b);
    EXPECT_EQ(IsoTime(a, false), "2007-05-17T12:30:03");
    EXPECT_EQ(IsoTime(a + 86400 * 366, false), "2008-05-17T12:30:03");  // over a leap day
    for (const char* bad : {"2007-05-17 12:30:03", "2007/05/17,12:30:03", "", "2007-05-17T25:30:03"})
        EXPECT_FALSE(ParseTime(bad, c)) << bad;
}

TEST(ChartFile, ColumnsKeepExtremesAndBreaks) {
    Series s;
    for (int i = 0; i < 1000; ++i) {
        s.t.push_back(i);
        s.v.push_back(i == 550 ? kNoValue : i == 123 ? -5.0 : i % 7);
    }
    const auto columns = Decimate(s, 0, 1000, 10);
    ASSERT_EQ(columns.size(), 11u);  // the break starts a second column at pixel 5
    EXPECT_EQ(columns[1].lo, -5.0);
    EXPECT_EQ(columns[1].hi, 6.0);
    EXPECT_TRUE(columns[6].breakBefore);
    EXPECT_EQ(columns[5].x, columns[6].x);
    EXPECT_EQ(Decimate(s, 200, 299, 100).size(), 100u);
}

TEST(ChartFile, CsvOfARangeLeavesMissingValuesEmpty) {
    ChartFile a = ReadChartText("a", kRow1 + kRow2 + "NoConnect\r\n");
    ChartFile b = ReadChartText("b,c", kRow2 + "2007/05/17, 12:30:05,1,2,3,4\r\n");
    std::ostringstream out;
    std::int64_t from = 0;
    ParseTime("2007-05-17T12:30:01", from);
    WriteCsv(out, {&a.series[0], &b.series[1]}, from, from + 10);
    EXPECT_EQ(out.str(),
              "time,a pressure,\"b,c temperature\"\r\n"
              "2007-05-17T12:30:01,14.3,21.6\r\n"
              "2007-05-17T12:30:05,,2\r\n");
}

}  // namespace
