// The log flows against a simulated box: wire bytes, labels and the dump file.

#include "SimSession.h"
#include "device/DeviceInfo.h"
#include "device/DeviceTime.h"
#include "log/LogFlows.h"
#include "testkit/ScriptLogView.h"
#include "testkit/SessionRig.h"

#include <gtest/gtest.h>

#include <ctime>
#include <sstream>

using namespace tessary;
using test::Strings;

namespace {

struct LogOnSim : ::testing::Test, test::SimSession {
    testkit::ScriptLogView view;
    log::LogFlows flows{s, view};
    std::string file = ::testing::TempDir() + "tessary_log_sim_" + std::to_string(::getpid()) + ".txt";
    const std::time_t base = std::time(nullptr);  // one "now" for all the test's times

    static bravik::sim::LineConfig Config() {
        bravik::sim::BoxConfig box;
        box.baud = 115200;
        box.eraseMs = 0;
        bravik::sim::LineConfig cfg;
        cfg.boxes = {box};
        return cfg;
    }
    LogOnSim() : SimSession(Config(), 115200) {}
    void SetUp() override {
        std::remove(file.c_str());
        ASSERT_TRUE(opened);
        st().CurrentAddress = "#01";
    }
    void TearDown() override { std::remove(file.c_str()); }
    Strings Heard() { return test::Heard(line); }
    // The box's time `offset` seconds from the test's start, as picked in LogTimeDlg.
    log::LogTimeChoice At(int offset) const {
        const std::time_t t = base + offset;
        std::tm tm{};
        localtime_r(&t, &tm);
        return {false, {tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec}};
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
        flows.OpenLogDump();
    }
};

TEST_F(LogOnSim, FromInitialiseToTwoDumpsInOneFile) {
    view.clicks = {2, 0};
    flows.InitLog();
    flows.StartLog();
    EXPECT_EQ(Heard(), Strings({"#01LI=TM,D1,D3", "#01LS=START"}));
    EXPECT_EQ(st().Info.LogStart, device::FormatDeviceTime(st().LogStartText));

    // A fresh log started 30 s ago has its sets at once.
    flows.InitLog();
    const std::string from = device::DeviceTimeText(At(-30).at), to = device::DeviceTimeText(At(-10).at);
    view.time = At(-30);
    flows.StartLog();
    view.time = At(-10);
    flows.StopLog();
    EXPECT_EQ(Heard(), Strings({"#01LI=TM,D1,D3", "#01LS=" + from, "#01LS=" + from + "," + to}));
    EXPECT_EQ(st().Info.LogStop, device::FormatDeviceTime(to));
    const std::string count = device::QueryBox(s, "LL");
    line.clearTraffic();

    Dump({"first run", false, false, "5", "20"});
    Dump({"", true, true, "1", count});
    EXPECT_EQ(Heard(), Strings({"#01LL", "#01TM", "#01LD5,20", "#01LL", "#01TS", "#01LD"}));
    EXPECT_EQ(op.messages, Strings(2, "Log written to File: " + file));
    const Strings lines = FileLines();
    ASSERT_EQ(lines.size(), 1u + 17 + std::stoul(count) + 1);
    EXPECT_EQ(lines[0], "first run");
    EXPECT_EQ(lines[1].substr(0, 19), device::DeviceTimeText(At(-26).at));
    EXPECT_EQ((Strings{lines[17], lines[18].substr(0, 2), lines.back()}), (Strings{"}", "0,", "}"}));
}

TEST_F(LogOnSim, RefusalsLostCommunicationAndCancel) {
    view.rateEdit = [](log::LogRateForm& f) { f.EditLogRate = "12s"; };
    flows.SetLogRate();
    view.clicks = {0};
    flows.InitLog();
    view.time = At(-20);
    flows.StartLog();
    view.time = At(-1);
    flows.StopLog();
    const std::string count = device::QueryBox(s, "LL");
    view.saves = {{"", false, true, "1", count}};
    view.file = "/nonexistent/dir/log.txt";  // nothing asked of the box
    flows.OpenLogDump();
    EXPECT_EQ(op.messages, Strings({"Not a valid value for Rate!", "The log could not be saved to " + *view.file +
                                                                       ": No such file or directory"}));
    EXPECT_EQ(Heard().back(), "#01LL");
    op.messages.clear();
    view.cancelAt = 3;
    Dump({"", false, true, "1", count});
    EXPECT_EQ(op.messages, Strings{"Dump cancelled. 3 lines were written to File: " + file});
    EXPECT_EQ(FileLines().size(), 3u);
    EXPECT_EQ(device::QueryBox(s, "LL"), count);  // the stream was drained
}

TEST(LogDrain, TheDrainAfterACancelIsBoundedByTime) {
    bravik::sim::LineConfig config;
    config.boxes.resize(1);
    config.boxes[0].logSets = 300;  // about ten seconds of stream at 9600
    test::SimSession sim(config);
    testkit::ScriptLogView view;
    log::LogFlows flows(sim.s, view);
    flows.DrainLimitMs = 300;
    sim.st().CurrentAddress = "#01";
    view.saves = {{"", false, true, "1", "300"}};
    view.file = ::testing::TempDir() + "tessary_drain_" + std::to_string(::getpid()) + ".txt";
    view.cancelAt = 3;
    const auto began = std::chrono::steady_clock::now();
    const app::Outcome outcome = flows.OpenLogDump();
    EXPECT_LT(std::chrono::steady_clock::now() - began, std::chrono::seconds(3));
    EXPECT_EQ(outcome.ending, app::Ending::Cancelled);
    EXPECT_NE(outcome.text.find("The rest of the box's stream was left unread"), std::string::npos) << outcome.text;
    std::remove(view.file->c_str());
}

}  // namespace
