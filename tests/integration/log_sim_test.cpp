// The log flows against a simulated box: wire bytes, labels and the dump file.

#include "log/LogFlows.h"
#include "device/DeviceInfo.h"
#include "device/DeviceTime.h"
#include "link/PosixPort.h"
#include "sim/Line.h"
#include "testkit/RecordingOperator.h"
#include "testkit/ScriptLogView.h"
#include "testkit/SessionRig.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <ctime>
#include <sstream>

using namespace tessary;
using Strings = std::vector<std::string>;

namespace {

struct LogOnSim : ::testing::Test {
    bravik::sim::Line line{Config()};
    link::PortMap ports;
    std::unique_ptr<link::DeviceLink> dl;
    testkit::RecordingOperator op;
    testkit::ScriptLogView view;
    std::unique_ptr<app::Session> s;
    std::unique_ptr<log::LogFlows> flows;
    std::string file = ::testing::TempDir() + "tessary_log_sim_" + std::to_string(::getpid()) + ".txt";

    static bravik::sim::LineConfig Config() {
        bravik::sim::LineConfig cfg;
        bravik::sim::BoxConfig box;
        box.baud = 115200;
        box.eraseMs = 0;
        cfg.boxes = {box};
        return cfg;
    }
    void SetUp() override {
        std::remove(file.c_str());
        line.start();
        ports.SetFromCommandLine("COM1", line.slavePath());
        dl = std::make_unique<link::DeviceLink>(std::make_unique<link::PosixPort>(),
                                                [this](const std::string& n) { return ports.Resolve(n); });
        s = std::make_unique<app::Session>(*dl, ports, op, app::Options{});
        s->FormCreate();
        dl->SetLinkPortName("COM1");
        dl->SetLinkBaudRate(115200);
        ASSERT_TRUE(dl->OpenComPort());
        s->State().CurrentAddress = "#01";
        flows = std::make_unique<log::LogFlows>(*s, view);
    }
    void TearDown() override {
        dl->ClosePort();
        line.stop();
        std::remove(file.c_str());
    }
    app::AppState::DeviceInfo& info() { return s->State().Info; }
    Strings Heard() {
        Strings out;
        for (const auto& t : line.traffic())
            if (t.dir == bravik::sim::Traffic::Dir::FromPc) out.push_back(t.text);
        line.clearTraffic();
        return out;
    }
    const std::time_t base = std::time(nullptr);  // one "now" for all the test's times
    app::DateTimeFields LocalTime(int secondsFromNow) const {
        const std::time_t t = base + secondsFromNow;
        std::tm tm{};
        localtime_r(&t, &tm);
        return {tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec};
    }
    Strings FileLines() {
        std::stringstream in(testkit::ReadFile(file));
        Strings out;
        for (std::string l; std::getline(in, l);) {
            EXPECT_EQ(l.back(), '\r');
            out.push_back(l.substr(0, l.size() - 1));
        }
        return out;
    }
    void Dump(log::LogDumpFields fields) {
        view.saves = {fields};
        view.file = file;
        flows->OpenLogDump();
    }
};

TEST_F(LogOnSim, FromInitialiseToTwoDumpsInOneFile) {
    view.clicks = {2, 0};
    flows->InitLog();
    view.rateEdit = [](log::LogRateForm& f) {
        f.EditLogRate = "1";
        f.SelectCondition(log::LogRateForm::Or);
        f.EditDataStep = "5";
    };
    flows->SetLogRate();
    flows->StartLog();
    EXPECT_EQ(Heard(), Strings({"#01LI=TM,D1,D3", "#01LR=1 OR D1=5", "#01LS=START"}));
    EXPECT_EQ(info().InitLog + "|" + info().LogRate, "TM,D1,D3|1 OR D1 = 5");
    EXPECT_EQ(info().LogStart, device::FormatDeviceTime(s->State().LogStartText));
    EXPECT_EQ(info().LogStop, "");

    // A fresh log started 30 s ago: sets at once. The stop comes after the
    // box has logged up to now, so it holds 31 or 32 of them.
    flows->InitLog();
    const std::string from = device::DeviceTimeText(LocalTime(-30)), to = device::DeviceTimeText(LocalTime(-10));
    view.time = log::LogTimeChoice{false, LocalTime(-30)};
    flows->StartLog();
    view.time = log::LogTimeChoice{false, LocalTime(-10)};
    flows->StopLog();
    EXPECT_EQ(Heard(), Strings({"#01LI=TM,D1,D3", "#01LS=" + from, "#01LS=" + from + "," + to}));
    const std::string count = device::QueryBox(*s, "LL");
    line.clearTraffic();
    EXPECT_EQ(info().LogStart + "|" + info().LogStop,
              device::FormatDeviceTime(from) + "|" + device::FormatDeviceTime(to));

    Dump({"first run", false, false, "5", "20"});
    Dump({"", true, false, "6", "5"});  // end below start: one set, span 0
    Dump({"", true, false, "5", "6"});  // span 1
    Dump({"", true, true, "1", count});
    EXPECT_EQ(Heard(), Strings({"#01LL", "#01TM", "#01LD5,20", "#01LL", "#01TS", "#01LD5,5", "#01LL", "#01TS",
                                "#01LD5,6", "#01LL", "#01TS", "#01LD"}));
    EXPECT_EQ(op.messages, Strings(4, "Log written to File: " + file));
    const Strings lines = FileLines();
    ASSERT_EQ(lines.size(), 1u + 17 + 2 + 3 + std::stoul(count) + 1);
    EXPECT_EQ(lines[0], "first run");
    EXPECT_EQ(lines[1].substr(0, 19), device::DeviceTimeText(LocalTime(-26)));
    EXPECT_EQ(std::count(lines[1].begin(), lines[1].end(), ','), 2);
    EXPECT_EQ((Strings{lines[17], lines[18].substr(0, 2), lines[19], lines[20].substr(0, 2), lines[22],
                       lines[23].substr(0, 2), lines.back()}),
              (Strings{"}", "4,", "}", "4,", "}", "0,", "}"}));
}

TEST_F(LogOnSim, LostCommunicationAndCancelLeaveTheLineClean) {
    view.clicks = {0};
    flows->InitLog();
    view.time = log::LogTimeChoice{false, LocalTime(-20)};
    flows->StartLog();
    view.time = log::LogTimeChoice{false, LocalTime(-1)};
    flows->StopLog();
    const std::string count = device::QueryBox(*s, "LL");

    bravik::sim::Faults stop;
    stop.stopAfter = 4;
    line.setFaults(1, stop);
    Dump({"", false, true, "1", count});
    EXPECT_EQ(op.messages, Strings({"Sorry, the communication was lost while dumping the log.",
                                    "Log written to File: " + file}));
    Strings lines = FileLines();
    ASSERT_EQ(lines.size(), 5u);
    EXPECT_EQ(lines.back(), "NoConnect");

    line.setFaults(1, {});
    op.messages.clear();
    view.cancelAt = 3;
    Dump({"", false, true, "1", count});
    EXPECT_EQ(op.messages, Strings{"Dump cancelled. 3 lines were written to File: " + file});
    EXPECT_EQ(FileLines().size(), 5u + 3);
    EXPECT_EQ(device::QueryBox(*s, "LL"), count);  // the stream was drained
}

}  // namespace
