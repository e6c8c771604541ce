#pragma once
// Port over a POSIX terminal device (a serial adapter or a pseudo-terminal),
// Linux only: any bit rate is set through termios2, so 14400 works too.
//
// Exclusive: TIOCEXCL keeps other users out, and an flock on the device keeps
// out a second instance of this program even when it runs as root (the kernel
// lets CAP_SYS_ADMIN past TIOCEXCL). A terminal that another process has
// open, lock or none, is refused as Busy, naming the processes.
//
// Hang-up (adapter unplugged, pty master closed) is permanent for the open
// descriptor: once seen, readByte returns HangUp at once until the port is
// reopened, and write fails.

#include "link/Port.h"

namespace tessary::link {

class PosixPort final : public Port {
public:
    PosixPort() = default;
    ~PosixPort() override;
    PosixPort(const PosixPort&) = delete;
    PosixPort& operator=(const PosixPort&) = delete;

    // A failure to read the settings is OsError, a failure to write them
    // Refused, and a rate the driver did not take BadRate.
    PortStatus open(const std::string& path, std::uint32_t baud) override;
    void close() override;
    bool isOpen() const override { return fd_ >= 0; }
    PortStatus setBaudRate(std::uint32_t baud) override;
    bool write(std::string_view bytes, std::chrono::milliseconds limit) override;
    ReadResult readByte(char& byte, std::chrono::microseconds wait) override;

private:
    int fd_ = -1;
    bool hungUp_ = false;
};

}  // namespace tessary::link
