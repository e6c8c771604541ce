#pragma once
// Port over a Windows COM port ("\\.\COM7"; "COM7" is taken as that), opened
// exclusive and overlapped. Reads return at once with what the driver holds
// (COMMTIMEOUTS), and waiting is WaitCommEvent on an event with a bounded
// wait, never a busy loop. Bytes are taken from the driver a chunk at a time
// and handed out one by one.
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
    // Takes what the driver holds into in_; false on a failure (hungUp_ set when it is one).
    bool fill();
    ReadResult failed();

    void* handle_ = nullptr;  // HANDLE, kept out of the header with <windows.h>
    void* readEvent_ = nullptr;
    void* writeEvent_ = nullptr;
    bool hungUp_ = false;
    char in_[256]{};
    std::size_t inAt_ = 0, inEnd_ = 0;
};

}  // namespace tessary::link
