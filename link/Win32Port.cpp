#include "link/Win32Port.h"

#include "link/Files.h"
#include "link/System.h"
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
    case ERROR_LOCK_VIOLATION:  // Wine: the tty is held exclusive (TIOCEXCL) by a Linux program
    case ERROR_BUSY:
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

bool PortPresent(const std::string& path) {
    const HANDLE port = ::CreateFileW(Widen(devicePath(path)).c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                      OPEN_EXISTING, 0, nullptr);
    if (port != INVALID_HANDLE_VALUE) {
        ::CloseHandle(port);
        return true;
    }
    // Held, by another program or by our own handle of before: there all the same.
    const DWORD err = ::GetLastError();
    return err == ERROR_ACCESS_DENIED || err == ERROR_SHARING_VIOLATION;
}

Win32Port::~Win32Port() { close(); }

PortStatus Win32Port::open(const std::string& path, std::uint32_t baud) {
    close();
    if (baud == 0) return fail(PortStatus::Code::BadRate, "0 bit/s would hang up the line");

    // No sharing: Windows gives a COM port to one handle at a time.
    const HANDLE port = ::CreateFileW(Widen(devicePath(path)).c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                      OPEN_EXISTING, 0, nullptr);
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
    COMMTIMEOUTS timeouts{};
    timeouts.ReadIntervalTimeout = MAXDWORD;  // a read returns at once with what is there
    if (!::SetCommTimeouts(port, &timeouts))
        return give_up(fail(PortStatus::Code::Refused, osText(path + ": line settings refused", ::GetLastError())));
    // Whatever the line carried before we owned it is noise to us.
    if (!::PurgeComm(port, PURGE_RXABORT | PURGE_RXCLEAR))
        return give_up(fail(PortStatus::Code::OsError, osText(path + ": cannot flush input", ::GetLastError())));
    handle_ = port;
    timeouts_ = {0, 0};
    hungUp_ = false;
    inAt_ = inEnd_ = 0;
    return {};
}

bool Win32Port::setTimeouts(std::uint32_t readMs, std::uint32_t writeMs) {
    if (timeouts_.read == readMs && timeouts_.write == writeMs) return true;
    // Interval and multiplier at MAXDWORD with a constant: the read returns as
    // soon as a byte is there, or after the constant. Without a constant it
    // returns at once.
    COMMTIMEOUTS t{};
    t.ReadIntervalTimeout = MAXDWORD;
    t.ReadTotalTimeoutMultiplier = readMs ? MAXDWORD : 0;
    t.ReadTotalTimeoutConstant = readMs;
    t.WriteTotalTimeoutConstant = writeMs;
    if (!::SetCommTimeouts(h(handle_), &t)) {
        if (isHangUpError(::GetLastError())) hungUp_ = true;
        return false;
    }
    timeouts_ = {readMs, writeMs};
    return true;
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
    handle_ = nullptr;
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
        // Output held back (flow control, a slow line) waits in the driver, but only until the limit.
        const DWORD ms = waitMs(deadline - Clock::now());
        if (ms == 0 || !setTimeouts(timeouts_.read, ms)) return false;
        DWORD n = 0;
        const DWORD size = static_cast<DWORD>(std::min<std::size_t>(bytes.size() - done, 1 << 16));
        if (!::WriteFile(h(handle_), bytes.data() + done, size, &n, nullptr)) {
            if (isHangUpError(::GetLastError())) hungUp_ = true;
            return false;
        }
        if (n == 0) return false;
        done += n;
    }
    return true;
}

ReadResult Win32Port::readByte(char& byte, std::chrono::microseconds wait) {
    if (!handle_) return ReadResult::Error;
    if (hungUp_) return ReadResult::HangUp;
    if (inAt_ < inEnd_) {
        byte = in_[inAt_++];
        return ReadResult::Byte;
    }
    // What the driver holds, at once; then, when it held nothing, a wait of
    // the driver's for one byte, which ends with that byte or the time-out.
    // (Wine waits out the time-out for more than one byte, Windows does not.)
    const DWORD ms = waitMs(wait);
    for (DWORD want : {DWORD{sizeof in_}, DWORD{1}}) {
        const DWORD readMs = want == 1 ? ms : 0;
        if (want == 1 && ms == 0) break;
        if (!setTimeouts(readMs, timeouts_.write)) return hungUp_ ? ReadResult::HangUp : ReadResult::Error;
        DWORD n = 0;
        if (!::ReadFile(h(handle_), in_, want, &n, nullptr)) {
            if (!isHangUpError(::GetLastError())) return ReadResult::Error;
            hungUp_ = true;
            return ReadResult::HangUp;
        }
        if (n > 0) {
            inAt_ = 1;
            inEnd_ = n;
            byte = in_[0];
            return ReadResult::Byte;
        }
    }
    // Nothing came. Silence and a pulled adapter both read as nothing; only
    // the driver's state tells them apart.
    COMSTAT stat{};
    DWORD errors = 0;
    if (!::ClearCommError(h(handle_), &errors, &stat)) {
        if (!isHangUpError(::GetLastError())) return ReadResult::Error;
        hungUp_ = true;
        return ReadResult::HangUp;
    }
    return ReadResult::Timeout;
}

}  // namespace tessary::link
