#include "link/PosixPort.h"

#include "PtyPeer.h"

#include <asm/termbits.h>
#include <sys/ioctl.h>

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <optional>
#include <thread>
#include <unistd.h>
#include <vector>

namespace tessary::link {
namespace {

using namespace std::chrono_literals;
using test::PtyPeer;
using Code = PortStatus::Code;

constexpr std::uint32_t kRates[] = {1200, 2400, 4800, 9600, 14400, 19200, 38400, 57600, 115200};

std::string everyByteValue() {
    std::string s;
    for (int i = 0; i < 256; ++i) s.push_back(static_cast<char>(i));
    return s;
}

std::string readThrough(Port& port, std::size_t count) {
    std::string got;
    char c = 0;
    while (got.size() < count && port.readByte(c, 500ms) == ReadResult::Byte) got.push_back(c);
    return got;
}

termios2 lineSettings(const PtyPeer& peer) {
    termios2 t{};
    EXPECT_EQ(::ioctl(peer.masterFd(), TCGETS2, &t), 0);
    return t;
}

auto elapsedSince(Clock::time_point start) { return Clock::now() - start; }

class PosixPortTest : public ::testing::Test {
protected:
    void openPort(std::uint32_t baud = 9600) {
        const PortStatus s = port.open(peer.slavePath(), baud);
        ASSERT_TRUE(s.ok()) << s.text;
    }
    PtyPeer peer;
    PosixPort port;
};

TEST_F(PosixPortTest, EveryByteValuePassesUnchangedBothWaysWithoutEcho) {
    openPort();
    const std::string all = everyByteValue();

    // CR, LF, NUL, 0xFF, XON/XOFF, ^C, ^D, DEL: a cooked tty would alter each one.
    ASSERT_TRUE(peer.write(all));
    EXPECT_EQ(readThrough(port, all.size()), all);
    EXPECT_EQ(peer.read(1, 30ms), "") << "the port echoed";

    ASSERT_TRUE(port.write(all, 1s));
    EXPECT_EQ(peer.read(all.size() + 1, 200ms), all);
}

TEST_F(PosixPortTest, SettingsLeaveHardwareFlowControlAsTheLineHadIt) {
    for (const bool rtscts : {true, false}) {
        termios2 before = lineSettings(peer);
        before.c_cflag = rtscts ? (before.c_cflag | CRTSCTS) : (before.c_cflag & ~static_cast<tcflag_t>(CRTSCTS));
        ASSERT_EQ(::ioctl(peer.masterFd(), TCSETS2, &before), 0);

        openPort();
        EXPECT_EQ((lineSettings(peer).c_cflag & CRTSCTS) != 0, rtscts);
        ASSERT_TRUE(port.setBaudRate(19200).ok());
        const termios2 after = lineSettings(peer);
        EXPECT_EQ((after.c_cflag & CRTSCTS) != 0, rtscts);
        EXPECT_EQ(after.c_cflag & (CSIZE | PARENB | CSTOPB), static_cast<tcflag_t>(CS8));
        port.close();
    }
}

TEST_F(PosixPortTest, EveryRateReachesTheLineOnOpenAndOnChange) {
    for (const std::uint32_t rate : kRates) {
        openPort(rate);
        EXPECT_EQ(peer.lineBaud(), rate);
        port.close();
    }

    openPort(9600);
    for (const std::uint32_t rate : kRates) {
        const PortStatus s = port.setBaudRate(rate);
        EXPECT_TRUE(s.ok()) << rate << ": " << s.text;
        EXPECT_EQ(peer.lineBaud(), rate);
    }
    // A rate change must not undo raw mode.
    ASSERT_TRUE(port.write("\n\x11", 1s));
    EXPECT_EQ(peer.read(3, 100ms), "\n\x11");

    EXPECT_EQ(port.setBaudRate(0).code, Code::BadRate);
    EXPECT_EQ(peer.lineBaud(), kRates[std::size(kRates) - 1]);
}

TEST_F(PosixPortTest, OpenDiscardsWhatTheLineCarriedBefore) {
    ASSERT_TRUE(peer.write("stale\r\n"));
    openPort();
    char c = 0;
    EXPECT_EQ(port.readByte(c, 20ms), ReadResult::Timeout);
    ASSERT_TRUE(peer.write("x"));
    ASSERT_EQ(port.readByte(c, 500ms), ReadResult::Byte);
    EXPECT_EQ(c, 'x');
}

TEST_F(PosixPortTest, ReadWaitsTheWholeWaitAndLittleMore) {
    openPort();
    char c = 0;
    auto start = Clock::now();
    EXPECT_EQ(port.readByte(c, 0us), ReadResult::Timeout);
    EXPECT_LT(elapsedSince(start), 2ms);

    std::vector<Clock::duration> late;
    for (const auto wait : {1ms, 5ms, 20ms, 50ms}) {
        for (int i = 0; i < 3; ++i) {
            start = Clock::now();
            EXPECT_EQ(port.readByte(c, wait), ReadResult::Timeout);
            const auto took = elapsedSince(start);
            EXPECT_GE(took, wait);
            late.push_back(took - wait);
        }
    }
    // Generous for loaded and sanitized runs; a millisecond rounding bug or a
    // 100 ms driver time-out still shows.
    std::sort(late.begin(), late.end());
    EXPECT_LT(late[late.size() / 2], 2ms);
    EXPECT_LT(late.back(), 15ms);
}

TEST_F(PosixPortTest, ByteArrivingMidWaitEndsTheWait) {
    openPort();
    std::thread sender([this] {
        std::this_thread::sleep_for(20ms);
        peer.write("A");
    });
    char c = 0;
    const auto start = Clock::now();
    const ReadResult r = port.readByte(c, 2s);
    const auto took = elapsedSince(start);
    sender.join();
    ASSERT_EQ(r, ReadResult::Byte);
    EXPECT_EQ(c, 'A');
    EXPECT_LT(took, 500ms);
}

TEST_F(PosixPortTest, HangUpEndsTheWaitAndStaysUntilReopened) {
    openPort();
    std::thread unplug([this] {
        std::this_thread::sleep_for(30ms);
        peer.hangUp();
    });
    char c = 0;
    auto start = Clock::now();
    const ReadResult r = port.readByte(c, 2s);
    const auto took = elapsedSince(start);
    unplug.join();
    EXPECT_EQ(r, ReadResult::HangUp);
    EXPECT_LT(took, 500ms);

    start = Clock::now();
    for (int i = 0; i < 3; ++i) EXPECT_EQ(port.readByte(c, 1s), ReadResult::HangUp);
    EXPECT_FALSE(port.write("#01ID\r\n", 1s));
    EXPECT_LT(elapsedSince(start), 50ms);

    PtyPeer fresh;
    ASSERT_TRUE(port.open(fresh.slavePath(), 9600).ok());
    ASSERT_TRUE(fresh.write("ok"));
    EXPECT_EQ(readThrough(port, 2), "ok");
}

TEST_F(PosixPortTest, LineIsExclusiveUntilClosed) {
    openPort();
    PosixPort second;
    const PortStatus s = second.open(peer.slavePath(), 9600);
    EXPECT_EQ(s.code, Code::Busy) << s.text;
    EXPECT_FALSE(second.isOpen());

    // Other programs are kept out by TIOCEXCL; root passes it, so ask the flag.
    const int fd = ::open(peer.slavePath().c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) {
        EXPECT_EQ(errno, EBUSY);
    } else {
        int exclusive = 0;
        EXPECT_EQ(::ioctl(fd, TIOCGEXCL, &exclusive), 0);
        EXPECT_EQ(exclusive, 1);
        ::close(fd);
    }

    port.close();
    EXPECT_TRUE(second.open(peer.slavePath(), 9600).ok());
}

TEST_F(PosixPortTest, WriteGivesUpAtItsLimitWhenNobodyReads) {
    openPort();
    const std::string flood(1 << 20, 'x');
    const auto start = Clock::now();
    EXPECT_FALSE(port.write(flood, 100ms));
    const auto took = elapsedSince(start);
    EXPECT_GE(took, 100ms);
    EXPECT_LT(took, 300ms);
}

TEST_F(PosixPortTest, WriteLargerThanTheBuffersCompletesWhileThePeerReads) {
    openPort();
    std::string block(256 * 1024, '\0');
    for (std::size_t i = 0; i < block.size(); ++i) block[i] = static_cast<char>(i * 7);
    std::string got;
    std::thread reader([&] { got = peer.read(block.size(), 5s); });
    EXPECT_TRUE(port.write(block, 5s));
    reader.join();
    EXPECT_TRUE(got == block);
}

TEST(PosixPortFailures, OpenReportsWhyAndLeavesThePortClosed) {
    PosixPort port;
    PortStatus s = port.open("/dev/tessary-no-such-port", 9600);
    EXPECT_EQ(s.code, Code::NotFound);
    EXPECT_NE(s.text.find("/dev/tessary-no-such-port"), std::string::npos) << s.text;
    EXPECT_FALSE(port.isOpen());

    s = port.open("/dev/null", 9600);
    EXPECT_EQ(s.code, Code::Refused) << s.text;
    EXPECT_FALSE(port.isOpen());

    PtyPeer peer;
    EXPECT_EQ(port.open(peer.slavePath(), 0).code, Code::BadRate);
    EXPECT_FALSE(port.isOpen());
}

TEST(PosixPortFailures, ClosedPortFailsEveryOperationAtOnce) {
    PtyPeer peer;
    PosixPort port;
    ASSERT_TRUE(port.open(peer.slavePath(), 9600).ok());
    port.close();
    port.close();
    char c = 0;
    const auto start = Clock::now();
    EXPECT_EQ(port.readByte(c, 1s), ReadResult::Error);
    EXPECT_FALSE(port.write("#01ID\r\n", 1s));
    EXPECT_EQ(port.setBaudRate(9600).code, Code::NotOpen);
    EXPECT_LT(elapsedSince(start), 50ms);
}

TEST_F(PosixPortTest, PacedReplyFromTheResponderArrivesWholeBeforeTheHangUp) {
    openPort(9600);
    peer.respond([](const std::string& line) -> std::optional<PtyPeer::Reply> {
        if (line != "#01ID") return std::nullopt;
        return PtyPeer::Reply{"ID 42\r\n", 20ms, 9600, true};
    });
    const auto start = Clock::now();
    ASSERT_TRUE(port.write("#02ID\r\n#01ID\r\n", 1s));
    std::string reply;
    char c = 0;
    ReadResult r;
    while ((r = port.readByte(c, 1s)) == ReadResult::Byte) reply.push_back(c);
    const auto took = elapsedSince(start);
    EXPECT_EQ(reply, "ID 42\r\n");
    EXPECT_EQ(r, ReadResult::HangUp);
    // 20 ms delay plus 7 bytes at ~1.04 ms each.
    EXPECT_GE(took, 27ms);
    EXPECT_LT(took, 200ms);
    EXPECT_EQ(peer.linesHeard(), (std::vector<std::string>{"#02ID", "#01ID"}));
}

}  // namespace
}  // namespace tessary::link
