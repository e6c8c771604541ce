#pragma once
// Port over a Windows COM port ("\\.\COM7"; "COM7" is taken as that), opened
// exclusive. The waits are the driver's, bounded by COMMTIMEOUTS: a read
// returns at once with what the driver holds, or, when it holds nothing, with
// the first byte that comes or at the time-out; a write gives up at its
// limit. Never a busy loop. Bytes are taken a chunk at a time and handed out
// one by one.
//
// Hang-up (the USB adapter pulled) is permanent for the open handle, as on
// Linux: once a call fails with a removed device's error, readByte returns
// HangUp at once until the port is reopened, and write fails.

#include "link/Port.h"

#include <cstddef>

namespace tessary::link {

class Win32Port final : public Port {
public:
    Win32Port() = default;
    ~Win32Port() override;
    Win32Port(const Win32Port&) = delete;
    Win32Port& operator=(const Win32Port&) = delete;

    PortStatus open(const std::string& path, std::uint32_t baud) override;
    void close() override;
    bool isOpen() const override { return handle_ != nullptr; }
    PortStatus setBaudRate(std::uint32_t baud) override;
    bool write(std::string_view bytes, std::chrono::milliseconds limit) override;
    ReadResult readByte(char& byte, std::chrono::microseconds wait) override;

private:
    // The driver's read and write time-outs, set only when they change.
    bool setTimeouts(std::uint32_t readMs, std::uint32_t writeMs);

    void* handle_ = nullptr;  // HANDLE, kept out of the header with <windows.h>
    struct {
        std::uint32_t read, write;
    } timeouts_{0, 0};
    bool hungUp_ = false;
    char in_[256]{};
    std::size_t inAt_ = 0, inEnd_ = 0;
};

}  // namespace tessary::link
