// The readings loops on a simulated line: what the boxes hear, in which order,
// under which time-out, and what the panels show.

#include "app/Connect.h"
#include "device/Readings.h"
#include "link/PosixPort.h"
#include "sim/Line.h"
#include "testkit/RecordingOperator.h"

#include <gtest/gtest.h>

#include <regex>

using namespace tessary;
using Strings = std::vector<std::string>;

namespace {

struct View final : device::ReadingsView {
    std::vector<device::Reading> shown;
    Strings captions;
    int clears = 0;
    void ShowReading(const device::Reading& r) override { shown.push_back(r); }
    void ClearReadings() override { ++clears; }
    void ShowCaption(const std::string& c) override { captions.push_back(c); }
};

struct ReadingsOnSim : ::testing::Test {
    bravik::sim::Line line{Config()};
    link::PortMap ports;
    std::unique_ptr<link::DeviceLink> dl;
    testkit::RecordingOperator op;
    std::unique_ptr<app::Session> s;
    std::array<View, 5> views;

    static bravik::sim::LineConfig Config() {
        bravik::sim::LineConfig cfg;
        cfg.name = "COM1";
        for (int a : {1, 2, 3, 4}) {
            bravik::sim::BoxConfig b;
            b.address = a;
            b.baud = 115200;
            b.gate = "0.01";
            cfg.boxes.push_back(b);
        }
        return cfg;
    }
    void SetUp() override {
        line.start();
        ports.SetFromCommandLine("COM1", line.slavePath());
        dl = std::make_unique<link::DeviceLink>(std::make_unique<link::PosixPort>(),
                                                [this](const std::string& n) { return ports.Resolve(n); });
        s = std::make_unique<app::Session>(*dl, ports, op, app::Options{});
        s->FormCreate();
        dl->SetLinkPortName("COM1");
        dl->SetLinkBaudRate(115200);
        ASSERT_TRUE(dl->OpenComPort());
        for (int a : {1, 2, 3, 4}) st().AddressTable[a] = "box" + std::to_string(a);
        app::AssignTransducerSlots(st());
        st().CurrentAddress = "#01";
        st().Info.GateTime = "0.01";
    }
    void TearDown() override {
        dl->ClosePort();
        line.stop();
    }
    app::AppState& st() { return s->State(); }
    std::array<device::ReadingsView*, 4> Panels() { return {&views[0], &views[1], &views[2], &views[3]}; }
    Strings Heard() {
        Strings out;
        for (const auto& t : line.traffic())
            if (t.dir == bravik::sim::Traffic::Dir::FromPc) out.push_back(t.text);
        line.clearTraffic();
        return out;
    }
    std::size_t Count(const std::string& what) {
        std::size_t n = 0;
        for (const auto& t : line.traffic())
            if (t.dir == bravik::sim::Traffic::Dir::FromPc && t.text == what) ++n;
        return n;
    }
};

const std::regex kTime(R"(\d\d/[A-Z][a-z][a-z]/\d\d  \d\d:\d\d:\d\d)");

TEST_F(ReadingsOnSim, FourPanelsInTurnAndABoxThatFallsSilentIsDroppedAfterThreeProbes) {
    ASSERT_TRUE(device::SwitchPanelPolling(*s, true));
    int cycle = 1;
    op.onPump = [&] {
        const auto done = Count("#04TM;D3;D4;D1;D2");
        if (cycle == 1 && done == 1) {
            bravik::sim::Faults silent;
            silent.silent = true;
            line.setFaults(3, silent);
            cycle = 2;
        } else if (cycle == 2 && done == 3) {
            device::SwitchPanelPolling(*s, false);
            cycle = 3;
        }
    };
    device::PollPanels(*s, Panels());
    const std::string R = "TM;D3;D4;D1;D2";
    EXPECT_EQ(Heard(), (Strings{"#01VF", "#01" + R, "#02VF", "#02" + R, "#03VF", "#03" + R, "#04VF", "#04" + R,
                                "#01VF", "#01" + R, "#02VF", "#02" + R, "#03VF", "#03VF", "#03VF", "#04VF", "#04" + R,
                                "#01VF", "#01" + R, "#02VF", "#02" + R, "#04VF", "#04" + R}));
    EXPECT_EQ(st().TransducerCaption[2], "NoConnect");
    EXPECT_EQ(views[2].captions, Strings{"NoConnect"});
    EXPECT_EQ(views[2].clears, 1);
    EXPECT_EQ(views[2].shown.size(), 1u);
    EXPECT_EQ(st().TransducerCaption[3], "#04    box4");
    for (int k : {0, 1, 3}) {
        ASSERT_EQ(views[k].shown.size(), 3u);
        for (const auto& r : views[k].shown) {
            EXPECT_TRUE(r.complete);
            EXPECT_TRUE(std::regex_match(r.time, kTime)) << r.time;
            EXPECT_TRUE(std::regex_match(r.press, std::regex(R"(-?\d+\.\d{3})"))) << r.press;
            EXPECT_TRUE(std::regex_match(r.temp, std::regex(R"(-?\d+\.\d{3})"))) << r.temp;
            EXPECT_TRUE(std::regex_match(r.pressCounts, std::regex(R"(\d+)"))) << r.pressCounts;
        }
    }
    EXPECT_EQ(dl->ResponseTimeoutMs(), 1000u);
}

TEST_F(ReadingsOnSim, SingleLoopUsesTheGateTimeForItsTimeOutDriftsAndTakesANewPrecision) {
    ASSERT_EQ(dl->SendCommand("#01GA=1.2\r\n"), "1.2");
    st().Info.GateTime = "1.2";
    Heard();
    ASSERT_TRUE(device::SwitchSinglePolling(*s, true));
    EXPECT_EQ(dl->ResponseTimeoutMs(), 1800u);
    std::vector<std::uint32_t> timeouts;
    op.onPump = [&] {
        timeouts.push_back(dl->ResponseTimeoutMs());
        if (views[4].shown.size() == 1) st().DataPrecision = 0;
        if (views[4].shown.size() == 3) device::SwitchSinglePolling(*s, false);
    };
    device::PollSingle(*s, views[4]);
    EXPECT_EQ(Heard(), Strings(3, "#01TM;D3;D4;D1;D2"));
    EXPECT_EQ(timeouts, (std::vector<std::uint32_t>{1800, 1800, 1800}));
    EXPECT_EQ(dl->ResponseTimeoutMs(), 1000u);
    const auto& shown = views[4].shown;
    ASSERT_EQ(shown.size(), 3u);
    // A gate time of 1.2 s is inside a time-out of 1.8 s: every reading came.
    for (const auto& r : shown) EXPECT_TRUE(r.complete) << r.time;
    EXPECT_TRUE(std::regex_match(shown[0].press, std::regex(R"(-?\d+\.\d{3})"))) << shown[0].press;
    EXPECT_TRUE(std::regex_match(shown[1].press, std::regex(R"(-?\d+\.)"))) << shown[1].press;
    EXPECT_TRUE(std::regex_match(shown[2].temp, std::regex(R"(-?\d+\.)"))) << shown[2].temp;
    // The values drift from one reading to the next.
    EXPECT_NE(*shown[0].pressure, *shown[2].pressure);
    EXPECT_NE(shown[0].pressCounts + shown[0].tempCounts, shown[2].pressCounts + shown[2].tempCounts);
}

}  // namespace
