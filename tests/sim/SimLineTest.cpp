// The line: addressing, speeds, pacing, hang-up and the PC coming and going; the options.

#include "PcSide.h"

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

TEST(SimLine, PacingFollowsTheWire) {
    LineConfig c;
    c.boxes = {box(2)};
    Bench b(c);
    // Never ahead of the wire; behind it by no more than a loaded machine's late wake-up (the
    // lateness adding up over a long stream is connect_bench's figure), and 11 bits a byte would show.
    auto t0 = std::chrono::steady_clock::now();
    auto lines = b.pc.stream("#02CAL");
    double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count();
    std::size_t bytes = 8 + 3;  // command and "}\r\n"
    for (auto& l : lines) bytes += l.size() + 2;
    double wire = static_cast<double>(bytes) * 10.0 / 9.6;
    EXPECT_GE(ms, wire - 1.0);
    EXPECT_LT(ms, wire * 1.02 + 50.0);
}

