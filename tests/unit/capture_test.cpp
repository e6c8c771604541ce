// Timed capture: the line texts, the cycles in virtual time (order, files,
// deadlines, overruns) and the check box clicks.

#include "capture/AllSerialRecorder.h"
#include "capture/Capture.h"
#include "capture/CaptureText.h"
#include "capture/TrafficLog.h"
#include "testkit/ScriptedPort.h"
#include "testkit/SessionRig.h"
#include "testkit/VirtualClock.h"

#include <gtest/gtest.h>

using namespace tessary;
using namespace std::chrono_literals;
using Strings = std::vector<std::string>;

namespace {

TEST(CaptureText, DateRewrittenAndRateParsed) {
    const std::vector<std::pair<std::string, std::string>> lines = {
        {"2007:05:17:12:30:00,1.5,2.5,100,200", "2007/05/17, 12:30:00,1.5,2.5,100,200"},
        {"a:b:c:d:e", "a/b/c, d:e"}, {"NoConnect", "NoConnect"}, {"", ""},
        {"1:2,3:4:5:6", "1:2,3:4:5:6"}};  // only colons before the first "," count
    for (const auto& [answer, line] : lines) EXPECT_EQ(capture::FormatCaptureTime(answer), line) << answer;
    const std::vector<std::pair<std::string, int>> rates = {{"3", 3},  {" 10 ", 10}, {"abc", 1},
                                                            {"", 1},   {"2.5", 1},   {"0", 1},
                                                            {"-4", 1}, {"86401", 1}, {"99999999999999999999", 1}};
    for (const auto& [text, seconds] : rates) EXPECT_EQ(capture::ParseCaptureRate(text), seconds) << text;
}

TEST(TrafficLog, KeepsTheNewestAndSaysWhoseAndWhy) {
    capture::TrafficLog log(2);
    const std::chrono::system_clock::time_point at{};
    log.Push({at, "COM1", "#01ID\r\n", "123456", link::ExchangeOutcome::Line});
    log.Push({at, "COM1", "#07ID\r\n", "NoConnect", link::ExchangeOutcome::NoByte});
    log.Push({at, "COM1", "NoWrite", "NoConnect", link::ExchangeOutcome::HangUp});
    const auto kept = log.After(0);  // the newest two
    ASSERT_EQ(kept.size(), 2u);
    EXPECT_EQ(kept[0].text.substr(12) + "|" + kept[1].text.substr(12),
              "  COM1  #07ID  ->  NoConnect (silent)|  COM1  NoWrite  ->  NoConnect (hung up)");
    EXPECT_EQ(kept[1].address, 7) << "a read counts for the address last written";
}

struct RecordingView final : capture::CaptureView {
    std::mutex m;
    Strings lines, errors, states;  // "<slot> line", "<source> error", "<running> note"
    void ShowLine(std::uint64_t, int slot, const std::string& line) override { Add(lines, slot, line); }
    void ShowFileError(std::uint64_t, int n, const std::string& text) override { text.empty() || Add(errors, n, text); }
    void ShowState(std::uint64_t, bool running, const std::string& note) override { Add(states, running, note); }
    bool Add(Strings& to, int n, const std::string& s) {
        std::lock_guard l(m);
        return to.push_back(std::to_string(n) + " " + s), true;
    }
};

// Boxes answer "2007:05:17:12:30:<n>,..." for their nth question; #05 is silent.
struct CaptureRig : testkit::SessionRig {
    RecordingView view;
    testkit::VirtualClock clock{*port, dl};
    capture::Capture capture{dl, op, view, clock};
    std::vector<capture::CycleTiming> cycles;
    capture::CapturePlan setup;
    capture::CaptureClock::TimePoint start;
    std::map<std::string, int> asked;
    std::map<int, std::chrono::microseconds> slowAt;  // #01's nth answer comes this late

    CaptureRig() {
        ports.SetFromCommandLine("COM1", "/dev/scripted");
        dl.OpenComPort();
        capture.SetCycleObserver([this](const capture::CycleTiming& t) { cycles.push_back(t); });
        port->onWrite = [this](const std::string& w) {
            const int n = ++asked[w];
            if (w.rfind("#05", 0) == 0) return;
            const auto delay = slowAt.count(n) && w.rfind("#01", 0) == 0 ? slowAt[n] : 2ms;
            port->Arrive("2007:05:17:12:30:" + std::to_string(10 + n) + ",1.5,2.5,100,200\r\n", delay);
        };
        setup.addresses = {"#01", "#02", "#05", "#04"};
        for (int k = 0; k < 4; ++k) setup.paths[k] = (dir / ("slot" + std::to_string(k + 1) + ".txt")).string();
        setup.allSerialPath = (dir / "all.txt").string();
    }
    ~CaptureRig() { capture.Stop(); }
    bool Start() {
        start = clock.Now();
        return capture.Start(setup);
    }
    void RunPeriods(double n) {
        ASSERT_TRUE(clock.RunUntil(start + std::chrono::duration_cast<std::chrono::nanoseconds>(capture.Period() * n)));
    }
    void Run(std::array<bool, 4> ticked, double periods) {
        setup.ticked = ticked;
        ASSERT_TRUE(Start());
        RunPeriods(periods);
        capture.Stop();
    }
    std::string File(int slot) { return testkit::ReadFile(setup.paths[slot - 1]); }
};

TEST(Capture, CyclesAskTheTickedSlotsInOrderAndAppendLinesOnTheGrid) {
    CaptureRig r;
    r.setup.rateText = "3";
    r.setup.gateTime = "0.5";
    r.dl.SetResponseTimeoutMs(200);
    r.Run({true, false, true, false}, 7.5);
    EXPECT_EQ(r.dl.ResponseTimeoutMs(), 1000u);
    ASSERT_EQ(r.cycles.size(), 7u);
    for (std::size_t i = 0; i < 7; ++i)  // absolute deadlines, each started on time: no drift
        EXPECT_TRUE(r.cycles[i].due == r.start + 3s * static_cast<int>(i + 1) && r.cycles[i].began == r.cycles[i].due) << i;
    const auto sent = r.Sent(0);
    ASSERT_EQ(sent.size(), 14u);
    for (std::size_t i = 0; i < sent.size(); ++i) EXPECT_EQ(sent[i], i % 2 ? "#05TM;D1;D2;D3;D4" : "#01TM;D1;D2;D3;D4");
    std::string one, silent;
    for (int n = 1; n <= 7; ++n) one += "2007/05/17, 12:30:" + std::to_string(10 + n) + ",1.5,2.5,100,200\r\n", silent += "NoConnect\r\n";
    EXPECT_EQ(r.File(1), one);
    EXPECT_EQ(r.File(3), silent);
    EXPECT_FALSE(std::filesystem::exists(r.setup.paths[1]));
    EXPECT_EQ(Strings(r.view.lines.begin(), r.view.lines.begin() + 2),
              (Strings{"1 2007/05/17, 12:30:11,1.5,2.5,100,200", "3 NoConnect"}));
}

TEST(Capture, AnOverrunPeriodRunsLateOnceAndFurtherOnesAreSkippedAndCounted) {
    CaptureRig r;
    r.setup.gateTime = "2";  // 3000 ms time-out
    r.slowAt = {{2, 1500ms}, {4, 2500ms}};
    r.Run({true, false, false, false}, 7.5);
    std::vector<std::pair<std::uint64_t, long>> got;  // period, start in ms from the capture's start
    for (const auto& c : r.cycles) got.emplace_back(c.period, (c.began - r.start) / 1ms);
    EXPECT_EQ(got, (std::vector<std::pair<std::uint64_t, long>>{
                       {1, 1000}, {2, 2000}, {3, 3500}, {4, 4000}, {6, 6500}, {7, 7000}}));
    EXPECT_EQ(r.capture.Skipped(), 1u);
    EXPECT_EQ(r.view.states.at(1), "1 1 period skipped: the line was busy longer than a period");
}

TEST(Capture, ALateAnswerIsDiscardedNotFiledUnderTheNextSlot) {
    CaptureRig r;
    r.setup.rateText = "5";  // one cycle: #01 late (1500 ms against 1000 ms), then #05 silent
    r.slowAt = {{1, 1500ms}};
    r.Run({true, false, true, false}, 1.5);
    EXPECT_EQ(r.File(1) + r.File(3), "NoConnect\r\nNoConnect\r\n");
    EXPECT_EQ(r.view.states.at(1), "1 #01 answers after its time-out: its late answer was not filed, and it is given 2.0 s"
                                   " from now on");
}

// Appending to an all-serial file and making the capture folder: the cli's files test.
TEST(Capture, ClicksCloseTheSourcesFile) {
    CaptureRig r;
    EXPECT_FALSE(r.Start());
    EXPECT_EQ(r.op.messages, (Strings{"Please select a source"}));
    r.setup.allSerial = true;
    r.setup.ticked = {true, false, false, false};
    {
        auto stream = r.dl.Hold();  // another page's: the start does not wait for it
        ASSERT_TRUE(r.Start());
    }
    r.RunPeriods(1.5);
    r.capture.SetAllSerialTicked(false);
    r.capture.SetSlotTicked(1, true);
    r.RunPeriods(2.5);
    r.capture.Stop();
    EXPECT_EQ(testkit::ReadFile(r.setup.allSerialPath),
              "< #01TM;D1;D2;D3;D4\r\n> 2007:05:17:12:30:11,1.5,2.5,100,200\r\n");
    EXPECT_EQ(r.File(1), "2007/05/17, 12:30:11,1.5,2.5,100,200\r\n");
    EXPECT_EQ(r.view.lines.size(), 2u) << "the slot is still asked and shown";
}

TEST(AllSerial, OneLinePerCommandAndReplyBesideAnotherObserver) {
    auto* port = new testkit::ScriptedPort;
    auto dl = std::make_unique<link::DeviceLink>(std::unique_ptr<link::Port>(port), link::PortResolver{});
    ASSERT_TRUE(dl->OpenComPort());
    capture::TrafficLog traffic;  // the traffic window's observer keeps its records
    const auto other = dl->AddTrafficObserver([&](const link::TrafficRecord& r) { traffic.Push(r); });
    const std::string path = ::testing::TempDir() + "tessary_allserial.txt";
    std::remove(path.c_str());
    capture::AllSerialRecorder recorder(*dl);
    ASSERT_TRUE(recorder.Open(path));

    dl->SendCommand("#01ID\r\n");  // check box not ticked: nothing captured
    recorder.SetTicked(true);
    port->Answer("#01ID\r\n", "1234");
    dl->SendCommand("#01ID\r\n");
    dl->SendCommand("#07ID\r\n");
    dl->SendCommand("#00ID\r\n");
    port->Arrive("}\r\n");
    dl->SendCommand("NoWrite");
    recorder.Close();
    dl->SendCommand("#01ID\r\n");  // file closed: nothing captured

    EXPECT_EQ(testkit::ReadFile(path),
              "< #01ID\r\n> 1234\r\n"
              "< #07ID\r\n> NoConnect\r\n"
              "< #00ID\r\n"
              "> }\r\n");
    std::remove(path.c_str());
    EXPECT_EQ(traffic.LastSeq(), 6u);
    dl->RemoveTrafficObserver(other);
    dl->SendCommand("#01ID\r\n");
    EXPECT_EQ(traffic.LastSeq(), 6u);
}

}  // namespace
