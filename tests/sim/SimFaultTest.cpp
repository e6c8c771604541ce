// Each fault, as the PC sees it on the wire.

#include "sim/Line.h"
#include "tests/sim/PcSide.h"

#include <gtest/gtest.h>

using namespace bravik::sim;
using namespace simtest;

namespace {

struct Bench {
    explicit Bench(Faults f = {}) {
        LineConfig c;
        c.pacing = false;
        BoxConfig a;
        a.address = 1;
        a.faults = f;
        a.copyMs = 50;
        BoxConfig k;
        k.address = 5;
        k.family = Family::Kestin;
        c.boxes = {a, k};
        line = std::make_unique<Line>(c);
        line->start();
        pc = std::make_unique<PcSide>(line->slavePath());
    }
    std::unique_ptr<Line> line;
    std::unique_ptr<PcSide> pc;
};

const std::string kRecord = ":1000000011111111111111111111111111111111E0";

void enterProgramming(PcSide& pc) {
    ASSERT_EQ(pc.ask("#01BR=57600"), "57600");
    pc.setBaud(57600);
    ASSERT_EQ(pc.ask("#01PR"), "READY");
}

}  // namespace

TEST(SimFault, SilentBoxHearsNothingUntilSwitchedBack) {
    Bench b;
    Faults f;
    f.silent = true;
    ASSERT_TRUE(b.line->setFaults(1, f));
    EXPECT_EQ(b.pc->ask("#01GA=2", 300ms), std::nullopt);
    EXPECT_EQ(b.pc->ask("#05ID"), "19980505R");  // the other box is fine
    b.line->setFaults(1, {});
    EXPECT_EQ(b.pc->ask("#01GA"), "0.5");
}

TEST(SimFault, LateAnswer) {
    Faults f;
    f.lateMs = 250;
    Bench b(f);
    auto t0 = std::chrono::steady_clock::now();
    EXPECT_EQ(b.pc->ask("#01ID", 150ms), std::nullopt);
    EXPECT_EQ(b.pc->line(500ms), "21040117");
    EXPECT_GE(std::chrono::steady_clock::now() - t0, 250ms);
}

TEST(SimFault, EveryNthAnswerIsDroppedButTheCommandIsDone) {
    Faults f;
    f.dropEvery = 3;
    Bench b(f);
    PcSide& pc = *b.pc;
    EXPECT_EQ(pc.ask("#01ID"), "21040117");
    EXPECT_EQ(pc.ask("#01ID"), "21040117");
    EXPECT_EQ(pc.ask("#01GA=1", 300ms), std::nullopt);
    EXPECT_EQ(pc.ask("#01GA"), "1");
    EXPECT_EQ(pc.ask("#01ID"), "21040117");
    EXPECT_EQ(pc.ask("#01ID", 300ms), std::nullopt);
}

TEST(SimFault, GarbledAnswerKeepsItsLengthAndLineEnd) {
    Faults f;
    f.garble = true;
    Bench b(f);
    auto a = b.pc->ask("#01BR=19200");
    ASSERT_TRUE(a);
    EXPECT_EQ(a->size(), 5u);
    EXPECT_NE(*a, "19200");
}

TEST(SimFault, StreamsStopMidWay) {
    Faults f;
    f.stopAfter = 3;
    Bench b(f);
    PcSide& pc = *b.pc;
    pc.send("#01CAL\r\n");
    std::vector<std::string> lines;
    EXPECT_FALSE(pc.block(lines, 300ms));
    EXPECT_EQ(lines.size(), 3u);
    EXPECT_EQ(pc.ask("#01ID"), "21040117");  // single answers are untouched

    // An upload goes silent after that many image lines.
    enterProgramming(pc);
    for (int i = 0; i < 3; ++i) EXPECT_EQ(pc.ask(kRecord), "OK");
    EXPECT_EQ(pc.ask(kRecord, 300ms), std::nullopt);
    EXPECT_EQ(b.line->boxBaud(1), 9600u);
}

TEST(SimFault, SendAgainNTimes) {
    Faults f;
    f.saTimes = 2;
    f.saLine = 2;
    Bench b(f);
    PcSide& pc = *b.pc;
    enterProgramming(pc);
    EXPECT_EQ(pc.ask(kRecord), "OK");
    EXPECT_EQ(pc.ask(kRecord), "SA");
    EXPECT_EQ(pc.ask(kRecord), "SA");
    EXPECT_EQ(pc.ask(kRecord), "OK");
    EXPECT_EQ(pc.ask(kRecord), "OK");
}

TEST(SimFault, AbortWithCode) {
    Faults f;
    f.abortCode = "07";
    f.abortLine = 2;
    Bench b(f);
    PcSide& pc = *b.pc;
    enterProgramming(pc);
    EXPECT_EQ(pc.ask(kRecord), "OK");
    EXPECT_EQ(pc.ask(kRecord), "AB07");
    EXPECT_EQ(pc.ask(kRecord, 200ms), std::nullopt);
    EXPECT_EQ(b.line->boxBaud(1), 9600u);
    pc.setBaud(9600);
    EXPECT_EQ(pc.ask("#01ID"), "21040117");
}

TEST(SimFault, BoxAnswersAtTwoAddresses) {
    Faults f;
    f.alias = 9;
    Bench b(f);
    EXPECT_EQ(b.pc->ask("#09ID"), "21040117");
    EXPECT_EQ(b.pc->ask("#01ID"), "21040117");
    // Aliased onto an occupied address, both boxes answer: two lines collide on the wire.
    Faults g;
    g.alias = 5;
    b.line->setFaults(1, g);
    b.pc->send("#05ID\r\n");
    auto one = b.pc->line(), two = b.pc->line();
    ASSERT_TRUE(one && two);
    EXPECT_NE(*one, *two);
}

TEST(SimFault, LineWideFaultsAndHangUp) {
    Bench b;
    Faults f;
    f.silent = true;
    b.line->setLineFaults(f);
    EXPECT_EQ(b.pc->ask("#01ID", 200ms), std::nullopt);
    EXPECT_EQ(b.pc->ask("#05ID", 200ms), std::nullopt);
    b.line->setLineFaults({});
    EXPECT_EQ(b.pc->ask("#05ID"), "19980505R");
    b.line->hangUp();
    EXPECT_TRUE(b.pc->hungUp(1000ms));
}
