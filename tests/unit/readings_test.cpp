// Live readings: field cutting, the switches, both polling loops on a scripted line, the trend.

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

struct RecordingPublisher final : device::ReadingsPublisher {
    std::vector<std::string> boxes, rows;
    void BoxStarted(const device::PublishedBox& b) override { boxes.push_back(b.address + " " + b.id); }
    void Reading(const device::PublishedReading& r) override {
        rows.push_back(r.address + " " + r.boxTime + " " + r.pressure + " " + r.temperature + " " + r.pressureCounts + " " +
                       r.temperatureCounts + r.error);
    }
    void Gap(const std::string&) override {}
};

constexpr const char* kAnswer = "2007:05:14:13:45:00,812,653,1234.56789,25.123456";
const std::string R = "TM;D3;D4;D1;D2";

TEST(ParseReadings, FieldsAreCutToThePrecisionWithoutRoundingAndOddAnswersShownWhole) {
    const std::vector<std::tuple<std::string, int, std::string>> cut = {
        {"1234.56789", 0, "1234."}, {"25.5", 3, "25.5"}, {"0.99999", 2, "0.99"}, {"-12.3456", 1, "-12.3"},
        {"123456", 3, "123"}, {"", 3, ""}, {"1.25", -1, "1."}};  // no point: the first `precision` characters
    for (const auto& [field, precision, out] : cut) EXPECT_EQ(device::CutToPrecision(field, precision), out) << field;

    const Reading r = device::ParseReadings(kAnswer, 3);
    EXPECT_TRUE(r.complete && r.time == "14/May/07  13:45:00") << r.time;
    EXPECT_EQ(r.pressCounts + " " + r.tempCounts + " " + r.press + " " + r.temp, "812 653 1234.567 25.123");
    // The trend takes the uncut values.
    EXPECT_EQ(std::pair(*r.pressure, *r.temperature), std::pair(1234.56789, 25.123456));

    // The fifth field is the rest of the line; a value that is no number is
    // still shown but gives the trend nothing.
    const Reading odd = device::ParseReadings("2007:05:14:13:45:00,1,2,1.23456,ab.cdef,9", 2);
    EXPECT_TRUE(odd.complete && odd.pressure && !odd.temperature);
    EXPECT_EQ(odd.temp, "ab.cd");

    // Anything but five fields: shown whole in the time display.
    for (const std::string answer : {"NoConnect", "ERROR 2", "", "2007:05:14:13:45:00,812,653,1234.5"}) {
        const Reading bad = device::ParseReadings(answer, 3);
        EXPECT_EQ(bad.time + "|" + bad.pressCounts + bad.tempCounts + bad.press + bad.temp, answer + "|");
        EXPECT_FALSE(bad.complete || bad.pressure || bad.temperature) << answer;
    }
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
};

TEST_F(Readings, SwitchesRefuseWithoutAnAddressElseTimeOutFollowsTheGateTimeAndGoesBackTo1000) {
    dl->SetResponseTimeoutMs(777);
    for (const auto& [address, message] : {std::pair{"", "Please Auto Connect first."},
                                           std::pair{"#00", "Please select an address first."}}) {
        st().CurrentAddress = address;
        op.messages.clear();
        EXPECT_FALSE(device::SwitchPanelPolling(*s, true) || device::SwitchSinglePolling(*s, true));
        EXPECT_EQ(op.messages, (std::vector<std::string>{message, message}));
    }
    EXPECT_TRUE(dl->ResponseTimeoutMs() == 777u && st().PanelPollStopped && st().SinglePollStopped);

    st().CurrentAddress = "#01";
    const std::pair<const char*, std::uint32_t> cases[] = {
        {"0.5", 1000}, {"0.99", 1000}, {"1.0", 1500}, {"2", 3000}, {"1.9999", 2999}, {"1e9", 60000},
        // Not a number when the loop starts: the start value rather than a guess.
        {"NoConnect", 1000}, {"", 1000}, {"1,5", 1000}, {"2s", 1000}, {" 2", 1000}, {"nan", 1000}, {"inf", 1000}};
    for (const auto& [gate, ms] : cases) {
        info().GateTime = gate;
        dl->SetResponseTimeoutMs(42);
        const bool one = gate[0] == '2';  // both loops follow the gate time
        ASSERT_TRUE(one ? device::SwitchSinglePolling(*s, true) : device::SwitchPanelPolling(*s, true));
        EXPECT_EQ(dl->ResponseTimeoutMs(), ms) << gate;
        EXPECT_EQ((one ? st().EZGetReadingsLabel : st().GetReadingsLabel), "Stop ->");
        EXPECT_FALSE(one ? device::SwitchSinglePolling(*s, false) : device::SwitchPanelPolling(*s, false));
        EXPECT_EQ((one ? st().EZGetReadingsLabel : st().GetReadingsLabel), "Get Readings ->");
        EXPECT_EQ(dl->ResponseTimeoutMs(), 1000u);
    }
    EXPECT_TRUE(Sent().empty());
}

TEST_F(Readings, PanelsInOrderAndASilentOneIsDroppedAfterThreeProbes) {
    answering = {"#01", "#02", "#04"};
    st().TransducerCaption[1] = "NoConnect";
    st().TransducerCaption[2] = "#03    D03-4713";
    ASSERT_TRUE(device::SwitchPanelPolling(*s, true));
    // The operator stops in the pause after a reading mid-cycle: nothing more goes out.
    op.onPump = [&] {
        if (std::count_if(port->writes.begin(), port->writes.end(), [](auto& w) { return w.starts_with("#01TM"); }) == 2) {
            EXPECT_FALSE(device::SwitchPanelPolling(*s, false));
        }
    };
    device::PollPanels(*s, Views());
    EXPECT_EQ(Sent(), (std::vector<std::string>{"#01VF", "#01" + R, "#03VF", "#03VF", "#03VF", "#04VF", "#04" + R,
                                                "#01VF", "#01" + R}));
    EXPECT_EQ(st().TransducerCaption[2], "NoConnect");
    EXPECT_EQ(views[2].captions, std::vector<std::string>{"NoConnect"});
    EXPECT_TRUE(views[2].clears == 1 && views[2].shown.empty() && views[1].shown.empty() && views[1].captions.empty());
    ASSERT_EQ(std::pair(views[0].shown.size(), views[3].shown.size()), (std::pair<std::size_t, std::size_t>(2, 1)));
    EXPECT_EQ(views[0].shown[0].press, "1234.567");
    EXPECT_EQ(st().CommandText + st().ReplyText, "#01VF\r\nFP010422");
    EXPECT_TRUE(op.messages.empty());
}

TEST_F(Readings, SingleLoopTakesANewPrecisionAtTheNextReadingAndWaitsOnAClosedPort) {
    ASSERT_TRUE(device::SwitchSinglePolling(*s, true));
    op.onPump = [&] {
        if (single.shown.size() == 1) st().DataPrecision = 1;
        if (single.shown.size() == 2) st().SinglePollStopped = true;
    };
    RecordingPublisher published;
    device::PollSingle(*s, single, &published);
    ASSERT_EQ(single.shown.size(), 2u);
    EXPECT_EQ(single.shown[0].press + " " + single.shown[1].temp, "1234.567 25.1");
    // Published uncut, the box's time as the capture files write it.
    EXPECT_EQ(published.boxes, std::vector<std::string>{"#01 " + st().Info.SerialNumber});
    EXPECT_EQ(published.rows, std::vector<std::string>(2, "#01 2007/05/14, 13:45:00 1234.56789 25.123456 812 653"));
    EXPECT_EQ(Sent(), std::vector<std::string>(2, "#01" + R)) << "no probe in the single-device loop";
    EXPECT_TRUE(op.waits.empty());

    // On a closed port it waits between attempts instead of spinning.
    dl->ClosePort();
    op.pumps = 0;
    ASSERT_TRUE(device::SwitchSinglePolling(*s, true));
    op.onPump = [&] { st().SinglePollStopped = op.pumps == 3; };
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
        } else if (n == 9) { EXPECT_FALSE(device::SwitchPanelPolling(*s, false)); }
    };
    device::PollPanels(*s, Views());
    EXPECT_EQ(Sent(), (std::vector<std::string>{"#01VF", "#01" + R, "#02" + R, "#02" + R, "#02" + R, "#02VF",
                                                "#02" + R, "#01VF", "#01" + R}));
    EXPECT_EQ(single.shown.size(), 3u);
    EXPECT_TRUE(st().PanelPollStopped && st().SinglePollStopped);
}

TEST(TrendBuffer, SlidesThinsStartsAfreshAndRefusesNonNumbers) {
    device::TrendBuffer trend(10.0, 100);  // at most a point every 0.1 s
    for (int i = 0; i <= 2000; ++i) trend.Add(i * 0.01, 100.0 + i, 20.0);  // 100 readings a second
    EXPECT_DOUBLE_EQ(trend.Points().back().pressure, 2100.0);
    EXPECT_TRUE(trend.Points().front().t >= 10.0 - 1e-9 && trend.Points().size() <= 101u);
    device::TrendBuffer slow(10.0, 100);  // nothing is skipped at or above the step
    for (int i = 0; i < 5; ++i) EXPECT_TRUE(slow.Add(i * 0.5, 1, 2));

    // The clock set back starts afresh; non-numbers are refused; a flat line has room around it.
    trend = device::TrendBuffer(60.0, 60);
    trend.Add(100, 1, 2);
    EXPECT_TRUE(trend.Add(50, 3, 4));
    EXPECT_FALSE(trend.Add(70, std::nan(""), 4) || trend.Add(70, 1, HUGE_VAL));
    ASSERT_EQ(trend.Points().size(), 1u);
    EXPECT_TRUE(trend.PressureRange().lo < 3 && trend.PressureRange().hi > 3);
}

}  // namespace
