// The box's refusals, log states and block checks: the flows on the simulator meet only the happy path.

#include "PcSide.h"

#include <algorithm>
#include <cstdlib>

using namespace bravik::sim;
using namespace simtest;

TEST(SimBox, RefusalsKeepTheStateAndReadingsComeInTheOrderAsked) {
    Bench b(unpaced({box(1), box(5, Family::Kestin)}));
    play(b.pc, {{"#01XYZ", "ERROR 1"}, {"#01", "ERROR 1"}, {"#05VF", "ERROR 1"}, {"#05CW", "ERROR 1"},
                {"#05CAL", "ERROR 1"}, {"#01DM", "ERROR 1"}, {"#01UP9", "ERROR 2"}, {"#01GA=0.25", "0.25"},
                {"#01GA=5", "ERROR 2"}, {"#01GA=abc", "ERROR 2"}, {"#01GA", "0.25"}, {"#01UN1=C", "ERROR 2"},
                {"#05DM=8", "ERROR 2"}, {"#01BR=14000", "ERROR 2"}, {"#01AD=00", "ERROR 2"}, {"#01TM;D9", "ERROR 2"},
                {"#01TM=2007:02:30:13:45:00", "ERROR 2"}, {"#01TM=2007:05:14 13:45:00", "ERROR 2"},
                // Far beyond what a nanosecond clock holds.
                {"#01TM=4040:01:02:03:04:05", "4040:01:02:03:04:05"}});
    EXPECT_EQ(b.pc.ask("#01TM").value_or("").substr(0, 17), "4040:01:02:03:04:");  // the clock runs on

    const std::string r = b.pc.ask("#01TM;D3;D4;D1;D2").value_or("");
    const auto c1 = r.find(','), c2 = r.find(',', c1 + 1), c3 = r.find(',', c2 + 1);
    ASSERT_EQ(std::count(r.begin(), r.end(), ','), 4) << r;
    EXPECT_EQ(r.substr(c1, c3 - c1).find('.'), std::string::npos) << "counts are whole: " << r;
    EXPECT_NEAR(std::atof(r.c_str() + c1 + 1), 300000.0 + std::atof(r.c_str() + c3 + 1) * 12000.0, 10.0);
}

TEST(SimBox, LogStatesFromUninitialisedToFull) {
    BoxConfig d = box(1);
    d.logCapacity = 3;
    Bench b(unpaced({d}));
    play(b.pc, {{"#01LI", "ERROR 13"}, {"#01LR", "ERROR 4"}, {"#01LS", "ERROR 13"}, {"#01LL", "ERROR 13"},
                {"#01LI=TM,D1,D3", "", 45ms}, {"", "TM,D1,D3"},  // initialising answers late
                {"#01LI=TM,D7", "ERROR 2"}, {"#01LR=10 OR D1=5", "10 OR D1 = 5"},
                {"#01LR=30ANDD3=100", "30 AND D3 = 100"}, {"#01LR=1", "1"}, {"#01LR=x", "ERROR 2"},
                {"#01LS", "NOT STARTED"}, {"#01LS=STOP", "ERROR 2"}, {"#01TM=2007:05:14:13:45:00", "*"},
                // Started a minute ago by the box's clock, the log is full at once.
                {"#01LS=2007:05:14:13:44:00", "2007:05:14:13:44:00"}, {"#01LL", "3"}, {"#01LS", "ERROR 14"},
                {"#01LS=START,2007:05:14:13:44:01", "ERROR 14"}});
}

TEST(SimBox, ABadCoefficientRecordIsRefusedAndTheImageStays) {
    Bench b(unpaced({box(1)}));
    const auto before = b.pc.stream("#01CAL");
    ASSERT_EQ(before.size(), 18u);
    std::vector<std::string> image(before.begin() + 1, before.end());
    image[2] = ":10002000A5A5A5A5A5A5A5A5A5A5A5A5A5A5A5A581";  // checksum 80
    b.pc.send("#01CAL={");
    for (auto& l : image) b.pc.send(l + "\r\n");
    EXPECT_EQ(b.pc.stream("}"), std::vector<std::string>{"ERROR 2"});
    EXPECT_EQ(b.pc.stream("#01CAL"), before);
}
