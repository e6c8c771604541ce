#include "link/DeviceLink.h"
#include "testkit/ScriptedPort.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <iterator>
#include <thread>
#include <unistd.h>

using namespace tessary;
using link::ExchangeOutcome;
using testkit::ScriptedPort;
using ms = std::chrono::milliseconds;
using us = std::chrono::microseconds;

namespace {

struct LinkFixture : ::testing::Test {
    ScriptedPort* port = nullptr;
    std::unique_ptr<link::DeviceLink> dl;

    void SetUp() override {
        auto p = std::make_unique<ScriptedPort>();
        port = p.get();
        dl = std::make_unique<link::DeviceLink>(std::move(p), link::PortResolver{});
        ASSERT_TRUE(dl->OpenComPort());
    }
    // Time the exchange took on the virtual clock.
    link::ExchangeOutcome outcome{};
    ms Timed(const std::string& cmd, std::string& reply) {
        const auto t0 = port->now();
        link::Reply r = dl->Exchange(cmd);
        reply = r.text;
        outcome = r.outcome;
        return std::chrono::duration_cast<ms>(port->now() - t0);
    }
};

TEST_F(LinkFixture, ReplyLosesCrAndNulBytesAfterTheLineFeedWaitAndABroadcastReturnsAtOnce) {
    port->Answer("#01ID\r\n", "1234");
    const link::Reply first = dl->Exchange("#01ID\r\n");
    EXPECT_EQ(first.text, "1234");
    EXPECT_EQ(first.outcome, ExchangeOutcome::Line);

    port->Arrive(std::string("12\r34\0", 6) + "\nsecond\r\nn\xB0\tise\r\n");
    EXPECT_EQ(dl->SendCommand("NoWrite"), "1234");
    EXPECT_EQ(dl->SendCommand("NoWrite"), "second");
    const link::Reply noise = dl->Exchange("NoWrite");  // shown as it came, and said to be garbled
    EXPECT_EQ(noise.text + "|" + link::ReplyStatusText(noise),
              "n\xB0\tise|Garbled: the answer holds bytes outside printable ASCII (wrong baud rate?)");
    EXPECT_FALSE(noise.staleDiscarded) << "lines waiting for NoWrite are not stale";
    EXPECT_EQ(port->writes, std::vector<std::string>{"#01ID\r\n"}) << "NoWrite must not write";

    std::string r;  // a broadcast is written and not waited for
    EXPECT_EQ(Timed("#00ID\r\n", r), ms(0));
    EXPECT_EQ(r + "|" + port->writes.back(), "#00|#00ID\r\n");
}

TEST_F(LinkFixture, EveryFailureSaysNoConnectAndKeepsItsReason) {
    struct Case {
        std::function<void()> script;
        ExchangeOutcome outcome;
        ms took;
    };
    const Case cases[] = {
        {[&] { port->Arrive("\r\n", ms(5)); }, ExchangeOutcome::EmptyLine, ms(5)},
        // Silence: the first byte is awaited until the deadline and no longer.
        {[] {}, ExchangeOutcome::NoByte, ms(1000)},
        // A partial line that stops short of its end is discarded.
        {[&] { port->Arrive("12", ms(100)); }, ExchangeOutcome::NoLineEnd, ms(1000)},
        // 64 Ki bytes 10 us apart and no line end: cut at the last, with no wait after.
        {[&] { port->Arrive(std::string(link::kMaxLineBytes, 'x'), us(10), us(10)); }, ExchangeOutcome::Overflow, ms(655)},
        // A reply that never ends holds the line for the time-out plus 2 s, not up to 64 KiB.
        {[&] { port->Arrive(std::string(5000, 'x'), ms(1), ms(1)); }, ExchangeOutcome::Overflow, ms(3000)},
        {[&] { port->HangUpAfter(ms(30)); }, ExchangeOutcome::HangUp, ms(30)},
        // Callers pace their retries by the time-out, so a closed port waits it too.
        {[&] { dl->ClosePort(); }, ExchangeOutcome::NotOpen, ms(1000)},
    };
    for (const Case& c : cases) {
        port->Advance(ms(5000));  // leftovers of the case before are stale
        c.script();
        std::string r;
        EXPECT_EQ(Timed("#01ID\r\n", r), c.took) << link::OutcomeText(c.outcome);
        EXPECT_EQ(r, "NoConnect");
        EXPECT_EQ(outcome, c.outcome);
    }
}

TEST_F(LinkFixture, DeadlineCountsFromTheStartAndTrailingBytesAreReadUntilAGap) {
    std::string r;
    dl->SetResponseTimeoutMs(500);
    // Starts 450 ms in, one byte per 20 ms, across the 500 ms deadline, no gap.
    port->Arrive("0123456789\r\n", ms(450), ms(20));
    EXPECT_EQ(Timed("#01ID\r\n", r), ms(450 + 11 * 20));
    EXPECT_EQ(r, "0123456789");

    // Same, but the line stops before its end past the deadline: cut after one gap.
    port->Arrive("0123456789", ms(450), ms(20));
    EXPECT_EQ(Timed("#01ID\r\n", r), ms(450 + 9 * 20) + link::kTrailingGap);
    EXPECT_EQ(r, "NoConnect");

    // A first byte at the deadline is the answer; one just after it is not, and is not waited for.
    port->Arrive("late\r\n", ms(500));
    EXPECT_EQ(Timed("#01ID\r\n", r), ms(500));
    EXPECT_EQ(r, "late");
    port->Arrive("later\r\n", us(500'100));
    EXPECT_EQ(Timed("#01ID\r\n", r), ms(500));
    EXPECT_EQ(r, "NoConnect");

    // An exchange's own time-out leaves the link's setting alone.
    port->Advance(ms(5));
    EXPECT_EQ(dl->Exchange("#01ID\r\n", {ms(200)}).outcome, ExchangeOutcome::NoByte);
    EXPECT_EQ(Timed("#01ID\r\n", r) + ms(dl->ResponseTimeoutMs()), ms(1000));
}

TEST_F(LinkFixture, FiledAsDataTheNextCommandWaitsOutALateAnswerOthersKeepTheirTiming) {
    // #07 answers 1500 ms late against 1000 ms, back to back with #10 and #01 (10 ms each).
    for (const bool filed : {true, false}) {
        port->Advance(ms(5000));
        port->onWrite = [&](const std::string& w) {
            port->Arrive(w.substr(0, 3) + "\r\n", ms(w.rfind("#07", 0) == 0 ? 1500 : 10));
        };
        std::string got;
        std::vector<ms> took;
        for (const char* address : {"#07", "#10", "#01"}) {
            const auto t0 = port->now();
            const link::Reply r = dl->Exchange(std::string(address) + "ID\r\n", {ms(0), filed});
            took.push_back(std::chrono::duration_cast<ms>(port->now() - t0));
            got += r.text + (r.lateDiscarded || r.staleDiscarded ? " (" + link::ReplyStatusText(r) + ") " : " ");
        }
        if (filed)  // #10 waits for a quiet line: #07's time-out once more and a last read
            EXPECT_EQ(got, "NoConnect #10 (a late answer was discarded) #01 ");
        else  // the console's timing: #07's late answer is taken for #10's, whose own waits and is thrown away
            EXPECT_EQ(got, "NoConnect #07 #01 (a late answer to an earlier command was discarded) ");
        EXPECT_EQ(took, (std::vector<ms>{ms(1000), filed ? ms(1120) : ms(500), ms(10)}));
    }
}

// Boxes answer "#NN:k" to their kth command after a delay of their own; a
// capture-like loop asks them in turn, filed as data, with the time-out the
// link gives each. No line may be filed under another box, whatever the lateness.
TEST_F(LinkFixture, FiledAsDataALateBoxsAnswerIsNeverFiledUnderAnotherBox) {
    struct Case {
        std::map<std::string, ms> delay;  // per box; missing: silent
        std::vector<std::string> order;
        int filedOfLateBox;  // at least this many of the late box's own lines get filed
    };
    const Case cases[] = {
        {{{"#01", ms(10)}, {"#02", ms(2400)}}, {"#01", "#02"}, 5},
        {{{"#01", ms(2400)}, {"#02", ms(10)}, {"#03", ms(1400)}}, {"#02", "#01", "#03"}, 5},
        {{{"#01", ms(10)}, {"#02", ms(3300)}}, {"#01", "#02"}, 5},  // later than a whole quiet wait
        {{{"#02", ms(2400)}}, {"#01", "#02"}, 5},                    // #01 is not there at all
    };
    for (const Case& c : cases) {
        SetUp();  // a fresh link: what it learnt of the boxes before is not this line's
        std::map<std::string, int> asked, filed;
        port->onWrite = [&](const std::string& w) {
            const std::string a = w.substr(0, 3);
            const int k = ++asked[a];
            if (c.delay.count(a)) port->ArriveInTime(a + ":" + std::to_string(k) + "\r\n", c.delay.at(a));
        };
        std::string late;
        for (int cycle = 0; cycle < 12; ++cycle)
            for (const std::string& a : c.order) {
                const link::Reply r = dl->Exchange(a + "TM\r\n", {dl->TimeoutFor(a, ms(1000)), true});
                if (!r.lateFrom.empty()) late = r.lateFrom;
                if (r.text == "NoConnect") continue;
                EXPECT_EQ(r.text.substr(0, 4), a + ":") << "filed under the wrong box, cycle " << cycle;
                ++filed[a];
            }
        for (const auto& [a, d] : c.delay)
            EXPECT_GE(filed[a], d > ms(1000) ? c.filedOfLateBox : 10) << a << " late " << late;
    }
}

TEST_F(LinkFixture, AStopFlagEndsTheWaitALineUnderWayIsNoAnswerAndAStreamingLineIsNotQuiet) {
    std::atomic<bool> stop{true};
    EXPECT_EQ(dl->Exchange("#01ID\r\n", {ms(0), true, &stop}).outcome, ExchangeOutcome::Stopped);
    EXPECT_TRUE(port->writes.empty()) << "a stopped exchange writes nothing";
    stop = false;
    port->onWrite = [&](const std::string&) { stop = true; };
    const auto t0 = port->now();
    EXPECT_EQ(dl->Exchange("#01ID\r\n", {ms(0), true, &stop}).outcome, ExchangeOutcome::Stopped);
    EXPECT_LE(port->now() - t0, link::kStopLook);

    // A line that began before the command had crossed the wire answers something else.
    port->onWrite = nullptr;
    port->wirePerByte = ms(1);
    port->Arrive("dump 17\r\n", ms(3));
    port->Arrive("4711\r\n", ms(12));
    const link::Reply r = dl->Exchange("#01ID\r\n");
    EXPECT_EQ(r.text, "4711");
    EXPECT_TRUE(r.staleDiscarded);

    // A box still streaming: not quiet within 1 s; quiet a gap after it ends.
    for (int k = 0; k < 40; ++k) port->Arrive("line\r\n", ms(50 * k));
    EXPECT_FALSE(dl->AwaitQuiet(ms(1000)));
    const auto t1 = port->now();
    EXPECT_TRUE(dl->AwaitQuiet(ms(10000)));
    EXPECT_EQ(std::chrono::duration_cast<ms>(port->now() - t1), ms(950) + link::kQuietGap);
}

TEST(LineLock, HandsTheLineOverInTheOrderAskedAndAThreadThatAsksAgainQueues) {
    link::LineLock line;
    std::vector<int> order;  // under the line
    const auto take = [&line, &order](int k) { const std::lock_guard guard(line); order.push_back(k); };
    std::vector<std::thread> threads;
    line.lock();
    for (int k = 1; k <= 3; ++k) {
        threads.emplace_back(take, k);
        while (line.waiting() != static_cast<std::size_t>(k)) std::this_thread::yield();
    }
    take(0);  // the holder again: no wait
    line.unlock();
    take(4);  // asked again at once: behind the three
    for (auto& t : threads) t.join();
    EXPECT_EQ(order, (std::vector<int>{0, 1, 2, 3, 4}));
}

TEST_F(LinkFixture, ApplyBaudRateSwitchesTheOpenPortAndReturnsItsFailures) {
    using Texts = std::vector<std::string>;
    auto apply = [&](std::uint32_t rate) {
        dl->SetLinkBaudRate(rate);
        const link::BaudRateChange c = dl->ApplyBaudRate();
        EXPECT_EQ(c.applied, c.failures.empty());
        return c.failures;
    };
    EXPECT_EQ(apply(14400), Texts{});
    port->badRates.insert(1200);
    EXPECT_EQ(apply(1200), Texts{"Cannot switch COM1 to 1200 baud: rate refused"});
    port->settingsUnreadable = true;
    EXPECT_EQ(apply(2400), Texts{"Cannot switch COM1 to 2400 baud: cannot read line settings"});
    EXPECT_EQ(port->baud, 14400u);
    dl->ClosePort();
    EXPECT_EQ(apply(2400), Texts{"Cannot switch COM1 to 2400 baud: the port is not open"});
}

}  // namespace
