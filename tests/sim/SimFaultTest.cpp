// Each fault as the PC sees it on the wire, and the firmware upload most of them hit.

#include "sim/Options.h"
#include "PcSide.h"

using namespace bravik::sim;
using namespace simtest;

namespace {

struct FaultCase {
    std::string faults;              // the program's keys, for the Digital box at #01; the Kestin at #05 stays well
    std::vector<Step> steps;
    std::vector<Step> afterwards{};  // faults off, PC at 9600
    bool lineWide = false;           // the faults on every box instead
};

void run(const FaultCase& c, unsigned baud, const std::vector<Step>& first = {}) {
    SCOPED_TRACE(c.faults + (c.lineWide ? " on every box" : ""));
    Faults f;
    std::string err;
    ASSERT_TRUE(parseFaultKeys(c.faults, f, err)) << err;
    Bench b(unpaced({box(1, Family::Digital, baud), box(5, Family::Kestin)}), baud);
    if (c.lineWide) b.line.setLineFaults(f);
    else ASSERT_TRUE(b.line.setFaults(1, f));
    play(b.pc, first);
    play(b.pc, c.steps);
    b.line.setLineFaults({});
    b.pc.setBaud(9600);
    play(b.pc, c.afterwards);
}


}  // namespace

TEST(SimFault, EachAnswerFaultOnTheWire) {
    const FaultCase cases[] = {
        {"silent", {{"#01GA=2", ""}, {"#05ID", "19980505R"}}, {{"#01GA", "0.01"}}},  // not even executed
        {"late=260", {{"#01ID", "", 250ms}, {"", "21040117", 500ms}}},
        {"drop=3",  // the command is still done
         {{"#01EW", "0"}, {"#01EW", "0"}, {"#01GA=1", ""}, {"#01GA", "1"}, {"#01EW", "0"}, {"#01EW", ""}}},
        {"garble", {{"#01ID", "~21040117"}}},
        {"stop=3", {{"#01CAL", "CAL 256"}, {"", "*"}, {"", "*"}, {"", ""}, {"#01ID", "21040117"}}},
        {"alias=9", {{"#09ID", "21040117"}, {"#01ID", "21040117"}}},
        {"alias=5", {{"#05ID", "21040117"}, {"", "19980505R"}}},  // both answer, one after the other
        {"silent", {{"#01ID", ""}, {"#05ID", ""}}, {{"#05ID", "19980505R"}}, true},
    };
    for (const auto& c : cases) run(c, 9600);
}
