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
    ms Timed(const std::string& cmd, std::string& reply) {
        const auto t0 = port->now();
        reply = dl->SendCommand(cmd);
        return std::chrono::duration_cast<ms>(port->now() - t0);
    }
};

TEST_F(LinkFixture, ReplyLosesCrAndNulAndBytesAfterTheLineFeedWaitForTheNextRead) {
    port->Answer("#01ID\r\n", "1234");
    EXPECT_EQ(dl->SendCommand("#01ID\r\n"), "1234");
    EXPECT_EQ(dl->LastOutcome(), ExchangeOutcome::Line);

    port->Arrive(std::string("12\r34\0", 6) + "\nsecond\r\n");
    EXPECT_EQ(dl->SendCommand("NoWrite"), "1234");
    EXPECT_EQ(dl->SendCommand("NoWrite"), "second");
    EXPECT_EQ(port->writes, std::vector<std::string>{"#01ID\r\n"}) << "NoWrite must not write";
}

TEST_F(LinkFixture, EveryFailureSaysNoConnectAndKeepsItsReason) {
    struct Case {
        std::function<void()> script;
        ExchangeOutcome outcome;
        ms took;
    };
    const Case cases[] = {
        {[&] { port->Arrive("\r\n", ms(5)); }, ExchangeOutcome::EmptyLine, ms(5)},
        {[] {}, ExchangeOutcome::NoByte, ms(1000)},
        // A partial line that stops short of its end is discarded.
        {[&] { port->Arrive("12", ms(100)); }, ExchangeOutcome::NoLineEnd, ms(1000)},
        // 64 Ki bytes 10 us apart and no line end: cut at the last, with no wait after.
        {[&] { port->Arrive(std::string(link::kMaxLineBytes, 'x'), us(0), us(10)); }, ExchangeOutcome::Overflow, ms(655)},
        {[&] { port->HangUpAfter(ms(30)); }, ExchangeOutcome::HangUp, ms(30)},
        // Callers pace their retries by the time-out, so a closed port waits it too.
        {[&] { dl->ClosePort(); }, ExchangeOutcome::NotOpen, ms(1000)},
    };
    for (const Case& c : cases) {
        c.script();
        std::string r;
        EXPECT_EQ(Timed("#01ID\r\n", r), c.took) << link::OutcomeText(c.outcome);
        EXPECT_EQ(r, "NoConnect");
        EXPECT_EQ(dl->LastOutcome(), c.outcome);
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

    // A byte arriving after the deadline with nothing before it is not waited for.
    port->Arrive("late\r\n", ms(520));
    EXPECT_EQ(Timed("#01ID\r\n", r), ms(500));
    EXPECT_EQ(r, "NoConnect");
}

TEST_F(LinkFixture, BroadcastIsWrittenAndReturnsAtOnce) {
    std::string r;
    EXPECT_EQ(Timed("#00ID\r\n", r), ms(0));
    EXPECT_EQ(r, "#00");
    EXPECT_EQ(port->writes.back(), "#00ID\r\n");
}

TEST_F(LinkFixture, ApplyBaudRateSwitchesTheOpenPortAndReportsFailures) {
    std::vector<std::string> said;
    const auto report = [&](const std::string& t) { said.push_back(t); };
    dl->SetLinkBaudRate(14400);
    EXPECT_TRUE(dl->ApplyBaudRate(report));
    EXPECT_EQ(port->baud, 14400u);

    port->badRates.insert(1200);
    dl->SetLinkBaudRate(1200);
    EXPECT_FALSE(dl->ApplyBaudRate(report));
    dl->ClosePort();
    EXPECT_FALSE(dl->ApplyBaudRate(report));
    EXPECT_EQ(said, (std::vector<std::string>{"SetCommState failed", "GetCommState failed", "SetCommState failed"}));
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
