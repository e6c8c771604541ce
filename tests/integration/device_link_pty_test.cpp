// The real DeviceLink and PosixPort over a pseudo-terminal.

#include "link/DeviceLink.h"
#include "link/PosixPort.h"

#include "PtyPeer.h"

#include <gtest/gtest.h>

#include <thread>

namespace tessary::link {
namespace {

using namespace std::chrono_literals;
using test::PtyPeer;

struct LinkOverPty : ::testing::Test {
    PtyPeer peer;
    DeviceLink dl{std::make_unique<PosixPort>(), [this](const std::string& n) {
                      return n == "COM1" ? peer.slavePath() : std::string();
                  }};
    void SetUp() override { ASSERT_TRUE(dl.OpenComPort()) << dl.LastOpenStatus().text; }
    static auto Ms(Clock::duration d) { return std::chrono::duration_cast<std::chrono::milliseconds>(d).count(); }
};

TEST_F(LinkOverPty, AnswerSilenceAndBroadcast) {
    peer.respond([](const std::string& line) -> std::optional<PtyPeer::Reply> {
        if (line == "#01ID") return PtyPeer::Reply{"12\r34\r\n", 5ms, 9600};
        return std::nullopt;
    });
    EXPECT_EQ(dl.SendCommand("#01ID\r\n"), "1234");

    dl.SetResponseTimeoutMs(300);
    auto t0 = Clock::now();
    EXPECT_EQ(dl.SendCommand("#07ID\r\n"), "NoConnect");
    const auto took = Ms(Clock::now() - t0);
    EXPECT_GE(took, 300);
    EXPECT_LE(took, 320) << "a silent exchange ends at its deadline";
    EXPECT_EQ(dl.LastOutcome(), ExchangeOutcome::NoByte);

    t0 = Clock::now();
    EXPECT_EQ(dl.SendCommand("#00ID\r\n"), "#00");
    EXPECT_LT(Ms(Clock::now() - t0), 50);
    for (int i = 0; i < 100 && peer.linesHeard().size() < 3; ++i) std::this_thread::sleep_for(5ms);
    peer.stopResponding();
    EXPECT_EQ(peer.linesHeard(), (std::vector<std::string>{"#01ID", "#07ID", "#00ID"}));
}

TEST_F(LinkOverPty, SlowLineAcrossTheDeadlineIsReadWhole) {
    // 12 bytes at 1200 baud take 100 ms; the deadline falls in the middle.
    dl.SetResponseTimeoutMs(60);
    peer.respond([](const std::string&) { return std::optional<PtyPeer::Reply>(PtyPeer::Reply{"0123456789\r\n", 0ms, 1200}); });
    EXPECT_EQ(dl.SendCommand("#01ID\r\n"), "0123456789");
}

TEST_F(LinkOverPty, HangUpMidExchangeEndsAtOnceAndTheNextOpenWorks) {
    std::thread unplug([this] {
        std::this_thread::sleep_for(100ms);
        peer.hangUp();
    });
    const auto t0 = Clock::now();
    EXPECT_EQ(dl.SendCommand("#01ID\r\n"), "NoConnect");
    unplug.join();
    EXPECT_LT(Ms(Clock::now() - t0), 400) << "not the whole 1 s time-out";
    EXPECT_EQ(dl.LastOutcome(), ExchangeOutcome::HangUp);

    // Every later exchange on the dead line fails fast, without spinning.
    const auto cpu0 = std::clock();
    for (int i = 0; i < 20; ++i) EXPECT_EQ(dl.SendCommand("#01ID\r\n"), "NoConnect");
    EXPECT_LT(std::clock() - cpu0, CLOCKS_PER_SEC / 5);

    PtyPeer fresh;
    DeviceLink again{std::make_unique<PosixPort>(), [&](const std::string&) { return fresh.slavePath(); }};
    fresh.respond([](const std::string&) { return std::optional<PtyPeer::Reply>(PtyPeer::Reply{"ok\r\n"}); });
    ASSERT_TRUE(again.OpenComPort());
    EXPECT_EQ(again.SendCommand("#01ID\r\n"), "ok");
}

TEST_F(LinkOverPty, SecondLinkOnTheSamePortIsRefused) {
    DeviceLink other{std::make_unique<PosixPort>(), [this](const std::string&) { return peer.slavePath(); }};
    EXPECT_FALSE(other.OpenComPort());
    EXPECT_EQ(other.LastOpenStatus().code, PortStatus::Code::Busy);
    dl.ClosePort();
    EXPECT_TRUE(other.OpenComPort()) << "free again once closed";
}

TEST_F(LinkOverPty, WindowAndCaptureThreadsNeverInterleaveOnTheWire) {
    peer.respond([](const std::string& line) {
        return std::optional<PtyPeer::Reply>(PtyPeer::Reply{line.substr(1) + "\r\n", 0ms, 115200});
    });
    dl.SetLinkBaudRate(115200);
    ASSERT_TRUE(dl.ApplyBaudRate());
    auto worker = [this](char tag, int* bad) {
        for (int i = 0; i < 40; ++i) {
            const std::string cmd = std::string("#") + tag + std::to_string(i);
            if (dl.SendCommand(cmd + "\r\n") != cmd.substr(1)) ++*bad;
        }
    };
    int badA = 0, badB = 0;
    std::thread a(worker, 'A', &badA), b(worker, 'B', &badB);
    a.join();
    b.join();
    EXPECT_EQ(badA + badB, 0) << "each thread got its own answer";
}

}  // namespace
}  // namespace tessary::link
