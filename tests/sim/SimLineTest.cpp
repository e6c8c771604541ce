// The line: addressing, speeds, pacing, hang-up and the PC coming and going; the options.

#include "sim/Options.h"
#include "tests/sim/PcSide.h"

#include <ctime>
#include <tuple>

using namespace bravik::sim;
using namespace simtest;

TEST(SimLine, OnlyTheAddressedBoxAnswersAndBroadcastIsSilentButHeard) {
    Bench b(unpaced({box(1), box(2), box(5, Family::Kestin)}));
    play(b.pc, {{"#01ID", "21040117"}, {"#02ID", "21040217"}, {"#05ID", "19980505R"}, {"#03ID", ""},
                {"#00GA=1.5", ""}, {"#02GA", "1.5"}, {"#05GA", "1.5"}, {"ID", "", 200ms}});
    // A command split over two writes.
    b.pc.send("#01V");
    b.pc.send("ER\r\n");
    EXPECT_EQ(b.pc.line(), "V2.14");
}

TEST(SimLine, BoxHearsOnlyAtItsOwnSpeedOrHearsNoise) {
    Bench b(unpaced({box(1), box(2, Family::Digital, 19200)}), 4800);
    play(b.pc, {{"#01ID", ""}});
    b.pc.setBaud(19200);
    play(b.pc, {{"#01ID", ""}, {"#02ID", "21040217"}});
    b.line.setGarbleOnMismatch(true);  // noise as long as the command word instead of silence
    play(b.pc, {{"#01ID", "~ID"}});
}

TEST(SimLine, PacingFollowsTheWireWithoutDrift) {
    LineConfig c;
    c.boxes = {box(2)};
    Bench b(c);
    // A long stream: the lateness of single wake-ups must not add up.
    auto t0 = std::chrono::steady_clock::now();
    auto lines = b.pc.stream("#02CAL");
    double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count();
    std::size_t bytes = 8 + 3;  // command and "}\r\n"
    for (auto& l : lines) bytes += l.size() + 2;
    double wire = static_cast<double>(bytes) * 10.0 / 9.6;
    EXPECT_GE(ms, wire - 1.0);
    EXPECT_LT(ms, wire * 1.02 + 5.0);
}

TEST(SimLine, SurvivesThePcComingAndGoingWithoutSpinning) {
    Line line(unpaced({box(1)}));
    line.start();
    for (int i = 0; i < 30; ++i) {
        PcSide pc(line.slavePath());
        ASSERT_TRUE(pc.ok());
        EXPECT_TRUE(i % 10 || pc.ask("#01ID") == "21040117");
    }
    std::clock_t c0 = std::clock();  // the whole process's CPU time
    usleep(300000);
    EXPECT_LT(static_cast<double>(std::clock() - c0) / CLOCKS_PER_SEC, 0.05);
    PcSide pc(line.slavePath());
    EXPECT_EQ(pc.ask("#01ID"), "21040117");
}

TEST(SimLine, HangUpIsSeenByThePcAndTheLinkFollowsTheNewPty) {
    std::string link = "/tmp/bravik-sim-test-" + std::to_string(getpid());
    LineConfig c = unpaced({box(1)});
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

TEST(SimOptions, BoxesLinesAndRefusals) {
    Invocation s;
    std::string err;
    ASSERT_TRUE(parseArgs({"--line", "/tmp/x", "--box", "addr=3,family=kestin,baud=19200,late=20", "--line", "--demo",
                           "--fault", "drop=3", "--no-pacing"},
                          s, err))
        << err;
    ASSERT_EQ(s.lines.size(), 2u);
    EXPECT_EQ(s.lines[0].linkPath, "/tmp/x");
    const BoxConfig& b = s.lines[0].boxes.at(0);
    EXPECT_EQ(std::tuple(b.address, b.family, b.baud, b.faults.lateMs), std::tuple(3, Family::Kestin, 19200u, 20));
    EXPECT_EQ(s.lines[1].boxes.size(), 3u);
    EXPECT_EQ(s.lines[1].boxes[2].faults.dropEvery, 3);  // --fault: every box of the line
    EXPECT_FALSE(s.lines[1].pacing);
    const std::vector<std::string> bad[] = {{"--box", "family=kestin"}, {"--box", "addr=1,abort=7"}, {"--frobnicate"}};
    for (const auto& args : bad) {
        Invocation i;
        EXPECT_FALSE(parseArgs(args, i, err)) << args.back();
    }
}
