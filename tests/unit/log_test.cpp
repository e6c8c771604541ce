#include "log/LogFlows.h"
#include "testkit/DeviceFixture.h"
#include "testkit/ScriptLogView.h"

#include <gtest/gtest.h>

using namespace tessary;
using Strings = std::vector<std::string>;
using Form = log::LogRateForm;

namespace {

TEST(LogTexts, InitialiseCommandFollowsItemOrder) {
    EXPECT_EQ(log::InitLogCommand("#01", {false, true, true, true}), "#01LI=TM,D2,D3,D4");
    EXPECT_EQ(log::InitLogCommand("#01", {false, false, false, false}), "");
}

// Pre-fill from the rate label, then OK unchanged: the fields and the bytes.
TEST(LogTexts, RatePrefillAndCommand) {
    const std::pair<std::string, std::string> rows[] = {
        {"Not Initalized", "1|2|-1||#01LR=1"},      {"Not Initialized", "1|2|-1||#01LR=1"},
        {"60", "60|2|-1||#01LR=60"},                {"120", "120|2|-1||#01LR=120"},
        {"10 OR D1 = 5", "10|1|0|5|#01LR=10ORD1=5"}, {"30 AND D3 = 100", "30|0|2|100|#01LR=30ANDD3=100"},
        {"10 OR D7 = 5", "10|1|-1|5|#01LR=10ORD7=5"},
        // Labels it cannot read open as a log without items.
        {"10 OR Dx = 5", "1|2|-1||#01LR=1"}, {"NoConnect", "1|2|-1||#01LR=1"}, {"ERROR 2", "1|2|-1||#01LR=1"},
    };
    for (const auto& [label, expected] : rows) {
        Form f;
        f.Prefill(label);
        const std::string fields = f.EditLogRate + "|" + std::to_string(f.ConditionIndex) + "|" +
                                   std::to_string(f.BasedOn) + "|" + f.EditDataStep + "|";
        EXPECT_TRUE(f.Ok());
        EXPECT_EQ(fields + f.Command("#01"), expected) << label;
        EXPECT_EQ(f.BasedOnEnabled && f.DataStepEnabled, f.ConditionIndex != Form::Neither) << label;
    }
}

TEST(LogTexts, RateHandlersPutTheBlanksBack) {
    Form f;
    f.PressUnit = "psi";
    f.TempUnit = "C";
    f.Prefill("10 OR D2 = 5");
    f.UpdateStepUnit();
    EXPECT_EQ(f.StepUnit, "C");
    f.SelectCondition(Form::Neither);
    f.SelectCondition(Form::Or);
    f.SelectBasedOn(0);
    ASSERT_TRUE(f.Ok());
    EXPECT_EQ(f.Command("#01") + " " + f.StepUnit, "#01LR=10 OR D1=5 psi");
    f.SelectBasedOn(3);
    EXPECT_FALSE(f.StepUnitVisible);
    f.SelectCondition(Form::Neither);
    ASSERT_TRUE(f.Ok());
    EXPECT_EQ(f.Command("#01"), "#01LR=10");

    Form g;  // AND with an empty step: "1" there, and sent
    g.EditLogRate = "5";
    g.SelectCondition(Form::And);
    g.EditDataStep.clear();
    ASSERT_TRUE(g.Ok());
    EXPECT_EQ(g.Command("#01"), "#01LR=5 AND D1=1");
}

TEST(LogTexts, RateMustBeAWholeNumber) {
    // typed -> sent ("": refused, and the field emptied)
    const std::pair<std::string, std::string> rows[] = {{" 12", "12"}, {"+7", "7"}, {"-3", "-3"}, {"12s", ""},
                                                        {"1.5", ""},   {"", ""},    {"2147483648", ""}};
    for (const auto& [typed, sent] : rows) {
        Form f;
        f.EditLogRate = typed;
        EXPECT_EQ(f.Ok() ? f.RateText : f.EditLogRate, sent) << typed;
    }
}

TEST(LogTexts, StartStopAnswers) {
    const std::string t1 = "2007:05:14:13:45:00", t2 = "2007:05:15:08:00:00", f1 = "14/May/07  13:45:00";
    // answer, stop?, "start label|stop label|LogStartText" ("-": left alone)
    const std::tuple<std::string, bool, std::string> rows[] = {
        {t1 + "," + t2, true, f1 + "|15/May/07  08:00:00|" + t1},
        {t1, false, f1 + "|-|" + t1},
        {t1, true, f1 + "|Not Initalized|-"},
        {"2007:05:14:13:45:14", true, "14/May/07  13:45:14|Not Initalized|-"},  // 19 beats "14"
        {"X14", false, "Log is full|Log is full|-"},
        {"ERROR 13", true, "Not Initalized|Not Initalized|-"},
        {"NoConnect", false, "NoConnect|-|-"},
        {"NoConnect", true, "-|NoConnect|-"},
    };
    for (const auto& [answer, stop, expected] : rows) {
        const auto a = log::ReadLogTimeAnswer(answer, stop);
        EXPECT_EQ(a.start.value_or("-") + "|" + a.stop.value_or("-") + "|" + a.logStartText.value_or("-"), expected)
            << answer << stop;
    }
}

TEST(LogTexts, RangeCorrections) {
    // start, end, set count -> "start,end" or the error
    const std::tuple<std::string, std::string, long long, std::string> rows[] = {
        {"5", "20", 25, "5,20"}, {"30", "20", 25, "20,20"}, {"1", "40", 25, "1,25"},
        {"-3", "-10", 25, "3,10"}, {"7", "0", 25, "0,0"}, {" 4", "+9", 25, "4,9"},
        {"1", "", 25, "'' is not a valid integer value."},
    };
    for (const auto& [start, end, count, expected] : rows) {
        const auto d = log::CorrectDumpRange(start, end, count);
        EXPECT_EQ(d.error.empty() ? d.start + "," + d.end : d.error, expected) << start << " " << end;
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

TEST_F(LogFlowTest, LateInitialiseAnswerIsWaitedForThenGivenUp) {
    view.clicks = {1, 2, 2};  // a second click takes an item out again

    port->onWrite = [this](const std::string&) { port->Arrive("TM,D2\r\n", std::chrono::milliseconds(4500)); };
    flows->InitLog();
    EXPECT_EQ(info().InitLog, "TM,D2");
    EXPECT_EQ(view.log, Strings({"message on", "message off"}));

    port->onWrite = nullptr;
    const auto before = port->now();
    flows->InitLog();
    EXPECT_GE(port->now() - before, std::chrono::seconds(60));  // not given up at the first time-out
    EXPECT_EQ(info().InitLog, "TM,D2");  // kept
    ASSERT_EQ(op.messages.size(), 1u);
    EXPECT_NE(op.messages[0].find("within 60 seconds"), std::string::npos);
    EXPECT_EQ(port->writes, Strings(2, "#01LI=TM,D2\r\n"));
}

}  // namespace
