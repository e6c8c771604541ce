#include "log/LogFlows.h"
#include "testkit/DeviceFixture.h"
#include "testkit/ScriptLogView.h"

#include <gtest/gtest.h>

using namespace tessary;
using Strings = std::vector<std::string>;

namespace {

TEST(LogTexts, InitialiseCommandFollowsItemOrder) {
    const std::pair<std::array<bool, 4>, std::string> rows[] = {
        {{true, false, false, true}, "#01LI=TM,D1,D4"},
        {{false, true, true, false}, "#01LI=TM,D2,D3"},
        {{true, true, true, true}, "#01LI=TM,D1,D2,D3,D4"},
        {{false, false, false, false}, ""},
    };
    for (const auto& [chosen, bytes] : rows) EXPECT_EQ(log::InitLogCommand("#01", chosen), bytes);
}

// Pre-fill from the rate label, then OK unchanged: the fields and the bytes.
TEST(LogTexts, RatePrefillAndCommand) {
    struct Row {
        std::string label, rate;
        int condition, item;
        std::string step, bytes;
    };
    const Row rows[] = {
        {"Not Initalized", "1", 2, -1, "", "#01LR=1"},
        {"Not Initialized", "1", 2, -1, "", "#01LR=1"},
        {"60", "60", 2, -1, "", "#01LR=60"},
        {"120", "120", 2, -1, "", "#01LR=120"},
        {"10 OR D1 = 5", "10", 1, 0, "5", "#01LR=10ORD1=5"},
        {"30 AND D3 = 100", "30", 0, 2, "100", "#01LR=30ANDD3=100"},
        {"10 OR D7 = 5", "10", 1, -1, "5", "#01LR=10ORD7=5"},
        // Unparseable labels open as a log without items.
        {"10 OR Dx = 5", "1", 2, -1, "", "#01LR=1"},
        {"NoConnect", "1", 2, -1, "", "#01LR=1"},
        {"ERROR 2", "1", 2, -1, "", "#01LR=1"},
        {"#00", "1", 2, -1, "", "#01LR=1"},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.label);
        log::LogRateForm f;
        f.Prefill(r.label);
        EXPECT_EQ(f.EditLogRate + "|" + std::to_string(f.ConditionIndex) + "|" + std::to_string(f.BasedOn) + "|" +
                      f.EditDataStep,
                  r.rate + "|" + std::to_string(r.condition) + "|" + std::to_string(r.item) + "|" + r.step);
        EXPECT_EQ(f.BasedOnEnabled, r.condition != 2);
        ASSERT_TRUE(f.Ok());
        EXPECT_EQ(f.Command("#01"), r.bytes);
    }
}

TEST(LogTexts, RateHandlersPutTheBlanksBack) {
    log::LogRateForm f;
    f.PressUnit = "psi";
    f.TempUnit = "C";
    f.Prefill("10 OR D2 = 5");
    f.Show();
    EXPECT_EQ(f.StepUnit, "C");
    f.SelectCondition(log::LogRateForm::Neither);
    EXPECT_FALSE(f.DataStepEnabled);
    f.SelectCondition(log::LogRateForm::Or);
    EXPECT_TRUE(f.StepUnitVisible && f.StepUnit == "psi");
    f.ClickBasedOn(0);
    ASSERT_TRUE(f.Ok());
    EXPECT_EQ(f.Command("#01"), "#01LR=10 OR D1=5");
    f.ClickBasedOn(3);
    EXPECT_FALSE(f.StepUnitVisible);
    f.SelectCondition(log::LogRateForm::Neither);
    ASSERT_TRUE(f.Ok());
    EXPECT_EQ(f.Command("#01"), "#01LR=10");

    // AND with an empty step: "1" there, and sent.
    log::LogRateForm g;
    g.EditLogRate = "5";
    g.SelectCondition(log::LogRateForm::And);
    EXPECT_EQ(g.EditDataStep, "1");
    g.EditDataStep.clear();
    ASSERT_TRUE(g.Ok());
    EXPECT_EQ(g.Command("#01"), "#01LR=5 AND D1=1");
}

TEST(LogTexts, RateMustBeAWholeNumber) {
    const std::pair<std::string, std::string> rows[] = {
        {" 12", "12"}, {"+7", "7"}, {"-3", "-3"}, {"0", "0"}, {"2147483647", "2147483647"},
        {"12s", ""},   {"1.5", ""}, {"", ""},     {" ", ""},  {"2147483648", ""}, {"1 2", ""}};
    for (const auto& [typed, sent] : rows) {
        log::LogRateForm f;
        f.EditLogRate = typed;
        EXPECT_EQ(f.Ok(), !sent.empty()) << typed;
        EXPECT_EQ(sent.empty() ? f.EditLogRate : f.RateText, sent) << typed;
    }
}

TEST(LogTexts, StartStopArgumentsAndAnswers) {
    EXPECT_EQ(log::LogTimeArgument(false, true, "x", "y"), "START");
    EXPECT_EQ(log::LogTimeArgument(true, true, "x", "y"), "STOP");
    EXPECT_EQ(log::LogTimeArgument(false, false, "2007:05:14:13:45:00", "START"), "2007:05:14:13:45:00");
    EXPECT_EQ(log::LogTimeArgument(true, false, "2007:05:15:08:00:00", "START"), "START,2007:05:15:08:00:00");

    const std::string t1 = "2007:05:14:13:45:00", t2 = "2007:05:15:08:00:00";
    const std::string f1 = "14/May/07  13:45:00", f2 = "15/May/07  08:00:00";
    struct Row {
        std::string answer;
        bool stop;
        std::string start, stopLabel, startText;  // "-": left alone
    };
    const Row rows[] = {
        {t1 + "," + t2, false, f1, f2, t1},
        {t1 + "," + t2, true, f1, f2, t1},
        {t1, false, f1, "-", t1},
        {t1, true, f1, "Not Initalized", "-"},
        {"2007:05:14:13:45:14", true, "14/May/07  13:45:14", "Not Initalized", "-"},  // 19 beats "14"
        {"ERROR 14", false, "Log is full", "Log is full", "-"},
        {"X14", true, "Log is full", "Log is full", "-"},
        {"ERROR 13", true, "Not Initalized", "Not Initalized", "-"},
        {"NoConnect", false, "NoConnect", "-", "-"},
        {"NoConnect", true, "-", "NoConnect", "-"},
        {"1", true, "-", "1", "-"},
    };
    for (const auto& r : rows) {
        const auto a = log::ReadLogTimeAnswer(r.answer, r.stop);
        EXPECT_EQ(a.start.value_or("-") + "|" + a.stop.value_or("-") + "|" + a.logStartText.value_or("-"),
                  r.start + "|" + r.stopLabel + "|" + r.startText)
            << r.answer << (r.stop ? " stop" : " start");
    }
}

TEST(LogTexts, RangeCorrections) {
    struct Row {
        std::string start, end;
        long long count;
        std::string fixed;  // "start,end" or the error
    };
    const Row rows[] = {
        {"5", "20", 25, "5,20"},
        {"30", "20", 25, "20,20"},
        {"1", "40", 25, "1,25"},
        {"-3", "-10", 25, "3,10"},
        {"7", "0", 25, "0,0"},  // end below 1: start 1, then start above end
        {"1", "0", 0, "0,0"},
        {" 4", "+9", 25, "4,9"},
        {"x", "9", 25, "'x' is not a valid integer value."},
        {"1", "", 25, "'' is not a valid integer value."},
    };
    for (const auto& r : rows) {
        const auto d = log::CorrectDumpRange(r.start, r.end, r.count);
        EXPECT_EQ(d.error.empty() ? d.start + "," + d.end : d.error, r.fixed) << r.start << " " << r.end;
    }
}

struct LogFlowTest : testkit::DeviceFixture {
    testkit::ScriptLogView view;
    std::unique_ptr<log::LogFlows> flows;
    void SetUp() override {
        DeviceFixture::SetUp();
        flows = std::make_unique<log::LogFlows>(*s, view);
    }
};

TEST_F(LogFlowTest, InitialiseSendsTheChoiceAndKeepsIt) {
    box["LI=TM,D1,D4"] = "TM,D1,D4";
    info().LogStart = info().LogStop = "x";
    info().LogRate = "60";
    view.clicks = {3, 0};
    flows->InitLog();
    EXPECT_EQ(Sent(), Strings{"#01LI=TM,D1,D4"});
    EXPECT_EQ(info().InitLog + "|" + info().LogStart + info().LogStop + "|" + info().LogRate, "TM,D1,D4||60");

    view.clicks = {3};  // kept from before; clicking again takes it out
    box["LI=TM,D1"] = "TM,D1";
    flows->InitLog();
    view.clicks = {0};  // nothing chosen: nothing sent, nothing told
    flows->InitLog();
    view.itemsOk = false;
    flows->InitLog();
    EXPECT_EQ(Sent(), Strings{"#01LI=TM,D1"});
    EXPECT_TRUE(op.messages.empty());

    st().CurrentAddress.clear();
    flows->InitLog();
    EXPECT_EQ(op.messages, Strings{"Please Auto Connect first."});
}

TEST_F(LogFlowTest, LateInitialiseAnswerIsWaitedForThenGivenUp) {
    view.clicks = {1};
    port->onWrite = [this](const std::string&) { port->Arrive("TM,D2\r\n", std::chrono::milliseconds(4500)); };
    flows->InitLog();
    EXPECT_EQ(info().InitLog, "TM,D2");
    EXPECT_EQ(view.log, Strings({"message on", "message off"}));
    EXPECT_EQ(op.busyDepth, 0);

    port->onWrite = nullptr;
    info().InitLog = "TM,D2";
    const auto before = port->now();
    flows->InitLog();
    EXPECT_EQ(port->now() - before, std::chrono::seconds(61));  // the exchange and 60 s of reads
    EXPECT_EQ(info().InitLog, "TM,D2");
    ASSERT_EQ(op.messages.size(), 1u);
    EXPECT_NE(op.messages[0].find("within 60 seconds"), std::string::npos);
}

TEST_F(LogFlowTest, RateAnswersAndRefusals) {
    box["LR=1"] = "ERROR 4";
    info().LogRate = "Not Initalized";
    flows->SetLogRate();
    EXPECT_EQ(info().LogRate, "Not Initalized");

    view.rateEdit = [](log::LogRateForm& f) { f.EditLogRate = "12s"; };
    flows->SetLogRate();
    EXPECT_EQ(op.messages, Strings{"Not a valid value for Rate!"});

    view.rateEdit = [](log::LogRateForm& f) { f.SelectCondition(log::LogRateForm::Or); };
    info().LogRate = "10";
    flows->SetLogRate();  // no answer: shown as it is
    EXPECT_EQ(Sent(), Strings({"#01LR=1", "#01LR=10 OR D1=1"}));
    EXPECT_EQ(info().LogRate, "NoConnect");
}

TEST_F(LogFlowTest, StartAndStop) {
    const std::string t1 = "2007:05:14:13:45:00", t2 = "2007:05:15:08:00:00";
    box["LS=START"] = t1;
    box["LS=2007:05:14:13:45:00,2007:05:15:08:00:00"] = t1 + "," + t2;
    info().LogStop = "old";
    flows->StartLog();
    EXPECT_EQ(info().LogStart + "|" + info().LogStop + "|" + st().LogStartText, "14/May/07  13:45:00||" + t1);
    view.time = log::LogTimeChoice{false, {2007, 5, 15, 8, 0, 0}};
    flows->StopLog();
    EXPECT_EQ(info().LogStop, "15/May/07  08:00:00");
    view.time.reset();
    flows->StopLog();
    EXPECT_EQ(view.log, Strings({"time start", "time stop", "time stop"}));
    EXPECT_EQ(Sent(), Strings({"#01LS=START", "#01LS=" + t1 + "," + t2}));
}

TEST_F(LogFlowTest, DumpRefusesWithoutABoxOrALogAndReportsAFileItCannotOpen) {
    st().CurrentAddress = "#00";
    flows->OpenLogDump();
    st().CurrentAddress = "#01";
    box["LL"] = "ERROR 13";
    view.saves = {{"", false, false, "1", "5"}};
    flows->OpenLogDump();  // end "0": Save does nothing
    box["LL"] = "12x";
    flows->OpenLogDump();
    EXPECT_EQ(op.messages, Strings({"Please select an address first.", "'12x' is not a valid integer value."}));
    EXPECT_EQ(view.log, Strings({"dump 0", "range 0,0"}));

    box["LL"] = "9";
    view.log.clear();
    op.messages.clear();
    view.saves = {{"", false, true, "1", "9"}};
    view.file = "/nonexistent/dir/log.txt";
    flows->OpenLogDump();
    EXPECT_EQ(Sent(), Strings({"#01LL", "#01LL", "#01LL"}));
    EXPECT_EQ(op.messages,
              Strings{"The log could not be saved to /nonexistent/dir/log.txt: No such file or directory"});
}

}  // namespace
