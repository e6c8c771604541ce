#include "link/DeviceLink.h"
#include "testkit/ScriptedPort.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
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
        // Silence: the time-out's last read still waits its gap.
        {[] {}, ExchangeOutcome::NoByte, ms(1110)},
        // A partial line that stops short of its end is discarded.
        {[&] { port->Arrive("12", ms(100)); }, ExchangeOutcome::NoLineEnd, ms(1110)},
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

    // A first byte within the time-out's last read is still the answer; one after it is not.
    port->Arrive("late\r\n", ms(605));
    EXPECT_EQ(Timed("#01ID\r\n", r), ms(605));
    EXPECT_EQ(r, "late");
    port->Arrive("later\r\n", ms(615));
    EXPECT_EQ(Timed("#01ID\r\n", r), ms(610));
    EXPECT_EQ(r, "NoConnect");
}

TEST_F(LinkFixture, AnswerThatCameTooLateIsNeverTakenForALaterCommand) {
    // A box answering 995 to 1500 ms after each command, against 1000 ms.
    const std::vector<int> delays = {1105, 1300, 1500, 995};
    std::size_t n = 0;
    port->onWrite = [&](const std::string&) {
        port->Arrive("A" + std::to_string(n) + "\r\n", ms(delays[n]), us(500));
        ++n;
    };
    std::vector<std::string> got;
    for (std::size_t i = 0; i < delays.size(); ++i) {
        const link::Reply r = dl->Exchange("#01ID\r\n");
        got.push_back(r.text + (r.staleDiscarded ? " +stale" : ""));
        port->Advance(i == 1 ? us(190'700) : ms(600));  // the next command finds A1 half come, A2 whole
    }
    EXPECT_EQ(got, (std::vector<std::string>{"A0", "NoConnect", "NoConnect +stale", "A3 +stale"}));
    EXPECT_EQ(link::ReplyStatusText({"A3", ExchangeOutcome::Line, true}),
              "a late answer to an earlier command was discarded");
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
    EXPECT_EQ(apply(1200), Texts{"SetCommState failed"});
    port->settingsUnreadable = true;
    EXPECT_EQ(apply(2400), (Texts{"GetCommState failed", "SetCommState failed"}));
    EXPECT_EQ(port->baud, 14400u);
    dl->ClosePort();
    EXPECT_EQ(apply(2400), (Texts{"GetCommState failed", "SetCommState failed"}));
}

TEST_F(LinkFixture, AllSerialCopyHasOneLinePerCommandAndReply) {
    const auto path = (std::filesystem::temp_directory_path() /
                       ("tessary_allserial_" + std::to_string(::getpid()) + ".txt")).string();
    std::remove(path.c_str());
    ASSERT_TRUE(dl->OpenAllSerialFile(path));

    dl->SendCommand("#01ID\r\n");  // check box not ticked: nothing captured
    dl->SetAllSerial(true);
    port->Answer("#01ID\r\n", "1234");
    dl->SendCommand("#01ID\r\n");
    dl->SendCommand("#07ID\r\n");
    dl->SendCommand("#00ID\r\n");
    port->Arrive("}\r\n");
    dl->SendCommand("NoWrite");
    dl->CloseAllSerialFile();
    dl->SendCommand("#01ID\r\n");  // file closed: nothing captured

    std::ifstream in(path, std::ios::binary);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}),
              "< #01ID\r\n> 1234\r\n"
              "< #07ID\r\n> NoConnect\r\n"
              "< #00ID\r\n"
              "> }\r\n");
    std::remove(path.c_str());
}

}  // namespace
