// The real DeviceLink and PosixPort over a pseudo-terminal: real time and real
// threads, which the scripted port of the unit tests cannot show.

#include "link/DeviceLink.h"
#include "link/PosixPort.h"

#include "PtyPeer.h"
#include "sim/Line.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

namespace tessary::link {
namespace {

using namespace std::chrono_literals;

struct LinkOverPty : ::testing::Test {
    test::PtyPeer peer;
    DeviceLink dl{std::make_unique<PosixPort>(), [this](const std::string&) { return peer.slavePath(); }};
    void SetUp() override { ASSERT_TRUE(dl.OpenComPort()) << dl.LastOpenStatus().text; }
};

TEST_F(LinkOverPty, SilentExchangeEndsAtItsDeadlinePlusTheLastRead) {
    dl.SetResponseTimeoutMs(300);
    const auto t0 = Clock::now();
    EXPECT_EQ(dl.SendCommand("#07ID\r\n"), "NoConnect");
    const auto took = Clock::now() - t0;
    EXPECT_GE(took, 300ms + kTrailingGap);
    EXPECT_LE(took, 320ms + kTrailingGap);
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

// A log dump held with Hold() on one thread while another thread asks box 2
// for its ID again and again: every line reaches the reader it belongs to.
TEST(LinkStreams, HeldStreamAndAnotherThreadsExchangesNeverMix) {
    bravik::sim::Line line(bravik::sim::demoLine());
    line.start();
    DeviceLink dl{std::make_unique<PosixPort>(), [&line](const std::string&) { return line.slavePath(); }};
    ASSERT_TRUE(dl.OpenComPort()) << dl.LastOpenStatus().text;
    dl.SetResponseTimeoutMs(3000);  // the log's erase answers late
    ASSERT_EQ(dl.SendCommand("#01LI=TM,D1\r\n"), "TM,D1");
    dl.SetResponseTimeoutMs(1000);
    ASSERT_EQ(dl.SendCommand("#01LR=1\r\n"), "1");
    ASSERT_NE(dl.SendCommand("#01LS=2020:01:01:00:00:00\r\n"), "NoConnect");
    const std::string id = dl.SendCommand("#02ID\r\n");
    ASSERT_NE(id, "NoConnect");

    std::atomic<bool> dumping{true};
    std::vector<std::string> ids;
    std::thread asker([&] {
        for (int i = 0; i < 200 && (dumping || ids.size() < 3); ++i) ids.push_back(dl.Exchange("#02ID\r\n").text);
    });
    std::vector<Reply> dump;
    std::thread dumper([&] {
        std::this_thread::sleep_for(20ms);  // let the asker get going
        auto hold = dl.Hold();
        dump.push_back(dl.Exchange("#01LD1,40\r\n"));
        while (dump.size() < 50 && dump.back().text != "}" && dump.back().text != "NoConnect")
            dump.push_back(dl.Exchange("NoWrite"));
        hold.Release();
        dumping = false;
    });
    dumper.join();
    asker.join();
    line.stop();

    ASSERT_EQ(dump.size(), 41u);
    for (std::size_t i = 0; i + 1 < dump.size(); ++i) {
        EXPECT_EQ(dump[i].outcome, ExchangeOutcome::Line) << i;
        EXPECT_EQ(dump[i].text.find(','), 19u) << i << ": " << dump[i].text;  // time stamp, then D1
        EXPECT_FALSE(dump[i].staleDiscarded) << i;
    }
    EXPECT_EQ(dump.back().text, "}");
    EXPECT_GE(ids.size(), 3u);
    for (const auto& got : ids) EXPECT_EQ(got, id);
}

}  // namespace
}  // namespace tessary::link
