// The box's answers, family by family, on the wire.

#include "sim/Line.h"
#include "tests/sim/PcSide.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>

using namespace bravik::sim;
using namespace simtest;

namespace {

struct Bench {
    explicit Bench(std::vector<BoxConfig> boxes) : line(config(std::move(boxes))) {
        line.start();
        pc = std::make_unique<PcSide>(line.slavePath());
    }
    static LineConfig config(std::vector<BoxConfig> boxes) {
        LineConfig c;
        c.pacing = false;
        c.boxes = std::move(boxes);
        return c;
    }
    Line line;
    std::unique_ptr<PcSide> pc;
};

BoxConfig digital(int a = 1) {
    BoxConfig b;
    b.address = a;
    b.gate = "0.01";
    b.eraseMs = 50;
    b.copyMs = 100;
    return b;
}

BoxConfig kestin(int a = 5) {
    BoxConfig b = digital(a);
    b.family = Family::Kestin;
    return b;
}

std::vector<std::string> fields(const std::string& s) {
    std::vector<std::string> out;
    std::size_t start = 0;
    for (;;) {
        auto p = s.find(',', start);
        out.push_back(s.substr(start, p - start));
        if (p == std::string::npos) return out;
        start = p + 1;
    }
}

unsigned hexByte(const std::string& s, std::size_t at) { return static_cast<unsigned>(std::stoul(s.substr(at, 2), nullptr, 16)); }

bool goodRecord(const std::string& r) {
    if (r.size() < 11 || r[0] != ':' || r.size() % 2 == 0) return false;
    unsigned sum = 0;
    for (std::size_t i = 1; i < r.size(); i += 2) sum += hexByte(r, i);
    return (sum & 0xFF) == 0 && hexByte(r, 1) * 2 + 11 == r.size();
}

std::string record(unsigned addr, unsigned type, const std::vector<unsigned>& data) {
    char b[16];
    std::string s = ":";
    unsigned sum = static_cast<unsigned>(data.size()) + (addr >> 8) + (addr & 0xFF) + type;
    std::snprintf(b, sizeof b, "%02X%04X%02X", static_cast<unsigned>(data.size()), addr, type);
    s += b;
    for (unsigned d : data) {
        std::snprintf(b, sizeof b, "%02X", d);
        s += b;
        sum += d;
    }
    std::snprintf(b, sizeof b, "%02X", (0x100 - (sum & 0xFF)) & 0xFF);
    return s + b;
}

}  // namespace

TEST(SimBox, IdentityTellsTheFamilies) {
    Bench b({digital(1), kestin(5)});
    PcSide& pc = *b.pc;
    EXPECT_EQ(pc.ask("#01VF")->size(), 8u);
    EXPECT_NE(pc.ask("#05VF")->size(), 8u);
    EXPECT_EQ(pc.ask("#05ID")->back(), 'R');
    EXPECT_FALSE(pc.ask("#01M")->empty());
    EXPECT_FALSE(pc.ask("#05VER")->empty());
    EXPECT_EQ(pc.ask("#01XYZ"), "ERROR 1");
    EXPECT_EQ(pc.ask("#01"), "ERROR 1");
}

TEST(SimBox, SettingsAnswerAndStick) {
    Bench b({digital(1), kestin(5)});
    PcSide& pc = *b.pc;
    const char* names[] = {"psi", "bar", "MPa", "mH2O", "C", "K", "F", "R"};
    for (int i = 1; i <= 8; ++i) {
        auto a = pc.ask("#01UP" + std::to_string(i));
        ASSERT_TRUE(a);
        EXPECT_EQ(a->substr(0, a->find(',')), names[i - 1]);
    }
    EXPECT_EQ(pc.ask("#01UP9"), "ERROR 2");
    EXPECT_EQ(pc.ask("#01GA=0.25"), "0.25");
    EXPECT_EQ(pc.ask("#01GA"), "0.25");
    EXPECT_EQ(pc.ask("#01GA=5"), "ERROR 2");
    EXPECT_EQ(pc.ask("#01GA=abc"), "ERROR 2");
    EXPECT_EQ(pc.ask("#01UN1=mH2O"), "mH2O");
    EXPECT_EQ(pc.ask("#01UN1"), "mH2O");
    EXPECT_EQ(pc.ask("#01UN1=C"), "ERROR 2");
    EXPECT_EQ(pc.ask("#01UN2=F"), "F");
    EXPECT_EQ(pc.ask("#01EW"), "0");
    EXPECT_EQ(pc.ask("#01CW"), "0");
    EXPECT_EQ(pc.ask("#01DM"), "ERROR 1");
    EXPECT_EQ(pc.ask("#05DM"), "1");
    EXPECT_EQ(pc.ask("#05DM=3"), "3");
    EXPECT_EQ(pc.ask("#05DM"), "3");
    EXPECT_EQ(pc.ask("#05DM=8"), "ERROR 2");

    EXPECT_EQ(pc.ask("#01TM=2007:05:14:13:45:00"), "2007:05:14:13:45:00");
    auto tm = pc.ask("#01TM");
    ASSERT_TRUE(tm);
    EXPECT_EQ(tm->substr(0, 17), "2007:05:14:13:45:");
    EXPECT_EQ(pc.ask("#01TM=2007:02:30:13:45:00"), "ERROR 2");
    EXPECT_EQ(pc.ask("#01TM=2007:05:14 13:45:00"), "ERROR 2");
}

TEST(SimBox, ReadingsComeInTheOrderAskedAfterTheGateTime) {
    Bench b({digital(1)});
    PcSide& pc = *b.pc;
    auto a = pc.ask("#01TM;D3;D4;D1;D2");
    ASSERT_TRUE(a);
    auto f = fields(*a);
    ASSERT_EQ(f.size(), 5u);
    EXPECT_EQ(f[0].size(), 19u);
    EXPECT_EQ(f[1].find('.'), std::string::npos);
    EXPECT_EQ(f[2].find('.'), std::string::npos);
    double p = std::atof(f[3].c_str()), t = std::atof(f[4].c_str());
    EXPECT_GT(p, 13.0);
    EXPECT_LT(p, 16.0);
    EXPECT_GT(t, 15.0);
    EXPECT_LT(t, 30.0);
    // Counts follow the values.
    EXPECT_NEAR(std::atof(f[1].c_str()), 300000.0 + p * 12000.0, 10.0);

    auto b2 = pc.ask("#01D2;TM;D1");
    ASSERT_TRUE(b2);
    auto g = fields(*b2);
    ASSERT_EQ(g.size(), 3u);
    EXPECT_EQ(g[1].size(), 19u);
    EXPECT_EQ(pc.ask("#01UN2=K"), "K");
    EXPECT_GT(std::atof(fields(*pc.ask("#01D2"))[0].c_str()), 273.0);
    EXPECT_EQ(pc.ask("#01TM;D9"), "ERROR 2");

    EXPECT_EQ(pc.ask("#01GA=0.3"), "0.3");
    auto t0 = std::chrono::steady_clock::now();
    EXPECT_TRUE(pc.ask("#01TM;D1;D2;D3;D4"));
    EXPECT_GE(std::chrono::steady_clock::now() - t0, 295ms);
}

TEST(SimBox, LogFromInitialiseToDump) {
    BoxConfig d = digital(1);
    d.logCapacity = 3;
    Bench b({d});
    PcSide& pc = *b.pc;
    EXPECT_EQ(pc.ask("#01LI"), "ERROR 13");
    EXPECT_EQ(pc.ask("#01LR"), "ERROR 4");
    EXPECT_EQ(pc.ask("#01LR=10"), "ERROR 4");
    EXPECT_EQ(pc.ask("#01LS"), "ERROR 13");
    EXPECT_EQ(pc.ask("#01LL"), "ERROR 13");

    // Initialising answers late.
    auto t0 = std::chrono::steady_clock::now();
    EXPECT_EQ(pc.ask("#01LI=TM,D1,D3"), "TM,D1,D3");
    EXPECT_GE(std::chrono::steady_clock::now() - t0, 45ms);
    EXPECT_EQ(pc.ask("#01LI"), "TM,D1,D3");
    EXPECT_EQ(pc.ask("#01LI=TM,D7"), "ERROR 2");

    EXPECT_EQ(pc.ask("#01LR=10 OR D1=5"), "10 OR D1 = 5");
    EXPECT_EQ(pc.ask("#01LR=30ANDD3=100"), "30 AND D3 = 100");
    EXPECT_EQ(pc.ask("#01LR"), "30 AND D3 = 100");
    EXPECT_EQ(pc.ask("#01LR=1"), "1");
    EXPECT_EQ(pc.ask("#01LR=x"), "ERROR 2");
    EXPECT_EQ(pc.ask("#01LS"), "NOT STARTED");
    EXPECT_EQ(pc.ask("#01LS=STOP"), "ERROR 2");

    auto start = pc.ask("#01LS=START");
    ASSERT_TRUE(start);
    EXPECT_EQ(start->size(), 19u);
    usleep(1200000);
    auto n = std::stoi(*pc.ask("#01LL"));
    EXPECT_GE(n, 1);
    EXPECT_LE(n, 3);
    auto stop = pc.ask("#01LS=STOP");
    ASSERT_TRUE(stop);
    EXPECT_EQ(stop->size(), 39u);
    EXPECT_EQ(stop->substr(0, 19), *start);

    EXPECT_EQ(pc.ask("#01TS"), "0");
    pc.send("#01LD\r\n");
    std::vector<std::string> sets;
    ASSERT_TRUE(pc.block(sets));
    ASSERT_EQ(sets.size(), static_cast<std::size_t>(n));
    auto f = fields(sets[0]);
    ASSERT_EQ(f.size(), 3u);
    EXPECT_EQ(f[0], "0");  // seconds since the start
    EXPECT_TRUE(pc.ask("#01TM"));
    pc.send("#01LD1,1\r\n");
    sets.clear();
    ASSERT_TRUE(pc.block(sets));
    ASSERT_EQ(sets.size(), 1u);
    EXPECT_EQ(fields(sets[0])[0], *start);

    // Start and stop with dates; a log that fills up says so.
    EXPECT_EQ(pc.ask("#01LS=2001:01:01:00:00:00"), "2001:01:01:00:00:00");
    EXPECT_EQ(pc.ask("#01LS=START,2001:01:01:00:00:01"), "ERROR 14");
    EXPECT_EQ(pc.ask("#01LS"), "ERROR 14");
    EXPECT_EQ(pc.ask("#01LL"), "3");
    EXPECT_EQ(pc.ask("#01LI=TM,D2"), "TM,D2");
    EXPECT_EQ(pc.ask("#01LS=2030:01:01:00:00:00,2030:01:02:00:00:00"), "2030:01:01:00:00:00,2030:01:02:00:00:00");
    EXPECT_EQ(pc.ask("#01LL"), "0");
    pc.send("#01LD\r\n");
    EXPECT_EQ(pc.line(), "}");
}

TEST(SimBox, DigitalCoefficientsReadAndWriteBack) {
    Bench b({digital(1)});
    PcSide& pc = *b.pc;
    pc.send("#01CAL\r\n");
    std::vector<std::string> lines;
    ASSERT_TRUE(pc.block(lines));
    ASSERT_EQ(lines.size(), 18u);
    for (std::size_t i = 1; i <= 16; ++i) {
        EXPECT_TRUE(goodRecord(lines[i])) << lines[i];
        EXPECT_EQ(lines[i].substr(0, 3), ":10");
        EXPECT_EQ(std::stoul(lines[i].substr(3, 4), nullptr, 16), (i - 1) * 16);
    }
    EXPECT_EQ(lines[17], ":00000001FF");
    EXPECT_EQ(hexByte(lines[1], 9), 0x02u);  // type
    EXPECT_EQ(hexByte(lines[1], 11), 0x01u);  // most significant byte first

    // The block write: "={" without a line end, the records, "}".
    std::vector<std::string> image(lines.begin() + 1, lines.end());
    std::vector<unsigned> data(16, 0xA5);
    image[2] = record(0x20, 0, data);
    pc.send("#01CAL={");
    for (auto& l : image) pc.send(l + "\r\n");
    pc.send("}\r\n");
    std::vector<std::string> echo;
    ASSERT_TRUE(pc.block(echo));
    ASSERT_EQ(echo.size(), 18u);
    EXPECT_EQ(echo[3], image[2]);
    pc.send("#01CAL\r\n");
    std::vector<std::string> again;
    ASSERT_TRUE(pc.block(again));
    EXPECT_EQ(again, echo);

    // A bad record is refused and the image stays.
    image[2].back() = image[2].back() == '0' ? '1' : '0';
    pc.send("#01CAL={");
    for (auto& l : image) pc.send(l + "\r\n");
    pc.send("}\r\n");
    std::vector<std::string> refused;
    ASSERT_TRUE(pc.block(refused));
    EXPECT_EQ(refused, std::vector<std::string>{"ERROR 2"});
    EXPECT_EQ(pc.ask("#01ID"), "21040117");
    EXPECT_EQ(pc.ask("#01CAL1"), "ERROR 1");
}

TEST(SimBox, KestinBlocksReadAndWriteBack) {
    Bench b({kestin(5), digital(1)});
    PcSide& pc = *b.pc;
    for (const char* w : {"CAL1", "CAL2"}) {
        pc.send(std::string("#05") + w + "\r\n");
        std::vector<std::string> lines;
        ASSERT_TRUE(pc.block(lines));
        EXPECT_GT(lines.size(), 2u);
    }
    EXPECT_EQ(pc.ask("#05CAL"), "ERROR 1");
    EXPECT_EQ(pc.ask("#05CW"), "ERROR 1");
    pc.send("#05CAL1={A\r\nB\r\n}\r\n");
    std::vector<std::string> echo;
    ASSERT_TRUE(pc.block(echo));
    EXPECT_EQ(echo, (std::vector<std::string>{"CAL1 2", "A", "B"}));
    // While the box took the block, the other box did not see those lines.
    EXPECT_EQ(pc.ask("#01ID"), "21040117");
    pc.send("#05CAL2={}\r\n");
    std::vector<std::string> empty;
    ASSERT_TRUE(pc.block(empty));
    EXPECT_EQ(empty, std::vector<std::string>{"CAL2 0"});
}

TEST(SimBox, FirmwareUploadHandshake) {
    Bench b({digital(1)});
    PcSide& pc = *b.pc;
    EXPECT_EQ(pc.ask("#01BR=57600"), "57600");
    pc.setBaud(57600);
    EXPECT_EQ(pc.ask("#01PR"), "READY");
    std::string good = record(0, 0, std::vector<unsigned>(16, 0x11));
    std::string bad = good;
    bad.back() = bad.back() == '0' ? '1' : '0';
    EXPECT_EQ(pc.ask(good), "OK");
    EXPECT_EQ(pc.ask(bad), "SA");
    EXPECT_EQ(pc.ask(good), "OK");
    EXPECT_EQ(pc.ask(":00000001FF"), "OK");
    auto t0 = std::chrono::steady_clock::now();
    EXPECT_EQ(pc.line(2000ms), "PROGRAM OK");
    EXPECT_GE(std::chrono::steady_clock::now() - t0, 80ms);
    EXPECT_EQ(b.line.boxBaud(1), 9600u);
    pc.setBaud(9600);
    EXPECT_EQ(pc.ask("#01ID"), "21040117");

    // Three bad copies of a line end the upload.
    pc.ask("#01BR=57600");
    pc.setBaud(57600);
    EXPECT_EQ(pc.ask("#01PR"), "READY");
    EXPECT_EQ(pc.ask(bad), "SA");
    EXPECT_EQ(pc.ask(bad), "SA");
    EXPECT_EQ(pc.ask(bad), "AB01");
    pc.setBaud(9600);
    EXPECT_EQ(pc.ask("#01ID"), "21040117");
}
