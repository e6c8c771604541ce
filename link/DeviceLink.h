#pragma once
// DeviceLink: the one road to the boxes. One port, one synchronous exchange
// (SendCommand) that writes a command and reads back one reply line under a
// deadline counted from the start of the exchange.
//
// Threading: every public member may be called from any thread. One mutex is
// held for each whole exchange (write, reads, capture write) and for a raw
// block write, so the window thread and the capture thread never interleave.

#include "link/Port.h"

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>

namespace tessary::link {

// Sentinels, exactly as on the wire and in the result.
inline constexpr std::string_view kNoWrite = "NoWrite";
inline constexpr std::string_view kNoConnect = "NoConnect";
inline constexpr std::string_view kBroadcast = "#00";

// Why the last exchange gave what it gave. The result text stays "NoConnect"
// for every failure; this is for the operator's status bar and for tests.
enum class ExchangeOutcome {
    Line,          // a non-empty line arrived
    Broadcast,     // sent to #00, nothing awaited
    NotOpen,       // no port open
    NoByte,        // silence until the deadline
    NoLineEnd,     // bytes came, but no line feed before the first gap past the deadline
    EmptyLine,     // a line feed with nothing before it
    HangUp,        // the line hung up (adapter unplugged, peer closed)
    Overflow,      // no line feed within kMaxLineBytes
};
std::string_view OutcomeText(ExchangeOutcome outcome);

// Past the deadline a reply still arriving is read on until a gap this long.
inline constexpr std::chrono::milliseconds kTrailingGap{110};
// A reply without a line feed is cut here (a box at the wrong rate can stream noise).
inline constexpr std::size_t kMaxLineBytes = 64 * 1024;

// One exchange as the traffic observer sees it. `command` is as written ("NoWrite" for a read only).
struct TrafficRecord {
    std::chrono::system_clock::time_point time;  // when the exchange began
    std::string port, command, reply;
    ExchangeOutcome outcome;
};

// Turns a port name ("COM1") into a device path; empty when unknown.
using PortResolver = std::function<std::string(const std::string& portName)>;

class DeviceLink {
public:
    DeviceLink(std::unique_ptr<Port> port, PortResolver resolver);
    ~DeviceLink();
    DeviceLink(const DeviceLink&) = delete;
    DeviceLink& operator=(const DeviceLink&) = delete;

    // Settings used by the next OpenComPort / ApplyBaudRate / SendCommand.
    void SetLinkPortName(std::string name);
    std::string LinkPortName() const;
    void SetLinkBaudRate(std::uint32_t baud);
    std::uint32_t LinkBaudRate() const;
    void SetResponseTimeoutMs(std::uint32_t ms);
    std::uint32_t ResponseTimeoutMs() const;

    // Set by the connect dialog's Abort; while set OpenComPort refuses.
    std::atomic<bool> SearchAborted{false};

    // Runs pending window events; OpenComPort calls it first so Abort is seen.
    void SetEventPump(std::function<void()> pump);

    // (Re)opens LinkPortName at LinkBaudRate. False when aborted or on failure;
    // LastOpenStatus() says why.
    bool OpenComPort();
    bool SetPortTimeouts();
    // Switches the open port to LinkBaudRate. `report` receives the failure texts
    // "GetCommState failed" / "SetCommState failed".
    bool ApplyBaudRate(const std::function<void(const std::string&)>& report = {});
    void ClosePort();
    bool IsOpen() const;
    PortStatus LastOpenStatus() const;
    std::string DevicePath() const;  // path of the open port, or the one last tried

    // The exchange. Returns the reply line (CR, LF and NUL removed), "NoConnect"
    // or "#00". Never throws, never blocks past the deadline plus one trailing gap
    // (or the 64 KiB line bound).
    std::string SendCommand(std::string command);
    ExchangeOutcome LastOutcome() const;

    // Raw bytes outside an exchange (the coefficient block write), under the lock.
    bool WriteRaw(std::string_view bytes);
    // Holds the link for a sequence of raw writes and exchanges on this thread.
    std::unique_lock<std::recursive_mutex> Hold();

    // The all-serial copy: "< " + command and "> " + reply + "\r\n" lines.
    // Opening appends to the file (created if missing). False with errno text
    // in `error` when it cannot be opened.
    bool OpenAllSerialFile(const std::string& path, std::string* error = nullptr);
    void CloseAllSerialFile();
    bool AllSerialFileOpen() const;
    void SetAllSerial(bool on);  // mirrors the check box; read at each exchange
    bool AllSerial() const;
    // Called after every exchange of any thread, with the link held: it must
    // only queue the record (never call the link or a widget). Empty: none.
    void SetTrafficObserver(std::function<void(const TrafficRecord&)> observer);

private:
    void captureLocked(std::string_view prefix, std::string_view text);
    std::string exchangeLocked(const std::string& command);
    std::chrono::milliseconds writeLimitLocked(std::size_t bytes) const;

    mutable std::recursive_mutex mutex_;  //!< guards everything below and the port
    std::unique_ptr<Port> port_;
    PortResolver resolver_;
    std::function<void()> pump_;
    std::string portName_ = "COM1";
    std::string devicePath_;
    std::uint32_t baud_ = 9600;
    std::uint32_t timeoutMs_ = 1000;
    PortStatus openStatus_{PortStatus::Code::NotOpen, "no port opened yet"};
    ExchangeOutcome outcome_ = ExchangeOutcome::NotOpen;
    std::FILE* capture_ = nullptr;
    std::atomic<bool> allSerial_{false};
    std::function<void(const TrafficRecord&)> observer_;
};

}  // namespace tessary::link
