// Timed capture: the line texts, the cycles in virtual time (order, files,
// deadlines, overruns), the files' failure paths and the check box clicks.

#include "capture/Capture.h"
#include "capture/CaptureText.h"
#include "testkit/RecordingOperator.h"
#include "testkit/SessionRig.h"
#include "testkit/VirtualClock.h"

#include <gtest/gtest.h>

using namespace tessary;
using namespace std::chrono_literals;

namespace {

void WriteText(const std::string& path, const std::string& text) { std::ofstream(path, std::ios::binary) << text; }

TEST(CaptureText, DateRewrittenAndRateParsed) {
    const std::vector<std::pair<std::string, std::string>> lines = {
        {"2007:05:17:12:30:00,1.5,2.5,100,200", "2007/05/17, 12:30:00,1.5,2.5,100,200"},
        {"2007:05:17:12:30:00", "2007/05/17, 12:30:00"},
        {"a:b:c:d:e", "a/b/c, d:e"},  // only the first three count
        {"NoConnect", "NoConnect"}, {"ERROR 2", "ERROR 2"}, {"", ""},
        {"1:2,3:4:5:6", "1:2,3:4:5:6"},  // the colons after the first "," do not count
    };
    for (const auto& [answer, line] : lines) EXPECT_EQ(capture::FormatCaptureTime(answer), line) << answer;

    const std::vector<std::pair<std::string, int>> rates = {
        {"3", 3}, {" 10 ", 10}, {"+2", 2}, {"abc", 1}, {"", 1}, {"2.5", 1}, {"0", 1}, {"-4", 1},
        {"86400", 86400}, {"86401", 1}, {"99999999999999999999", 1}};
    for (const auto& [text, seconds] : rates) EXPECT_EQ(capture::ParseCaptureRate(text), seconds) << text;
}

struct RecordingView final : capture::CaptureView {
    std::mutex m;
    bool append = true;
    std::vector<std::string> asked, lines, errors, states;
    bool AskAppend(const std::string& path) override {
        std::lock_guard l(m);
        asked.push_back(path);
        return append;
    }
    void ShowLine(int slot, const std::string& line) override { Add(lines, std::to_string(slot) + " " + line); }
    void ShowFileError(int source, const std::string& text) override {
        if (!text.empty()) Add(errors, std::to_string(source) + " " + text);
    }
    void ShowState(bool running, const std::string& note) override { Add(states, (running ? "on " : "off ") + note); }
    void Add(std::vector<std::string>& to, std::string s) {
        std::lock_guard l(m);
        to.push_back(std::move(s));
    }
};

struct CaptureRig : testkit::SessionRig {
    RecordingView view;
    testkit::VirtualClock clock{*port, dl};
    capture::Capture capture{dl, op, view, clock};
    std::vector<capture::CycleTiming> cycles;
    capture::CaptureSetup setup;
    std::map<std::string, int> asked;  // per command: how often
    std::map<int, std::chrono::microseconds> slowAt;  // #01's nth answer comes this late

    CaptureRig() {
        ports.SetFromCommandLine("COM1", "/dev/scripted");
        dl.OpenComPort();
        capture.SetCycleObserver([this](const capture::CycleTiming& t) { cycles.push_back(t); });
        port->onWrite = [this](const std::string& w) {
            const int n = ++asked[w];
            if (w.rfind("#05", 0) == 0) return;  // silent box
            const auto delay = slowAt.count(n) && w.rfind("#01", 0) == 0 ? slowAt[n] : 2ms;
            char ss[8];
            std::snprintf(ss, sizeof ss, "%02d", n % 60);
            port->Arrive("2007:05:17:12:30:" + std::string(ss) + ",1.5,2.5,100,200\r\n", delay);
        };
        setup.addresses = {"#01", "#02", "#05", "#04"};
        for (int k = 0; k < 4; ++k) setup.paths[k] = (dir / ("slot" + std::to_string(k + 1) + ".txt")).string();
        setup.allSerialPath = (dir / "all.txt").string();
    }
    ~CaptureRig() { capture.Stop(); }
    // Runs whole periods from the start of the capture.
    void RunPeriods(double periods) {
        ASSERT_TRUE(clock.RunUntil(start + std::chrono::duration_cast<std::chrono::nanoseconds>(
                                                   capture.Period() * periods)));
    }
    bool Start() {
        start = clock.Now();
        return capture.Start(setup);
    }
    std::string File(int slot) { return testkit::ReadFile(setup.paths[slot - 1]); }
    long Lines(int slot) {
        const std::string text = File(slot);
        return std::count(text.begin(), text.end(), '\n');
    }
    capture::CaptureClock::TimePoint start;
};

TEST(Capture, CyclesAskTheTickedSlotsInOrderAndAppendLinesOnTheGrid) {
    CaptureRig r;
    r.setup.ticked = {true, false, true, false};
    r.setup.rateText = "3";
    r.setup.gateTime = "0.5";
    r.dl.SetResponseTimeoutMs(200);
    ASSERT_TRUE(r.Start());
    EXPECT_EQ(r.capture.Period(), 3000ms);
    r.RunPeriods(7.5);
    r.capture.Stop();
    EXPECT_EQ(r.dl.ResponseTimeoutMs(), 1000u);

    ASSERT_EQ(r.cycles.size(), 7u);
    for (std::size_t i = 0; i < 7; ++i) {  // absolute deadlines, started on time: no drift
        EXPECT_EQ(r.cycles[i].period, i + 1);
        EXPECT_EQ(r.cycles[i].due, r.start + 3s * static_cast<int>(i + 1));
        EXPECT_EQ(r.cycles[i].began, r.cycles[i].due);
    }
    const auto sent = r.Sent(0);
    ASSERT_EQ(sent.size(), 14u);
    for (std::size_t i = 0; i < sent.size(); ++i) EXPECT_EQ(sent[i], i % 2 ? "#05TM;D1;D2;D3;D4" : "#01TM;D1;D2;D3;D4");
    std::string one;
    for (int n = 1; n <= 7; ++n) one += "2007/05/17, 12:30:0" + std::to_string(n) + ",1.5,2.5,100,200\r\n";
    EXPECT_EQ(r.File(1), one);
    EXPECT_EQ(r.File(3), "NoConnect\r\nNoConnect\r\nNoConnect\r\nNoConnect\r\nNoConnect\r\nNoConnect\r\nNoConnect\r\n");
    EXPECT_FALSE(std::filesystem::exists(r.setup.paths[1]));
    EXPECT_EQ(r.view.lines.size(), 14u);
    EXPECT_EQ(r.view.lines[0], "1 2007/05/17, 12:30:01,1.5,2.5,100,200");
    EXPECT_EQ(r.view.lines[1], "3 NoConnect");
    EXPECT_EQ(r.view.states, (std::vector<std::string>{"on ", "off "}));
}

TEST(Capture, AnOverrunPeriodRunsLateOnceAndFurtherOnesAreSkippedAndCounted) {
    CaptureRig r;
    r.setup.ticked = {true, false, false, false};
    r.setup.gateTime = "2";  // 3000 ms time-out
    r.slowAt = {{2, 1500ms}, {4, 2500ms}};
    ASSERT_TRUE(r.Start());
    r.RunPeriods(7.5);
    r.capture.Stop();
    std::vector<std::pair<std::uint64_t, long>> got;  // period, start in ms from the capture's start
    for (const auto& c : r.cycles)
        got.emplace_back(c.period, std::chrono::duration_cast<std::chrono::milliseconds>(c.began - r.start).count());
    EXPECT_EQ(got, (std::vector<std::pair<std::uint64_t, long>>{
                       {1, 1000}, {2, 2000}, {3, 3500}, {4, 4000}, {6, 6500}, {7, 7000}}));
    EXPECT_EQ(r.capture.Skipped(), 1u);
    EXPECT_EQ(r.dl.ResponseTimeoutMs(), 3000u);
    EXPECT_NE(r.view.states.at(1).find("1 periods skipped"), std::string::npos);
}

TEST(Capture, AFileThatFailsIsReportedOnceAndTheOtherSlotsGoOn) {
    CaptureRig r;
    r.setup.ticked = {true, true, true, false};
    r.setup.addresses = {"#01", "#02", "#03", "#04"};
    r.setup.paths[0] = (r.dir / "missing" / "a.txt").string();
    r.setup.paths[1] = "/dev/full";
    WriteText(r.setup.paths[2], "old\r\n");
    ASSERT_TRUE(r.Start());
    r.RunPeriods(3.5);
    r.capture.Stop();
    EXPECT_EQ(r.view.errors, (std::vector<std::string>{"1 Cannot open " + r.setup.paths[0] + ": No such file or directory",
                                                       "2 Cannot write /dev/full: No space left on device"}));
    EXPECT_EQ(r.view.asked, (std::vector<std::string>{"/dev/full", r.setup.paths[2]}));
    EXPECT_EQ(r.Lines(3), 4) << "Append keeps the old line";
    EXPECT_EQ(r.File(3).substr(0, 5), "old\r\n");
    EXPECT_EQ(r.asked["#01TM;D1;D2;D3;D4\r\n"], 3) << "a slot without a file is still asked and shown";

    r.view.append = false;  // Overwrite
    r.setup.ticked = {false, false, true, false};
    ASSERT_TRUE(r.Start());
    r.RunPeriods(1.5);
    r.capture.Stop();
    EXPECT_EQ(r.Lines(3), 1);
}

TEST(Capture, ClicksCloseTheSourcesFileAndTheAllSerialFileIsAppendedTo) {
    CaptureRig r;
    r.setup.ticked = {false, false, false, false};
    EXPECT_FALSE(r.Start());
    EXPECT_EQ(r.op.messages, (std::vector<std::string>{"Please select a source"}));
    EXPECT_FALSE(r.capture.Running());

    WriteText(r.setup.allSerialPath, "earlier\r\n");
    r.setup.defaultFolder = (r.dir / "Tessary/").string();  // missing: made at the start
    r.setup.paths[0] = r.setup.defaultFolder + "D01.txt";
    r.setup.allSerial = true;
    r.setup.ticked = {true, false, false, false};
    ASSERT_TRUE(r.Start());
    r.RunPeriods(1.5);
    r.capture.AllSerialClicked(false);
    r.capture.SlotClicked(1, true);
    r.RunPeriods(2.5);
    r.capture.Stop();
    EXPECT_EQ(testkit::ReadFile(r.setup.allSerialPath),
              "earlier\r\n< #01TM;D1;D2;D3;D4\r\n> 2007:05:17:12:30:01,1.5,2.5,100,200\r\n");
    EXPECT_EQ(r.Lines(1), 1);
    EXPECT_EQ(r.view.lines.size(), 2u) << "the slot is still asked and shown";
}

TEST(Capture, AHungUpLineEndsTheCaptureAndClosesTheFiles) {
    CaptureRig r;
    r.setup.ticked = {true, false, false, false};
    ASSERT_TRUE(r.Start());
    r.RunPeriods(1.5);
    {
        auto hold = r.dl.Hold();
        r.port->HangUpAfter(0us);
    }
    r.clock.Allow(r.start + 10s);  // the capture ends by itself at its second cycle
    for (int i = 0; i < 5000 && r.capture.Running(); ++i) std::this_thread::sleep_for(1ms);
    EXPECT_FALSE(r.capture.Running());
    r.capture.Stop();  // joins the ended thread
    EXPECT_EQ(r.view.states.back(), "off Capture stopped: the line hung up or failed (adapter unplugged?)");
    EXPECT_EQ(r.File(1).substr(r.File(1).size() - 11), "NoConnect\r\n");
    EXPECT_EQ(r.cycles.size(), 2u);
}

}  // namespace
