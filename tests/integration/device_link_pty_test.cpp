// The real DeviceLink and PosixPort over a pseudo-terminal: real time and real
// threads, which the scripted port of the unit tests cannot show.

#include "link/DeviceLink.h"
#include "link/LinuxPort.h"

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

TEST_F(LinkOverPty, HangUpMidExchangeEndsItAtOnce) {
    std::thread unplug([this] {
        std::this_thread::sleep_for(100ms);
        peer.hangUp();
    });
    const auto t0 = Clock::now();
    const link::Reply r = dl.Exchange("#01ID\r\n", ExchangeOptions(10s));
    const auto took = Clock::now() - t0;
    unplug.join();
    EXPECT_EQ(r.text, "NoConnect");
    EXPECT_LT(took, 5s) << "not the whole 10 s time-out";
    EXPECT_EQ(r.outcome, ExchangeOutcome::HangUp);
}

// A coefficient read held with Hold() on one thread while another thread asks
// box 2 for its ID again and again: every line reaches the reader it belongs to.
TEST(LinkStreams, HeldStreamAndAnotherThreadsExchangesNeverMix) {
    bravik::sim::Line line(bravik::sim::demoLine());
    line.start();
    DeviceLink dl{std::make_unique<PosixPort>(), [&line](const std::string&) { return line.slavePath(); }};
    ASSERT_TRUE(dl.OpenComPort()) << dl.LastOpenStatus().text;
    const std::string id = dl.SendCommand("#02ID\r\n");
    std::atomic<bool> streaming{true};
    std::vector<std::string> ids, stream;
    std::thread asker([&] {
        for (int i = 0; i < 100 && (streaming || ids.size() < 3); ++i) ids.push_back(dl.SendCommand("#02ID\r\n"));
    });
    std::this_thread::sleep_for(20ms);  // the asker is under way
    {
        auto hold = dl.Hold();
        stream.push_back(dl.SendCommand("#01CAL\r\n"));
        while (stream.size() < 30 && stream.back() != "}" && stream.back() != "NoConnect")
            stream.push_back(dl.SendCommand("NoWrite"));
    }
    streaming = false;
    asker.join();
    line.stop();
    // "CAL 256", 16 data records and the end record, "}".
    ASSERT_EQ(stream.size(), 19u);
    for (std::size_t i = 1; i < 18; ++i) EXPECT_EQ(stream[i][0], ':') << i << ": " << stream[i];
    EXPECT_EQ(stream.back(), "}");
    EXPECT_GE(ids.size(), 3u);
    for (const auto& got : ids) EXPECT_EQ(got, id);
}

// A box that answers after the time-out, then a silent one, then a good one,
// filed as data: the late answer is thrown away, never filed under the next box.
TEST(LinkStreams, ALateAnswerIsNeverFiledUnderTheNextBox) {
    bravik::sim::LineConfig cfg;
    cfg.boxes.resize(3);  // #01, #07 answering 300 ms late, #10 silent
    cfg.boxes[1].address = 7, cfg.boxes[1].faults.lateMs = 300;
    cfg.boxes[2].address = 10, cfg.boxes[2].faults.silent = true;
    bravik::sim::Line line(cfg);
    line.start();
    DeviceLink dl{std::make_unique<PosixPort>(), [&line](const std::string&) { return line.slavePath(); }};
    ASSERT_TRUE(dl.OpenComPort()) << dl.LastOpenStatus().text;
    const std::string one = dl.SendCommand("#01ID\r\n");
    std::vector<std::string> got;
    // #01's first line may still be #10's late answer: not filed; the next one is.
    for (const char* address : {"#07", "#10", "#01", "#01"}) {
        const Reply r = dl.Exchange(std::string(address) + "ID\r\n", {200ms, true});
        got.push_back(r.text + (r.lateDiscarded ? " +late" : ""));
    }
    line.stop();
    EXPECT_EQ(got, (std::vector<std::string>{"NoConnect", "NoConnect +late", "NoConnect", one}));
}

}  // namespace
}  // namespace tessary::link
