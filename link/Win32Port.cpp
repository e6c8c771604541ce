#include "link/Win32Port.h"

#include "link/Files.h"
#include "link/Win32Text.h"

#include <windows.h>

#include <algorithm>

namespace tessary::link {
namespace {

PortStatus fail(PortStatus::Code code, std::string text) { return PortStatus{code, std::move(text)}; }

std::string osText(const std::string& what, DWORD err) {
    return what + ": " + SystemErrorText(static_cast<int>(err));
}

// What a COM port's calls fail with once its USB adapter is gone.
bool isHangUpError(DWORD err) {
    return err == ERROR_ACCESS_DENIED || err == ERROR_BAD_COMMAND || err == ERROR_DEVICE_REMOVED ||
           err == ERROR_DEVICE_NOT_CONNECTED || err == ERROR_GEN_FAILURE || err == ERROR_NOT_READY ||
           err == ERROR_FILE_NOT_FOUND;
}

HANDLE h(void* p) { return static_cast<HANDLE>(p); }

// Milliseconds for a wait call, rounded up so a short wait still waits.
DWORD waitMs(Clock::duration d) {
    if (d <= Clock::duration::zero()) return 0;
    const auto ms = std::chrono::ceil<std::chrono::milliseconds>(d).count();
    return static_cast<DWORD>(std::min<long long>(ms, 0x7FFFFFFF));
}

// Drivers report the rate they really set; a UART divisor may miss by a little.
bool rateTaken(std::uint32_t asked, std::uint32_t got) {
    const auto diff = asked > got ? asked - got : got - asked;
    return std::uint64_t{diff} * 100 <= std::uint64_t{asked} * 3;
}

PortStatus applySettings(HANDLE port, std::uint32_t baud, bool raw) {
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    if (!::GetCommState(port, &dcb)) {
        const DWORD err = ::GetLastError();
        if (!raw) return fail(PortStatus::Code::Unreadable, osText("cannot read line settings", err));
        if (err == ERROR_INVALID_FUNCTION || err == ERROR_INVALID_PARAMETER || err == ERROR_NOT_SUPPORTED)
            return fail(PortStatus::Code::Refused, osText("not a serial device", err));
        return fail(PortStatus::Code::OsError, osText("cannot read line settings", err));
    }
    if (raw) {
        // 8N1, binary. Hardware flow control (CTS/RTS, DSR/DTR) belongs to the
        // line's owner and is kept; software flow control is off, so an XOFF in
        // noise cannot stop our output.
        dcb.fBinary = TRUE;
        dcb.fParity = FALSE;
        dcb.ByteSize = 8;
        dcb.Parity = NOPARITY;
        dcb.StopBits = ONESTOPBIT;
        dcb.fOutX = FALSE;
        dcb.fInX = FALSE;
        dcb.fErrorChar = FALSE;
        dcb.fNull = FALSE;
        dcb.fAbortOnError = FALSE;
    }
    dcb.BaudRate = baud;
    if (!::SetCommState(port, &dcb)) return fail(PortStatus::Code::Refused, osText("line settings refused", ::GetLastError()));
    DCB got{};
    got.DCBlength = sizeof got;
    if (!::GetCommState(port, &got)) return fail(PortStatus::Code::OsError, osText("cannot read line settings", ::GetLastError()));
    if (!rateTaken(baud, got.BaudRate))
        return fail(PortStatus::Code::BadRate,
                    std::to_string(baud) + " bit/s not supported (port runs at " + std::to_string(got.BaudRate) + ")");
    return {};
}

PortStatus openError(const std::string& path, DWORD err) {
    switch (err) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_BAD_NETPATH:
        return fail(PortStatus::Code::NotFound, osText(path, err));
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
        // A COM port open elsewhere refuses every other open with "access denied".
        return fail(PortStatus::Code::Busy, path + ": in use by another program");
    default:
        return fail(PortStatus::Code::OsError, osText(path, err));
    }
}

// "COM7" -> "\\.\COM7": the device namespace reaches COM10 and above too.
std::string devicePath(const std::string& path) {
    if (path.rfind("\\\\", 0) == 0) return path;
    if (path.size() > 3 && (path.rfind("COM", 0) == 0 || path.rfind("com", 0) == 0) &&
        path.find_first_not_of("0123456789", 3) == std::string::npos)
        return "\\\\.\\" + path;
    return path;
}

}  // namespace

Win32Port::~Win32Port() { close(); }

PortStatus Win32Port::open(const std::string& path, std::uint32_t baud) {
    close();
    if (baud == 0) return fail(PortStatus::Code::BadRate, "0 bit/s would hang up the line");

    // No sharing: Windows gives a COM port to one handle at a time.
    const HANDLE port = ::CreateFileW(Widen(devicePath(path)).c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                      OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr);
    if (port == INVALID_HANDLE_VALUE) return openError(path, ::GetLastError());
    auto give_up = [port](PortStatus status) {
        ::CloseHandle(port);
        return status;
    };
    if (::GetFileType(port) != FILE_TYPE_CHAR)
        return give_up(fail(PortStatus::Code::Refused, path + ": not a serial device"));
    if (PortStatus s = applySettings(port, baud, true); !s.ok()) {
        s.text = path + ": " + s.text;
        return give_up(std::move(s));
    }
    // A read returns at once with what is there; the wait is ours, on an event.
    COMMTIMEOUTS timeouts{};
    timeouts.ReadIntervalTimeout = MAXDWORD;
    if (!::SetCommTimeouts(port, &timeouts) || !::SetCommMask(port, EV_RXCHAR | EV_ERR | EV_BREAK))
        return give_up(fail(PortStatus::Code::Refused, osText(path + ": line settings refused", ::GetLastError())));
    // Whatever the line carried before we owned it is noise to us.
    if (!::PurgeComm(port, PURGE_RXABORT | PURGE_RXCLEAR))
        return give_up(fail(PortStatus::Code::OsError, osText(path + ": cannot flush input", ::GetLastError())));
    const HANDLE readEvent = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
    const HANDLE writeEvent = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
    if (!readEvent || !writeEvent) {
        const DWORD err = ::GetLastError();
        if (readEvent) ::CloseHandle(readEvent);
        if (writeEvent) ::CloseHandle(writeEvent);
        return give_up(fail(PortStatus::Code::OsError, osText(path, err)));
    }
    handle_ = port;
    readEvent_ = readEvent;
    writeEvent_ = writeEvent;
    hungUp_ = false;
    inAt_ = inEnd_ = 0;
    return {};
}

void Win32Port::close() {
    if (!handle_) return;
    if (!hungUp_) {
        // Give queued output a short while to leave, then discard the rest
        // (flow control held off would keep it for ever), so close stays prompt.
        const auto deadline = Clock::now() + std::chrono::milliseconds(250);
        COMSTAT stat{};
        DWORD errors = 0;
        while (::ClearCommError(h(handle_), &errors, &stat) && stat.cbOutQue > 0 && Clock::now() < deadline)
            ::Sleep(2);
        ::PurgeComm(h(handle_), PURGE_TXABORT | PURGE_TXCLEAR | PURGE_RXABORT | PURGE_RXCLEAR);
    }
    ::CloseHandle(h(handle_));
    ::CloseHandle(h(readEvent_));
    ::CloseHandle(h(writeEvent_));
    handle_ = readEvent_ = writeEvent_ = nullptr;
    hungUp_ = false;
    inAt_ = inEnd_ = 0;
}

PortStatus Win32Port::setBaudRate(std::uint32_t baud) {
    if (!handle_) return fail(PortStatus::Code::NotOpen, "port not open");
    if (baud == 0) return fail(PortStatus::Code::BadRate, "0 bit/s would hang up the line");
    return applySettings(h(handle_), baud, false);
}

bool Win32Port::write(std::string_view bytes, std::chrono::milliseconds limit) {
    if (!handle_ || hungUp_) return false;
    const auto deadline = Clock::now() + limit;
    std::size_t done = 0;
    while (done < bytes.size()) {
        OVERLAPPED ov{};
        ov.hEvent = h(writeEvent_);
        ::ResetEvent(ov.hEvent);
        DWORD n = 0;
        const DWORD size = static_cast<DWORD>(std::min<std::size_t>(bytes.size() - done, 1 << 16));
        if (!::WriteFile(h(handle_), bytes.data() + done, size, &n, &ov)) {
            const DWORD err = ::GetLastError();
            if (err != ERROR_IO_PENDING) {
                if (isHangUpError(err)) hungUp_ = true;
                return false;
            }
            // Output held back (flow control, a slow line): wait, but only until the limit.
            if (::WaitForSingleObject(ov.hEvent, waitMs(deadline - Clock::now())) != WAIT_OBJECT_0) {
                ::CancelIoEx(h(handle_), &ov);
                ::GetOverlappedResult(h(handle_), &ov, &n, TRUE);
                return false;
            }
            if (!::GetOverlappedResult(h(handle_), &ov, &n, FALSE)) {
                if (isHangUpError(::GetLastError())) hungUp_ = true;
                return false;
            }
        }
        if (n == 0) return false;
        done += n;
    }
    return true;
}

bool Win32Port::fill() {
    OVERLAPPED ov{};
    ov.hEvent = h(readEvent_);
    ::ResetEvent(ov.hEvent);
    DWORD n = 0;
    if (!::ReadFile(h(handle_), in_, sizeof in_, &n, &ov)) {
        const DWORD err = ::GetLastError();
        // With these time-outs a pending read ends at once with what is there.
        if (err != ERROR_IO_PENDING || !::GetOverlappedResult(h(handle_), &ov, &n, TRUE)) {
            if (isHangUpError(err == ERROR_IO_PENDING ? ::GetLastError() : err)) hungUp_ = true;
            return false;
        }
    }
    inAt_ = 0;
    inEnd_ = n;
    return true;
}

ReadResult Win32Port::failed() { return hungUp_ ? ReadResult::HangUp : ReadResult::Error; }

ReadResult Win32Port::readByte(char& byte, std::chrono::microseconds wait) {
    if (!handle_) return ReadResult::Error;
    if (hungUp_) return ReadResult::HangUp;
    const auto deadline = Clock::now() + wait;
    for (;;) {
        if (inAt_ < inEnd_) {
            byte = in_[inAt_++];
            return ReadResult::Byte;
        }
        if (!fill()) return failed();
        if (inEnd_ > 0) continue;

        // Nothing there. Silence and a pulled adapter both read as nothing;
        // only the driver's state tells them apart.
        COMSTAT stat{};
        DWORD errors = 0;
        if (!::ClearCommError(h(handle_), &errors, &stat)) {
            if (isHangUpError(::GetLastError())) hungUp_ = true;
            return failed();
        }
        if (stat.cbInQue > 0) continue;
        const DWORD ms = waitMs(deadline - Clock::now());
        if (ms == 0) return ReadResult::Timeout;

        OVERLAPPED ov{};
        ov.hEvent = h(readEvent_);
        ::ResetEvent(ov.hEvent);
        DWORD events = 0;
        if (!::WaitCommEvent(h(handle_), &events, &ov)) {
            const DWORD err = ::GetLastError();
            if (err != ERROR_IO_PENDING) {
                if (isHangUpError(err)) hungUp_ = true;
                return failed();
            }
            // A byte that came between the look above and the start of the wait
            // raises no event of its own: look once more before sleeping.
            const bool queued = ::ClearCommError(h(handle_), &errors, &stat) && stat.cbInQue > 0;
            if (queued || ::WaitForSingleObject(ov.hEvent, ms) != WAIT_OBJECT_0) {
                // Setting the mask again ends the pending wait.
                ::SetCommMask(h(handle_), EV_RXCHAR | EV_ERR | EV_BREAK);
                DWORD ignored = 0;
                ::GetOverlappedResult(h(handle_), &ov, &ignored, TRUE);
                if (!queued && Clock::now() >= deadline) {
                    // The last look: a byte may have come just as the wait ended.
                    if (!fill()) return failed();
                    if (inEnd_ == 0) return ReadResult::Timeout;
                }
                continue;
            }
            DWORD ignored = 0;
            if (!::GetOverlappedResult(h(handle_), &ov, &ignored, FALSE)) {
                if (isHangUpError(::GetLastError())) hungUp_ = true;
                return failed();
            }
        }
        // An event with no byte (a line error, a break, a wait ended by the
        // mask) loops back; the deadline bounds it.
        if (Clock::now() >= deadline) {
            if (!fill()) return failed();
            if (inEnd_ == 0) return ReadResult::Timeout;
        }
    }
}

}  // namespace tessary::link
