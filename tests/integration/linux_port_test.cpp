#include "link/LinuxPort.h"

#include "PtyPeer.h"

#include <sys/ioctl.h>

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <thread>
#include <unistd.h>

namespace tessary::link {
namespace {

using namespace std::chrono_literals;
using test::PtyPeer;
using Code = PortStatus::Code;

std::string readThrough(Port& port, std::size_t count) {
    std::string got;
    char c = 0;
    while (got.size() < count && port.readByte(c, 500ms) == ReadResult::Byte) got.push_back(c);
    return got;
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
    std::string all;
    for (int i = 0; i < 256; ++i) all.push_back(static_cast<char>(i));

    // CR, LF, NUL, 0xFF, XON/XOFF, ^C, ^D, DEL: a cooked tty would alter each one.
    ASSERT_TRUE(peer.write(all));
    EXPECT_EQ(readThrough(port, all.size()), all);
    EXPECT_EQ(peer.read(1, 30ms), "") << "the port echoed";

    ASSERT_TRUE(port.write(all, 1s));
    EXPECT_EQ(peer.read(all.size() + 1, 200ms), all);
}

TEST_F(PosixPortTest, EveryRateReachesTheLineOnOpenAndOnChangeInRaw8N1) {
    // Hardware flow control belongs to the line's owner: both settings keep it.
    // Software flow control is off, so XON/XOFF in noise cannot stop our output.
    termios2 before = peer.line();
    before.c_cflag |= CRTSCTS;
    before.c_iflag |= IXON | IXOFF | IXANY;
    peer.setLine(before);

    constexpr std::uint32_t kRates[] = {1200, 2400, 4800, 9600, 14400, 19200, 38400, 57600, 115200};
    for (std::size_t i = 0; i < std::size(kRates); ++i) {
        openPort(kRates[i]);
        EXPECT_EQ(peer.line().c_ospeed, kRates[i]);
        const std::uint32_t other = kRates[std::size(kRates) - 1 - i];
        const PortStatus s = port.setBaudRate(other);
        EXPECT_TRUE(s.ok()) << other << ": " << s.text;
        const termios2 after = peer.line();
        EXPECT_EQ(after.c_ospeed, other);
        // Programs on plain termios read an odd rate's BOTHER as "speed 0".
        EXPECT_EQ((after.c_cflag & CBAUD) == BOTHER, other == 14400) << other;
        EXPECT_EQ(after.c_cflag & (CSIZE | PARENB | CSTOPB | CRTSCTS), static_cast<tcflag_t>(CS8 | CRTSCTS));
        EXPECT_EQ(after.c_iflag & (IXON | IXOFF | IXANY), 0u);
        // A rate change must not undo raw mode; an XOFF from the far end stops nothing.
        ASSERT_TRUE(peer.write("\x13"));
        ASSERT_TRUE(port.write("\n\x11", 1s));
        EXPECT_EQ(peer.read(2, 1s), "\n\x11");
        char c = 0;
        EXPECT_EQ(port.readByte(c, 1s), ReadResult::Byte);
        EXPECT_EQ(c, '\x13');
        port.close();
    }
}

TEST_F(PosixPortTest, ByteOrHangUpEndsTheWaitAndTheHangUpStaysUntilReopened) {
    openPort();
    std::thread farEnd([this] {
        std::this_thread::sleep_for(20ms);
        peer.write("A");
        std::this_thread::sleep_for(30ms);
        peer.hangUp();
    });
    // Waits far longer than the bounds: only a wait cut short meets them, however loaded the machine.
    char c = 0;
    auto start = Clock::now();
    EXPECT_EQ(port.readByte(c, 10s), ReadResult::Byte);
    EXPECT_EQ(c, 'A');
    EXPECT_EQ(port.readByte(c, 10s), ReadResult::HangUp);
    EXPECT_LT(elapsedSince(start), 5s);
    farEnd.join();

    start = Clock::now();
    for (int i = 0; i < 3; ++i) EXPECT_EQ(port.readByte(c, 10s), ReadResult::HangUp);
    EXPECT_FALSE(port.write("#01ID\r\n", 10s));
    EXPECT_LT(elapsedSince(start), 5s);

    PtyPeer fresh;
    ASSERT_TRUE(fresh.write("stale\r\n"));  // came before the port was ours: open discards it
    ASSERT_TRUE(port.open(fresh.slavePath(), 9600).ok());
    ASSERT_TRUE(fresh.write("ok"));
    EXPECT_EQ(readThrough(port, 2), "ok");
}

TEST_F(PosixPortTest, LineIsExclusiveUntilClosed) {
    openPort();
    // Other programs are kept out by TIOCEXCL; root passes it, so ask the flag.
    // (A second open of ours is Busy: the owner tests show that.)
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
    EXPECT_TRUE(PosixPort().open(peer.slavePath(), 9600).ok());
}

TEST_F(PosixPortTest, FailedOpenSaysWhyAndAClosedPortFailsEveryOperationAtOnce) {
    openPort();
    port.close();
    port.close();

    const PortStatus s = port.open("/dev/tessary-no-such-port", 9600);
    EXPECT_EQ(s.code, Code::NotFound);
    EXPECT_NE(s.text.find("/dev/tessary-no-such-port"), std::string::npos) << s.text;
    EXPECT_EQ(port.open("/dev/null", 9600).code, Code::Refused);
    EXPECT_EQ(port.open(peer.slavePath(), 0).code, Code::BadRate);

    char c = 0;
    const auto start = Clock::now();
    EXPECT_EQ(port.readByte(c, 10s), ReadResult::Error);
    EXPECT_FALSE(port.write("#01ID\r\n", 10s));
    EXPECT_EQ(port.setBaudRate(9600).code, Code::NotOpen);
    EXPECT_LT(elapsedSince(start), 5s);
}

}  // namespace
}  // namespace tessary::link
