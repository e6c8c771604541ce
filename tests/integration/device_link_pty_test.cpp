// The real DeviceLink and PosixPort over a pseudo-terminal: real time and real
// threads, which the scripted port of the unit tests cannot show.

#include "link/DeviceLink.h"
#include "link/PosixPort.h"

#include "PtyPeer.h"

#include <gtest/gtest.h>

#include <thread>

namespace tessary::link {
namespace {

using namespace std::chrono_literals;

struct LinkOverPty : ::testing::Test {
    test::PtyPeer peer;
    DeviceLink dl{std::make_unique<PosixPort>(), [this](const std::string&) { return peer.slavePath(); }};
    void SetUp() override { ASSERT_TRUE(dl.OpenComPort()) << dl.LastOpenStatus().text; }
};

TEST_F(LinkOverPty, SilentExchangeEndsAtItsDeadline) {
    dl.SetResponseTimeoutMs(300);
    const auto t0 = Clock::now();
    EXPECT_EQ(dl.SendCommand("#07ID\r\n"), "NoConnect");
    const auto took = Clock::now() - t0;
    EXPECT_GE(took, 300ms);
    EXPECT_LE(took, 320ms);
    EXPECT_EQ(dl.LastOutcome(), ExchangeOutcome::NoByte);
}

TEST_F(LinkOverPty, HangUpMidExchangeEndsItAtOnce) {
    std::thread unplug([this] {
        std::this_thread::sleep_for(100ms);
        peer.hangUp();
    });
    const auto t0 = Clock::now();
    EXPECT_EQ(dl.SendCommand("#01ID\r\n"), "NoConnect");
    const auto took = Clock::now() - t0;
    unplug.join();
    EXPECT_LT(took, 400ms) << "not the whole 1 s time-out";
    EXPECT_EQ(dl.LastOutcome(), ExchangeOutcome::HangUp);
}

TEST_F(LinkOverPty, WindowAndCaptureThreadsNeverInterleaveOnTheWire) {
    peer.answer([](const std::string& line) { return line.substr(1) + "\r\n"; });
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
