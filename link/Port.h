#pragma once
// The byte pipe under DeviceLink. Two implementations: PosixPort (a real or
// pseudo terminal) and ScriptedPort (unit tests, virtual time).
//
// Threading: a Port is not thread-safe; DeviceLink calls it only under its
// link lock.

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <thread>
#include <utility>

namespace tessary::link {

using Clock = std::chrono::steady_clock;

// Why an open or a settings change failed; the text carries the OS message.
struct PortStatus {
    enum class Code {
        Ok,
        NotFound,     // no such device path
        Busy,         // exclusive: another program has it open; `owner` names it when known
        PermissionDenied,  // the system refused this user; text says what to do
        Refused,      // open worked, but the line settings were refused
        Unreadable,   // the open port's settings could not be read; nothing changed
        BadRate,      // rate that this port cannot be set to
        NotOpen,      // operation on a closed port
        OsError,      // anything else; text has strerror
    };
    PortStatus(Code c = Code::Ok, std::string t = {}, std::string o = {})
        : code(c), text(std::move(t)), owner(std::move(o)) {}
    Code code;
    std::string text;
    std::string owner;  // Busy: "pid 1234, minicom" when the system shows it, else empty
    bool ok() const { return code == Code::Ok; }
};

enum class ReadResult {
    Byte,     // one byte was stored
    Timeout,  // nothing arrived within the wait
    HangUp,   // peer gone / adapter unplugged; no byte will ever come
    Error,    // read failed for another reason (port not open included)
};

class Port {
public:
    virtual ~Port() = default;

    // Opens the device read-write, exclusive, raw 8N1 at `baud`; hardware flow
    // control is left as the device had it, software flow control is off;
    // pending input is flushed.
    virtual PortStatus open(const std::string& path, std::uint32_t baud) = 0;
    virtual void close() = 0;
    virtual bool isOpen() const = 0;

    // Changes only the baud rate of the open port; Unreadable when its settings
    // cannot be read.
    virtual PortStatus setBaudRate(std::uint32_t baud) = 0;

    // Writes all bytes, giving up after `limit`. Returns false on failure or
    // time-out (callers do not examine it; a failure surfaces as no reply).
    virtual bool write(std::string_view bytes, std::chrono::milliseconds limit) = 0;

    // Waits at most `wait` for one byte. Never blocks longer than `wait` plus
    // the OS's scheduling slack; wait == 0 only takes a byte already there.
    virtual ReadResult readByte(char& byte, std::chrono::microseconds wait) = 0;

    // The clock the link measures its deadlines with. Real ports use the steady
    // clock; the scripted port runs its own virtual time.
    virtual Clock::time_point now() const { return Clock::now(); }
    // How long `bytes` take on the wire at `baud` (10 bits a byte): a box cannot
    // answer a command before it has crossed.
    virtual std::chrono::microseconds wireTime(std::size_t bytes, std::uint32_t baud) const {
        return std::chrono::microseconds(baud ? bytes * 10'000'000 / baud : 0);
    }
    virtual void sleepFor(std::chrono::microseconds d) { std::this_thread::sleep_for(d); }
    // False for a line whose rate is fixed elsewhere (raw TCP to a device server):
    // setBaudRate cannot reach it.
    virtual bool canChangeRate() const { return true; }
};

}  // namespace tessary::link
