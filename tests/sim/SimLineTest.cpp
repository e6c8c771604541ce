// The line: addressing, speeds, pacing, traffic, hang-up and the PC coming and going.

#include "sim/Line.h"
#include "sim/Options.h"
#include "tests/sim/PcSide.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <unistd.h>

using namespace bravik::sim;
using namespace simtest;

namespace {

LineConfig quickLine(std::vector<BoxConfig> boxes) {
    LineConfig c;
    c.pacing = false;
    c.boxes = std::move(boxes);
    return c;
}

BoxConfig box(int address, Family f = Family::Digital, unsigned baud = 9600) {
    BoxConfig b;
    b.address = address;
    b.family = f;
    b.baud = baud;
    return b;
}

double cpuSeconds() {
    rusage r{};
    getrusage(RUSAGE_SELF, &r);
    return static_cast<double>(r.ru_utime.tv_sec + r.ru_stime.tv_sec) +
           static_cast<double>(r.ru_utime.tv_usec + r.ru_stime.tv_usec) / 1e6;
}

}  // namespace

TEST(SimLine, OnlyTheAddressedBoxAnswersAndBroadcastIsSilentButHeard) {
    Line line(quickLine({box(1), box(2), box(5, Family::Kestin)}));
    line.start();
    PcSide pc(line.slavePath());
    ASSERT_TRUE(pc.ok());

    EXPECT_EQ(pc.ask("#01ID"), "21040117");
    EXPECT_EQ(pc.ask("#02ID"), "21040217");
    EXPECT_EQ(pc.ask("#05ID"), "19980505R");
    EXPECT_EQ(pc.ask("#03ID", 300ms), std::nullopt);
    EXPECT_EQ(pc.ask("#00GA=1.5", 300ms), std::nullopt);
    EXPECT_EQ(pc.ask("#02GA"), "1.5");
    EXPECT_EQ(pc.ask("#05GA"), "1.5");
    // Lines without an address and a command split over two writes.
    EXPECT_EQ(pc.ask("ID", 200ms), std::nullopt);
    pc.send("#01V");
    pc.send("ER\r\n");
    EXPECT_EQ(pc.line(), "V2.14");
}

TEST(SimLine, BoxHearsOnlyAtItsOwnSpeed) {
    LineConfig c = quickLine({box(1), box(2, Family::Digital, 19200)});
    Line line(c);
    line.start();
    PcSide pc(line.slavePath(), 4800);
    EXPECT_EQ(pc.ask("#01ID", 300ms), std::nullopt);
    pc.setBaud(19200);
    EXPECT_EQ(pc.ask("#01ID", 300ms), std::nullopt);
    EXPECT_EQ(pc.ask("#02ID"), "21040217");

    // The switch: a line of noise instead of silence.
    line.setGarbleOnMismatch(true);
    auto noise = pc.ask("#01ID");
    ASSERT_TRUE(noise);
    EXPECT_EQ(noise->size(), 2u);
    EXPECT_NE(*noise, "ID");

    auto t = line.traffic();
    bool sawSpeed = false;
    for (auto& e : t) sawSpeed |= e.dir == Traffic::Dir::FromPc && e.baud == 19200 && e.text == "#02ID";
    EXPECT_TRUE(sawSpeed);
}

TEST(SimLine, BaudChangeEchoesAtOldRateThenSwitches) {
    Line line(quickLine({box(1)}));
    line.start();
    PcSide pc(line.slavePath());
    EXPECT_EQ(pc.ask("#01BR=19200"), "19200");
    EXPECT_EQ(pc.ask("#01ID", 300ms), std::nullopt);
    pc.setBaud(19200);
    EXPECT_EQ(pc.ask("#01ID"), "21040117");
    EXPECT_EQ(pc.ask("#01BR=14000"), "ERROR 2");
    EXPECT_EQ(line.boxBaud(1), 19200u);

    EXPECT_EQ(pc.ask("#01AD=07"), "07");
    EXPECT_EQ(pc.ask("#01ID", 300ms), std::nullopt);
    EXPECT_EQ(pc.ask("#07ID"), "21040117");
    EXPECT_EQ(pc.ask("#07AD=00"), "ERROR 2");
}

TEST(SimLine, PacingFollowsTheWireWithoutDrift) {
    LineConfig c;
    c.boxes = {box(1, Family::Digital, 1200), box(2, Family::Digital, 9600)};
    Line line(c);
    line.start();
    PcSide pc(line.slavePath(), 1200);

    // 7 command bytes + 10 answer bytes at 1200 baud: 17 x 8.33 ms.
    auto t0 = std::chrono::steady_clock::now();
    EXPECT_EQ(pc.ask("#01ID"), "21040117");
    double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count();
    EXPECT_GE(ms, 141.0);
    EXPECT_LT(ms, 160.0);

    // A long stream at 9600: the lateness of single wake-ups must not add up.
    pc.setBaud(9600);
    t0 = std::chrono::steady_clock::now();
    pc.send("#02CAL\r\n");
    std::vector<std::string> lines;
    ASSERT_TRUE(pc.block(lines));
    ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count();
    std::size_t bytes = 8 + 3;  // command and "}\r\n"
    for (auto& l : lines) bytes += l.size() + 2;
    double wire = static_cast<double>(bytes) * 10.0 / 9.6;
    EXPECT_GE(ms, wire - 1.0);
    EXPECT_LT(ms, wire * 1.02 + 5.0);

    line.setPacing(false);
    t0 = std::chrono::steady_clock::now();
    EXPECT_EQ(pc.ask("#02ID"), "21040217");
    ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count();
    EXPECT_LT(ms, 10.0);
}

TEST(SimLine, SurvivesThePcComingAndGoingWithoutSpinning) {
    Line line(quickLine({box(1)}));
    line.start();
    for (int i = 0; i < 30; ++i) {
        PcSide pc(line.slavePath());
        ASSERT_TRUE(pc.ok());
        if (i % 10 == 0) {
            EXPECT_EQ(pc.ask("#01ID"), "21040117");
        }
    }
    double c0 = cpuSeconds();
    usleep(300000);
    EXPECT_LT(cpuSeconds() - c0, 0.05);
    PcSide pc(line.slavePath());
    EXPECT_EQ(pc.ask("#01ID"), "21040117");
}

TEST(SimLine, HangUpIsSeenByThePcAndTheLinkFollowsTheNewPty) {
    std::string link = "/tmp/bravik-sim-test-" + std::to_string(getpid());
    LineConfig c = quickLine({box(1)});
    c.linkPath = link;
    Line line(c);
    line.start();
    EXPECT_EQ(line.slavePath(), link);
    {
        PcSide pc(link);
        EXPECT_EQ(pc.ask("#01GA=1"), "1");
        line.hangUp();
        EXPECT_TRUE(pc.hungUp(1000ms));
        EXPECT_FALSE(PcSide(link).ok());
    }
    line.restore();
    PcSide pc(link);
    ASSERT_TRUE(pc.ok());
    EXPECT_EQ(pc.ask("#01GA"), "1");  // the box kept its state
    line.stop();
    EXPECT_NE(access(link.c_str(), F_OK), 0);
}

TEST(SimLine, SeveralLinesRunSideBySide) {
    Line a(quickLine({box(1)})), b(quickLine({box(1, Family::Kestin)}));
    a.start();
    b.start();
    PcSide pa(a.slavePath()), pb(b.slavePath());
    EXPECT_EQ(pa.ask("#01VF"), "FP010422");
    EXPECT_EQ(pb.ask("#01VF"), "ERROR 1");
}

TEST(SimLine, TrafficAndTraceSeeBothDirections) {
    Line line(quickLine({box(1)}));
    std::vector<Traffic> seen;
    std::mutex mu;
    line.setTraceSink([&](const Traffic& t) {
        std::lock_guard lk(mu);
        seen.push_back(t);
    });
    line.start();
    PcSide pc(line.slavePath());
    EXPECT_EQ(pc.ask("#01M"), "DPT6100");
    ASSERT_TRUE(line.waitForTraffic([](auto& t) { return t.size() >= 2; }, 1000ms));
    auto t = line.traffic();
    EXPECT_EQ(t[0].dir, Traffic::Dir::FromPc);
    EXPECT_EQ(t[0].text, "#01M");
    EXPECT_EQ(t[0].baud, 9600u);
    EXPECT_EQ(t[1].dir, Traffic::Dir::ToPc);
    EXPECT_EQ(t[1].text, "DPT6100");
    EXPECT_GE(t[1].time, t[0].time);
    line.stop();
    std::lock_guard lk(mu);
    EXPECT_EQ(seen.size(), t.size());
}

TEST(SimOptions, BoxesFaultsAndLines) {
    Invocation s;
    std::string err;
    ASSERT_TRUE(parseArgs({"--line", "/tmp/x", "--box", "addr=3,family=kestin,baud=19200,late=20,sa=2@4",
                           "--line", "--demo", "--fault", "drop=3", "--no-pacing"},
                          s, err))
        << err;
    ASSERT_EQ(s.lines.size(), 2u);
    EXPECT_EQ(s.lines[0].linkPath, "/tmp/x");
    const BoxConfig& b = s.lines[0].boxes.at(0);
    EXPECT_EQ(b.address, 3);
    EXPECT_EQ(b.family, Family::Kestin);
    EXPECT_EQ(b.baud, 19200u);
    EXPECT_EQ(b.faults.lateMs, 20);
    EXPECT_EQ(b.faults.saTimes, 2);
    EXPECT_EQ(b.faults.saLine, 4);
    EXPECT_EQ(s.lines[1].boxes.size(), 3u);
    EXPECT_EQ(s.lines[1].boxes[2].faults.dropEvery, 3);
    EXPECT_FALSE(s.lines[1].pacing);

    Invocation bad;
    EXPECT_FALSE(parseArgs({"--box", "family=kestin"}, bad, err));
    EXPECT_FALSE(parseArgs({"--box", "addr=1,abort=7"}, bad, err));
    EXPECT_FALSE(parseArgs({"--frobnicate"}, bad, err));
    EXPECT_NE(usage().find("--mismatch-garble"), std::string::npos);
}
