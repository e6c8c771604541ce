#include "link/DeviceLink.h"
#include "testkit/ScriptedPort.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>

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
        dl = std::make_unique<link::DeviceLink>(std::move(p), [](const std::string& n) {
            return n == "COM1" ? std::string("/dev/pts/9") : std::string();
        });
        ASSERT_TRUE(dl->OpenComPort());
    }
    // Time the last exchange took on the virtual clock.
    ms Timed(const std::string& cmd, std::string& reply) {
        const auto t0 = port->now();
        reply = dl->SendCommand(cmd);
        return std::chrono::duration_cast<ms>(port->now() - t0);
    }
    std::string ReadFile(const std::string& path) {
        std::ifstream in(path, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }
};

TEST_F(LinkFixture, ReplyLineIsCleanedOfCrLfAndNul) {
    port->Answer("#01ID\r\n", "1234");
    EXPECT_EQ(dl->SendCommand("#01ID\r\n"), "1234");
    EXPECT_EQ(dl->LastOutcome(), ExchangeOutcome::Line);

    port->Arrive(std::string("12\r34\0", 6) + "\n");
    EXPECT_EQ(dl->SendCommand("NoWrite"), "1234");
    EXPECT_EQ(port->writes.size(), 1u) << "NoWrite must not write";

    // Bytes after the line feed belong to the next line.
    port->Arrive("first\r\nsecond\r\n");
    EXPECT_EQ(dl->SendCommand("NoWrite"), "first");
    EXPECT_EQ(dl->SendCommand("NoWrite"), "second");
}

TEST_F(LinkFixture, FailuresAllSayNoConnectButKeepTheirReason) {
    std::string r;
    port->Arrive("\r\n", ms(5));
    EXPECT_EQ(dl->SendCommand("#01ID\r\n"), "NoConnect");
    EXPECT_EQ(dl->LastOutcome(), ExchangeOutcome::EmptyLine);

    EXPECT_EQ(Timed("#07ID\r\n", r), ms(1000));
    EXPECT_EQ(r, "NoConnect");
    EXPECT_EQ(dl->LastOutcome(), ExchangeOutcome::NoByte);

    // A partial line that stops (no line end) is discarded.
    port->Arrive("12", ms(100));
    EXPECT_EQ(dl->SendCommand("#01ID\r\n"), "NoConnect");
    EXPECT_EQ(dl->LastOutcome(), ExchangeOutcome::NoLineEnd);

    port->HangUpAfter(ms(30));
    EXPECT_EQ(Timed("#01ID\r\n", r), ms(30)) << "a hang-up ends the exchange at once";
    EXPECT_EQ(dl->LastOutcome(), ExchangeOutcome::HangUp);
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

TEST_F(LinkFixture, EndlessNoiseIsCutAtTheLineBound) {
    port->Arrive(std::string(link::kMaxLineBytes + 10, 'x'), us(0), us(10));
    EXPECT_EQ(dl->SendCommand("#01ID\r\n"), "NoConnect");
    EXPECT_EQ(dl->LastOutcome(), ExchangeOutcome::Overflow);
}

TEST_F(LinkFixture, BroadcastReturnsAtOnceAndShortCommandsReadNormally) {
    std::string r;
    EXPECT_EQ(Timed("#00ID\r\n", r), ms(0));
    EXPECT_EQ(r, "#00");
    EXPECT_EQ(port->writes.back(), "#00ID\r\n");

    port->Answer("#0", "x");
    EXPECT_EQ(dl->SendCommand("#0"), "x");
    EXPECT_EQ(Timed("", r), ms(1000)) << "an empty command is not a broadcast";
}

TEST_F(LinkFixture, ClosedPortWaitsTheTimeOutAndOpenFailuresSayWhy) {
    dl->ClosePort();
    std::string r;
    EXPECT_EQ(Timed("#01ID\r\n", r), ms(1000));
    EXPECT_EQ(r, "NoConnect");
    EXPECT_EQ(dl->LastOutcome(), ExchangeOutcome::NotOpen);

    dl->SetLinkPortName("COM3");
    EXPECT_FALSE(dl->OpenComPort());
    EXPECT_EQ(dl->LastOpenStatus().code, link::PortStatus::Code::NotFound);

    dl->SetLinkPortName("COM1");
    dl->SearchAborted = true;
    EXPECT_FALSE(dl->OpenComPort());
    EXPECT_EQ(port->opens.size(), 1u) << "aborted: nothing is opened";
    dl->SearchAborted = false;
    int pumped = 0;
    dl->SetEventPump([&] { ++pumped; });
    EXPECT_TRUE(dl->OpenComPort());
    EXPECT_EQ(pumped, 1);
}

TEST_F(LinkFixture, ApplyBaudRateKeepsThePortOpenAndReportsFailure) {
    dl->SetLinkBaudRate(14400);
    EXPECT_TRUE(dl->ApplyBaudRate());
    EXPECT_EQ(port->baud, 14400u);
    EXPECT_TRUE(dl->IsOpen());

    std::vector<std::string> said;
    port->badRates.insert(1200);
    dl->SetLinkBaudRate(1200);
    EXPECT_FALSE(dl->ApplyBaudRate([&](const std::string& t) { said.push_back(t); }));
    EXPECT_EQ(said, std::vector<std::string>{"SetCommState failed"});
}

TEST_F(LinkFixture, AllSerialCopyHasOneLinePerCommandAndReply) {
    const auto path = (std::filesystem::temp_directory_path() / "tessary_allserial_test.txt").string();
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

    EXPECT_EQ(ReadFile(path),
              "< #01ID\r\n> 1234\r\n"
              "< #07ID\r\n> NoConnect\r\n"
              "< #00ID\r\n"
              "> }\r\n");
    std::remove(path.c_str());

    std::string error;
    EXPECT_FALSE(dl->OpenAllSerialFile("/nonexistent-dir/x.txt", &error));
    EXPECT_FALSE(error.empty());
}

}  // namespace
