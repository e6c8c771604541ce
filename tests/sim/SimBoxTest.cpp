// The box's answers, a command family a test, on the wire.

#include "tests/sim/PcSide.h"

#include <cstdlib>
#include <sstream>

using namespace bravik::sim;
using namespace simtest;

namespace {

std::vector<std::string> fields(const std::string& s) {
    std::vector<std::string> out;
    std::istringstream in(s);
    for (std::string f; std::getline(in, f, ',');) out.push_back(f);
    return out;
}

unsigned hexByte(const std::string& s, std::size_t at) { return unsigned(std::stoul(s.substr(at, 2), nullptr, 16)); }

// ":", length, address, type, data, checksum; the bytes add up to 0.
bool goodRecord(const std::string& r) {
    unsigned sum = 0;
    for (std::size_t i = 1; i + 1 < r.size(); i += 2) sum += hexByte(r, i);
    return r.size() % 2 == 1 && r[0] == ':' && (sum & 0xFF) == 0 && r.size() == hexByte(r, 1) * 2 + 11;
}

}  // namespace

TEST(SimBox, IdentityTellsTheFamilies) {
    Bench b(unpaced({box(1), box(5, Family::Kestin)}));
    play(b.pc, {{"#01ID", "21040117"}, {"#05ID", "19980505R"}, {"#01VF", "FP010422"}, {"#05VF", "ERROR 1"},
                {"#01M", "DPT6100"}, {"#05M", "K-3000"}, {"#01VER", "V2.14"}, {"#05VER", "K1.07"},
                {"#01XYZ", "ERROR 1"}, {"#01", "ERROR 1"}, {"#01CAL1", "ERROR 1"}, {"#05CAL", "ERROR 1"},
                {"#05CW", "ERROR 1"}, {"#01DM", "ERROR 1"}});
}

TEST(SimBox, SettingsAnswerAndStick) {
    Bench b(unpaced({box(1), box(5, Family::Kestin)}));
    play(b.pc, {{"#01UP1", "psi,1.0000000,0"}, {"#01UP2", "bar,0.0689476,0"}, {"#01UP3", "MPa,0.0068948,0"},
                {"#01UP4", "mH2O,0.7030696,0"}, {"#01UP5", "C,1.0000000,0"}, {"#01UP6", "K,1.0000000,273.15"},
                {"#01UP7", "F,1.8000000,32"}, {"#01UP8", "R,1.8000000,491.67"}, {"#01UP9", "ERROR 2"},
                {"#01GA=0.25", "0.25"}, {"#01GA", "0.25"}, {"#01GA=5", "ERROR 2"}, {"#01GA=abc", "ERROR 2"},
                {"#01UN1=mH2O", "mH2O"}, {"#01UN1", "mH2O"}, {"#01UN1=C", "ERROR 2"}, {"#01UN2=F", "F"}, {"#01EW", "0"},
                {"#01CW", "0"}, {"#05DM", "1"}, {"#05DM=3", "3"}, {"#05DM", "3"}, {"#05DM=8", "ERROR 2"},
                {"#01TM=2007:05:14:13:45:00", "2007:05:14:13:45:00"}, {"#01TM=2007:02:30:13:45:00", "ERROR 2"},
                {"#01TM=2007:05:14 13:45:00", "ERROR 2"}});
    EXPECT_EQ(b.pc.ask("#01TM").value_or("").substr(0, 17), "2007:05:14:13:45:");  // the clock runs on
    // Far beyond what a nanosecond clock holds.
    play(b.pc, {{"#01TM=4040:01:02:03:04:05", "4040:01:02:03:04:05"}});
    EXPECT_EQ(b.pc.ask("#01TM").value_or("").substr(0, 17), "4040:01:02:03:04:");
}

TEST(SimBox, ReadingsComeInTheOrderAskedAfterTheGateTime) {
    Bench b(unpaced({box(1)}));
    auto f = fields(b.pc.ask("#01TM;D3;D4;D1;D2").value_or(""));
    ASSERT_EQ(f.size(), 5u);
    EXPECT_EQ(f[0].size(), 19u);
    EXPECT_EQ((f[1] + f[2]).find('.'), std::string::npos);  // counts are whole
    double p = std::atof(f[3].c_str()), t = std::atof(f[4].c_str());
    EXPECT_TRUE(p > 13.0 && p < 16.0) << p;
    EXPECT_TRUE(t > 15.0 && t < 30.0) << t;
    EXPECT_NEAR(std::atof(f[1].c_str()), 300000.0 + p * 12000.0, 10.0);  // counts follow the values

    play(b.pc, {{"#01UN2=K", "K"}, {"#01TM;D9", "ERROR 2"}});
    EXPECT_GT(std::atof(b.pc.ask("#01D2").value_or("").c_str()), 273.0);
    play(b.pc, {{"#01GA=0.3", "0.3"}});
    auto t0 = std::chrono::steady_clock::now();
    EXPECT_TRUE(b.pc.ask("#01TM;D1;D2;D3;D4"));
    EXPECT_GE(std::chrono::steady_clock::now() - t0, 295ms);
}

TEST(SimBox, LogFromInitialiseToDump) {
    BoxConfig d = box(1);
    d.logCapacity = 3;
    Bench b(unpaced({d}));
    play(b.pc, {{"#01LI", "ERROR 13"}, {"#01LR", "ERROR 4"}, {"#01LR=10", "ERROR 4"}, {"#01LS", "ERROR 13"},
              {"#01LL", "ERROR 13"}, {"#01LI=TM,D1,D3", "", 45ms}, {"", "TM,D1,D3"},  // initialising answers late
              {"#01LI", "TM,D1,D3"}, {"#01LI=TM,D7", "ERROR 2"}, {"#01LR=10 OR D1=5", "10 OR D1 = 5"},
              {"#01LR=30ANDD3=100", "30 AND D3 = 100"}, {"#01LR", "30 AND D3 = 100"}, {"#01LR=1", "1"},
              {"#01LR=x", "ERROR 2"}, {"#01LS", "NOT STARTED"}, {"#01LS=STOP", "ERROR 2"}});

    auto start = b.pc.ask("#01LS=START").value_or(""), stop = b.pc.ask("#01LS=STOP").value_or("");
    EXPECT_EQ(start.size(), 19u);
    EXPECT_EQ(stop.size(), 39u);
    EXPECT_EQ(stop.substr(0, 20), start + ",");

    // Started a minute ago by the box's clock, the log fills at once: one set a second, then full.
    play(b.pc, {{"#01LI=TM,D1,D3", "TM,D1,D3"}, {"#01TM=2007:05:14:13:45:00", "2007:05:14:13:45:00"},
              {"#01LS=2007:05:14:13:44:00", "2007:05:14:13:44:00"}, {"#01LL", "3"}, {"#01LS", "ERROR 14"},
              {"#01LS=START,2007:05:14:13:44:01", "ERROR 14"}, {"#01TS", "0"}});
    auto sets = b.pc.stream("#01LD");
    ASSERT_EQ(sets.size(), 3u);
    for (std::size_t i = 0; i < 3; ++i) {
        auto f = fields(sets[i]);
        ASSERT_EQ(f.size(), 3u);
        EXPECT_EQ(f[0], std::to_string(i));  // seconds since the start
    }
    EXPECT_TRUE(b.pc.ask("#01TM"));  // back to dates in the dump
    EXPECT_EQ(b.pc.stream("#01LD2,2"), std::vector<std::string>{"2007:05:14:13:44:01" + sets[1].substr(1)});

    play(b.pc, {{"#01LI=TM,D2", "TM,D2"},
              {"#01LS=2030:01:01:00:00:00,2030:01:02:00:00:00", "2030:01:01:00:00:00,2030:01:02:00:00:00"},
              {"#01LL", "0"}, {"#01LD", "}"}});
}

TEST(SimBox, CoefficientsReadAndWriteBack) {
    Bench b(unpaced({box(1), box(5, Family::Kestin)}));
    auto lines = b.pc.stream("#01CAL");
    ASSERT_EQ(lines.size(), 18u);
    EXPECT_EQ(lines[0], "CAL 256");
    for (std::size_t i = 1; i <= 16; ++i) {
        EXPECT_TRUE(goodRecord(lines[i])) << lines[i];
        EXPECT_EQ(lines[i].substr(0, 3), ":10");
        EXPECT_EQ(std::stoul(lines[i].substr(3, 4), nullptr, 16), (i - 1) * 16);
    }
    EXPECT_EQ(lines[17], ":00000001FF");
    EXPECT_EQ(lines[1].substr(9, 4), "0201");  // image type 2, then 01: most significant byte first

    // The block write: "={" without a line end, the records, "}".
    std::vector<std::string> image(lines.begin() + 1, lines.end());
    image[2] = ":10002000A5A5A5A5A5A5A5A5A5A5A5A5A5A5A5A580";
    auto write = [&] {
        b.pc.send("#01CAL={");
        for (auto& l : image) b.pc.send(l + "\r\n");
        return b.pc.stream("}");
    };
    auto echo = write();
    ASSERT_EQ(echo.size(), 18u);
    EXPECT_EQ(echo[3], image[2]);
    EXPECT_EQ(b.pc.stream("#01CAL"), echo);
    // A bad record is refused and the image stays.
    image[2].back() = '1';
    EXPECT_EQ(write(), std::vector<std::string>{"ERROR 2"});
    EXPECT_EQ(b.pc.stream("#01CAL"), echo);

    for (const char* w : {"#05CAL1", "#05CAL2"}) EXPECT_GT(b.pc.stream(w).size(), 2u);
    b.pc.send("#05CAL1={A\r\nB\r\n");
    EXPECT_EQ(b.pc.stream("}"), (std::vector<std::string>{"CAL1 2", "A", "B"}));
    EXPECT_EQ(b.pc.stream("#05CAL2={}"), std::vector<std::string>{"CAL2 0"});
}
