// Live readings: field cutting, the switches' checks and time-out, and both
// polling loops on a scripted line.

#include "device/Readings.h"
#include "device/Trend.h"
#include "testkit/DeviceFixture.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

using namespace tessary;
using device::Reading;

namespace {

struct RecordingView final : device::ReadingsView {
    std::vector<Reading> shown;
    std::vector<std::string> captions;
    int clears = 0;
    void ShowReading(const Reading& r) override { shown.push_back(r); }
    void ClearReadings() override { ++clears; }
    void ShowCaption(const std::string& c) override { captions.push_back(c); }
};

constexpr const char* kAnswer = "2007:05:14:13:45:00,812,653,1234.56789,25.123456";

TEST(CutToPrecision, DropsDigitsWithoutRoundingAndKeepsThePointAtZero) {
    EXPECT_EQ(device::CutToPrecision("1234.56789", 3), "1234.567");
    EXPECT_EQ(device::CutToPrecision("1234.56789", 0), "1234.");
    EXPECT_EQ(device::CutToPrecision("25.5", 3), "25.5");
    EXPECT_EQ(device::CutToPrecision("0.99999", 2), "0.99");
    EXPECT_EQ(device::CutToPrecision("-12.3456", 1), "-12.3");
    // No point: the first `precision` characters.
    EXPECT_EQ(device::CutToPrecision("123456", 3), "123");
    EXPECT_EQ(device::CutToPrecision("123456", 0), "");
    EXPECT_EQ(device::CutToPrecision("", 3), "");
    EXPECT_EQ(device::CutToPrecision("1.25", -1), "1.");
}

TEST(ParseReadings, FiveFieldsInTheirDisplays) {
    const Reading r = device::ParseReadings(kAnswer, 3);
    EXPECT_TRUE(r.complete);
    EXPECT_EQ(r.time, "14/May/07  13:45:00");
    EXPECT_EQ(r.pressCounts, "812");
    EXPECT_EQ(r.tempCounts, "653");
    EXPECT_EQ(r.press, "1234.567");
    EXPECT_EQ(r.temp, "25.123");
    // The trend takes the uncut values.
    EXPECT_DOUBLE_EQ(*r.pressure, 1234.56789);
    EXPECT_DOUBLE_EQ(*r.temperature, 25.123456);

    const Reading zero = device::ParseReadings(kAnswer, 0);
    EXPECT_EQ(zero.press, "1234.");
    EXPECT_EQ(zero.temp, "25.");
}

TEST(ParseReadings, AnythingButFiveFieldsShowsWholeInTheTimeDisplay) {
    for (const std::string answer : {"NoConnect", "ERROR 2", "", "2007:05:14:13:45:00,812,653,1234.5"}) {
        SCOPED_TRACE(answer);
        const Reading r = device::ParseReadings(answer, 3);
        EXPECT_FALSE(r.complete);
        EXPECT_EQ(r.time, answer);
        EXPECT_EQ(r.pressCounts + r.tempCounts + r.press + r.temp, "");
        EXPECT_FALSE(r.pressure || r.temperature);
    }
    // The fifth field is the rest of the line; a value that is no number is
    // still shown but gives the trend nothing.
    const Reading r = device::ParseReadings("2007:05:14:13:45:00,1,2,1.23456,ab.cdef,9", 2);
    EXPECT_TRUE(r.complete);
    EXPECT_EQ(r.temp, "ab.cd");
    EXPECT_TRUE(r.pressure);
    EXPECT_FALSE(r.temperature);
}

struct Readings : testkit::DeviceFixture {
    std::array<RecordingView, 4> views;
    RecordingView single;
    std::array<device::ReadingsView*, 4> Views() { return {&views[0], &views[1], &views[2], &views[3]}; }

    void SetUp() override {
        DeviceFixture::SetUp();
        box = {{"VF", "FP010422"}, {"TM;D3;D4;D1;D2", kAnswer}, {"GA", "0.5"}};
        info().GateTime = "0.5";
        st().TransducerCaption = {"#01    D01-4711", "#02    D02-4712", "#03    D03-4713", "#04    D04-4714"};
    }
    // Stops the loop at the `n`th pump.
    void StopAtPump(int n, bool& flag) {
        op.onPump = [this, n, &flag] {
            if (op.pumps == n) flag = true;
        };
    }
};

TEST_F(Readings, SwitchesRefuseWithoutAnAddressAndChangeNothing) {
    dl->SetResponseTimeoutMs(777);
    for (const auto& [address, message] : {std::pair{"", "Please Auto Connect first."},
                                           std::pair{"#00", "Please select an address first."}}) {
        st().CurrentAddress = address;
        for (bool on : {true, false}) {
            op.messages.clear();
            EXPECT_FALSE(device::SwitchPanelPolling(*s, on));
            EXPECT_FALSE(device::SwitchSinglePolling(*s, on));
            EXPECT_EQ(op.messages, (std::vector<std::string>{message, message}));
        }
    }
    EXPECT_EQ(dl->ResponseTimeoutMs(), 777u);
    EXPECT_EQ(st().GetReadingsLabel, "Get Readings ->");
    EXPECT_EQ(st().EZGetReadingsLabel, "Get Readings ->");
    EXPECT_TRUE(st().PanelPollStopped);
    EXPECT_TRUE(st().SinglePollStopped);
    EXPECT_TRUE(Sent().empty());
}

TEST_F(Readings, TimeOutFollowsTheGateTimeWhileOnAndGoesBackTo1000WhenOff) {
    const std::pair<const char*, std::uint32_t> cases[] = {
        {"0.5", 1000}, {"1.0", 1500}, {"2", 3000}, {"1.9999", 2999},
        // Not a number when the loop starts: the start value.
        {"NoConnect", 1000}, {"", 1000}, {"1,5", 1000}};
    for (const auto& [gate, ms] : cases) {
        SCOPED_TRACE(gate);
        info().GateTime = gate;
        dl->SetResponseTimeoutMs(42);
        ASSERT_TRUE(device::SwitchPanelPolling(*s, true));
        EXPECT_FALSE(st().PanelPollStopped);
        EXPECT_EQ(st().GetReadingsLabel, "Stop ->");
        EXPECT_EQ(dl->ResponseTimeoutMs(), ms);
        EXPECT_FALSE(device::SwitchPanelPolling(*s, false));
        EXPECT_TRUE(st().PanelPollStopped);
        EXPECT_EQ(st().GetReadingsLabel, "Get Readings ->");
        EXPECT_EQ(dl->ResponseTimeoutMs(), 1000u);
    }
    info().GateTime = "2";
    ASSERT_TRUE(device::SwitchSinglePolling(*s, true));
    EXPECT_EQ(st().EZGetReadingsLabel, "Stop ->");
    EXPECT_EQ(dl->ResponseTimeoutMs(), 3000u);
    EXPECT_FALSE(device::SwitchSinglePolling(*s, false));
    EXPECT_EQ(dl->ResponseTimeoutMs(), 1000u);
    EXPECT_TRUE(Sent().empty());
}

TEST_F(Readings, PanelsInOrderAndASilentOneIsDroppedAfterThreeProbes) {
    answering = {"#01", "#02", "#04"};
    st().TransducerCaption[1] = "NoConnect";
    st().TransducerCaption[2] = "#03    D03-4713";
    ASSERT_TRUE(device::SwitchPanelPolling(*s, true));
    // Stop after two whole cycles.
    op.onPump = [&] {
        if (std::count_if(port->writes.begin(), port->writes.end(), [](auto& w) { return w.starts_with("#04TM"); }) == 2)
            st().PanelPollStopped = true;
    };
    device::PollPanels(*s, Views());
    const std::string R = "TM;D3;D4;D1;D2";
    EXPECT_EQ(Sent(), (std::vector<std::string>{"#01VF", "#01" + R, "#03VF", "#03VF", "#03VF", "#04VF", "#04" + R,
                                                "#01VF", "#01" + R, "#04VF", "#04" + R}));
    EXPECT_EQ(st().TransducerCaption[2], "NoConnect");
    EXPECT_EQ(views[2].captions, std::vector<std::string>{"NoConnect"});
    EXPECT_EQ(views[2].clears, 1);
    EXPECT_TRUE(views[2].shown.empty());
    EXPECT_TRUE(views[1].shown.empty() && views[1].captions.empty());
    ASSERT_EQ(views[0].shown.size(), 2u);
    EXPECT_EQ(views[0].shown[0].press, "1234.567");
    EXPECT_EQ(views[3].shown.size(), 2u);
    EXPECT_EQ(st().CommandText, "#04VF\r\n");
    EXPECT_EQ(st().ReplyText, "FP010422");
    EXPECT_TRUE(op.messages.empty());
}

TEST_F(Readings, StopSeenInThePauseAfterAReadingSendsNothingMore) {
    answering = {"#01", "#02", "#03", "#04"};
    ASSERT_TRUE(device::SwitchPanelPolling(*s, true));
    op.onPump = [&] {
        if (!port->writes.empty() && port->writes.back().starts_with("#02TM")) {
            EXPECT_FALSE(device::SwitchPanelPolling(*s, false));
        }
    };
    device::PollPanels(*s, Views());
    EXPECT_EQ(Sent(), (std::vector<std::string>{"#01VF", "#01TM;D3;D4;D1;D2", "#02VF", "#02TM;D3;D4;D1;D2"}));
    EXPECT_EQ(dl->ResponseTimeoutMs(), 1000u);
}

TEST_F(Readings, AllPanelsEmptyWaitsForEventsInsteadOfSpinning) {
    st().TransducerCaption = {"NoConnect", "", "NoConnect", "NoConnect"};
    ASSERT_TRUE(device::SwitchPanelPolling(*s, true));
    StopAtPump(40, st().PanelPollStopped);
    device::PollPanels(*s, Views());
    EXPECT_TRUE(Sent().empty());
    // Eight pumps a cycle, then one wait.
    EXPECT_EQ(op.waits, std::vector<int>(4, device::kIdleWaitMs));
}

TEST_F(Readings, PrecisionChangedWhilePollingAppliesToTheNextReading) {
    ASSERT_TRUE(device::SwitchSinglePolling(*s, true));
    op.onPump = [&] {
        if (single.shown.size() == 1) st().DataPrecision = 1;
        if (single.shown.size() == 2) st().DataPrecision = 0;
        if (single.shown.size() == 3) st().SinglePollStopped = true;
    };
    device::PollSingle(*s, single);
    ASSERT_EQ(single.shown.size(), 3u);
    EXPECT_EQ(single.shown[0].press + " " + single.shown[0].temp, "1234.567 25.123");
    EXPECT_EQ(single.shown[1].press + " " + single.shown[1].temp, "1234.5 25.1");
    EXPECT_EQ(single.shown[2].press + " " + single.shown[2].temp, "1234. 25.");
    // No probe in the single-device loop.
    EXPECT_EQ(Sent(), std::vector<std::string>(3, "#01TM;D3;D4;D1;D2"));
    EXPECT_TRUE(op.waits.empty());
}

TEST_F(Readings, SingleLoopOnAClosedPortWaitsBetweenAttempts) {
    dl->ClosePort();
    ASSERT_TRUE(device::SwitchSinglePolling(*s, true));
    StopAtPump(3, st().SinglePollStopped);
    device::PollSingle(*s, single);
    EXPECT_EQ(op.waits.size(), 3u);
    EXPECT_EQ(single.shown.back().time, "NoConnect");
}

TEST_F(Readings, LoopsNestAndTheOuterResumesWhenTheInnerStops) {
    answering = {"#01", "#02"};
    st().TransducerCaption[2] = st().TransducerCaption[3] = "NoConnect";
    st().CurrentAddress = "#02";
    ASSERT_TRUE(device::SwitchPanelPolling(*s, true));
    bool nested = false;
    op.onPump = [&] {
        const auto n = port->writes.size();
        if (!nested && n == 2) {  // after panel 1's reading: the operator starts the other loop
            nested = true;
            ASSERT_TRUE(device::SwitchSinglePolling(*s, true));
            device::PollSingle(*s, single);
            EXPECT_EQ(st().EZGetReadingsLabel, "Get Readings ->");
        } else if (nested && n == 5 && !st().SinglePollStopped) {
            EXPECT_FALSE(device::SwitchSinglePolling(*s, false));
        } else if (n == 9) {
            EXPECT_FALSE(device::SwitchPanelPolling(*s, false));
        }
    };
    device::PollPanels(*s, Views());
    const std::string R = "TM;D3;D4;D1;D2";
    EXPECT_EQ(Sent(), (std::vector<std::string>{"#01VF", "#01" + R, "#02" + R, "#02" + R, "#02" + R, "#02VF",
                                                "#02" + R, "#01VF", "#01" + R}));
    EXPECT_EQ(single.shown.size(), 3u);
    EXPECT_TRUE(st().PanelPollStopped && st().SinglePollStopped);
}

TEST_F(Readings, ClosingTheWindowEndsBothNestedLoops) {
    answering = {"#01"};
    st().TransducerCaption[1] = st().TransducerCaption[2] = st().TransducerCaption[3] = "NoConnect";
    ASSERT_TRUE(device::SwitchPanelPolling(*s, true));
    int depth = 0;
    op.onPump = [&] {
        if (depth == 0 && port->writes.size() == 2) {
            ++depth;
            ASSERT_TRUE(device::SwitchSinglePolling(*s, true));
            device::PollSingle(*s, single);
        } else if (port->writes.size() == 4) {
            s->FormClose();
        }
    };
    device::PollPanels(*s, Views());
    EXPECT_EQ(Sent().size(), 4u);
    EXPECT_TRUE(st().PanelPollStopped && st().SinglePollStopped);
    EXPECT_FALSE(dl->IsOpen());
}

TEST(TrendBuffer, SlidesOverItsSpanAndThinsAFastStream) {
    device::TrendBuffer trend(10.0, 100);  // at most a point every 0.1 s
    int kept = 0;
    for (int i = 0; i <= 2000; ++i) kept += trend.Add(i * 0.01, 100.0 + i, 20.0);  // 100 readings a second
    const auto& p = trend.Points();
    EXPECT_EQ(kept, 201);
    EXPECT_DOUBLE_EQ(p.back().t, 20.0);
    EXPECT_GE(p.front().t, 10.0 - 1e-9);
    EXPECT_LE(p.size(), 101u);
    EXPECT_DOUBLE_EQ(p.back().pressure, 2100.0);
    // Nothing is skipped at or above the step.
    device::TrendBuffer slow(10.0, 100);
    for (int i = 0; i < 5; ++i) EXPECT_TRUE(slow.Add(i * 0.5, 1, 2));
}

TEST(TrendBuffer, ClockSetBackStartsAfreshAndNonNumbersAreRefused) {
    device::TrendBuffer trend(60.0, 60);
    trend.Add(100, 1, 2);
    trend.Add(101, 1, 2);
    EXPECT_TRUE(trend.Add(50, 3, 4));
    ASSERT_EQ(trend.Points().size(), 1u);
    EXPECT_DOUBLE_EQ(trend.Points().front().pressure, 3);
    EXPECT_FALSE(trend.Add(70, std::nan(""), 4));
    EXPECT_FALSE(trend.Add(70, 1, HUGE_VAL));
    EXPECT_EQ(trend.Points().size(), 1u);
}

TEST(TrendBuffer, RangesHaveRoomAroundTheLineEvenWhenItIsFlat) {
    device::TrendBuffer trend(60.0, 60);
    trend.Add(0, 14.5, 21.0);
    trend.Add(1, 14.5, 23.0);
    const auto p = trend.PressureRange();
    EXPECT_LT(p.lo, 14.5);
    EXPECT_GT(p.hi, 14.5);
    const auto t = trend.TemperatureRange();
    EXPECT_DOUBLE_EQ(t.lo, 20.8);
    EXPECT_DOUBLE_EQ(t.hi, 23.2);
}

}  // namespace
