#pragma once
// DeviceLink: the one road to the boxes. One port, one synchronous exchange
// (SendCommand) that writes a command and reads back one reply line under a
// deadline counted from the start of the exchange.
//
// Threading: every public member may be called from any thread. The line (a
// LineLock, handed over in the order threads asked for it) is held for each
// whole exchange (write, reads, capture write) and for a raw block write, so
// the window thread and the capture thread never interleave. A stream
// (several exchanges and raw writes that belong together) keeps the line for
// its whole length with Hold(). The settings (port name, baud rate, time-out)
// and what the last open said are read and written without waiting for the
// line. Nothing here calls back into the operator while the line is held.

#include "link/Files.h"
#include "link/LateAnswers.h"
#include "link/LineLock.h"
#include "link/Port.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace tessary::link {

// Sentinels, exactly as on the wire and in the result.
inline constexpr std::string_view kNoWrite = "NoWrite";
inline constexpr std::string_view kNoConnect = "NoConnect";
inline constexpr std::string_view kBroadcast = "#00";

// Why an exchange gave what it gave. The result text stays "NoConnect" for
// every failure; this is for the operator's status bar and for tests.
enum class ExchangeOutcome {
    Line,          // a non-empty line of printable ASCII arrived
    Garbled,       // a line arrived, but with bytes outside printable ASCII; shown as it came
    Broadcast,     // sent to #00, nothing awaited
    NotOpen,       // no port open
    NoByte,        // silence until the deadline and the last read after it
    NoLineEnd,     // bytes came, but no line feed before the first gap past the deadline
    EmptyLine,     // a line feed with nothing before it
    HangUp,        // the line hung up (adapter unplugged, peer closed)
    Overflow,      // no line feed within kMaxLineBytes or kExchangeOverrun past the deadline
    NotItsAnswer,  // filed as data while another answer was owed: two lines came, or one at a time
                   // this box never answers at; it may be another box's late answer, so it is not filed
    Stopped,       // the exchange's stop flag was set while it waited
};
std::string_view OutcomeText(ExchangeOutcome outcome);

// What one exchange gave: the reply text as SendCommand returns it, why, and
// whether input was thrown away: input already waiting or a line that began
// before the command had crossed the wire (stale: an answer that came too late
// for an earlier command), or bytes that came while this exchange waited for a
// quiet line (late, see ExchangeOptions). Both can happen in one exchange.
struct Reply {
    std::string text;
    ExchangeOutcome outcome = ExchangeOutcome::NotOpen;
    bool staleDiscarded = false;
    bool lateDiscarded = false;
    // The box whose late answer this exchange saw (and did not file), as "#07";
    // DeviceLink::TimeoutFor gives it a longer time-out from then on.
    std::string lateFrom;
    // From the moment the command had crossed the wire to the answer's first
    // byte; negative when no byte came.
    std::chrono::microseconds answerAfter{-1};
};
// For the status bar: empty for a clean answer (or a broadcast), otherwise what
// went wrong, e.g. "NoConnect: no byte came before the time-out".
std::string ReplyStatusText(const Reply& reply);

// How one exchange is run.
struct ExchangeOptions {
    constexpr ExchangeOptions(std::chrono::milliseconds t = std::chrono::milliseconds(0), bool filed = false,
                              const std::atomic<bool>* stopFlag = nullptr)
        : timeout(t), filedAsData(filed), stop(stopFlag) {}
    // This exchange's time-out; 0: the link's ResponseTimeoutMs. A flow with a
    // time-out of its own (the scan, the copy wait, the capture) gives it here
    // and leaves the link's setting alone.
    std::chrono::milliseconds timeout{0};
    // The answer is filed as data (capture, readings, the information read-out).
    // After such an exchange ended with no byte, the next one that files its
    // answer waits for a quiet line before writing: whatever arrives within the
    // ended exchange's own time-out (and the gap of a last read) is a late
    // answer, and is discarded rather than taken for the new command's. Other
    // exchanges keep their timing.
    //
    // While such an answer is still owed (see LateAnswers), an exchange filed
    // as data also looks for a second line in the time its own box's answer
    // takes, and files nothing when two came or when its one line came at a
    // time this box never answers at.
    bool filedAsData = false;
    // Looked at while the exchange waits (every kStopLook): once set, it ends
    // as Stopped, without writing when it had not written yet.
    const std::atomic<bool>* stop = nullptr;
};
inline constexpr ExchangeOptions kFiledAsData{std::chrono::milliseconds(0), true};

// The first byte is awaited until the deadline and no longer; a reply already
// arriving at the deadline is read on until it pauses for a gap this long.
// It is also the last read added to the wait for a quiet line.
inline constexpr std::chrono::milliseconds kTrailingGap{110};
// A reply without a line feed is cut here (a box at the wrong rate can stream noise)...
inline constexpr std::size_t kMaxLineBytes = 64 * 1024;
// ...and so is any exchange that runs this long past its time-out.
inline constexpr std::chrono::milliseconds kExchangeOverrun{2000};
// How often a wait looks at the exchange's stop flag.
inline constexpr std::chrono::milliseconds kStopLook{50};
// A line with no byte for this long is quiet (see AwaitQuiet).
inline constexpr std::chrono::milliseconds kQuietGap{150};

// Result of ApplyBaudRate. The failure text (the port's own reason) is for
// the caller to show once the link is free.
struct BaudRateChange {
    bool applied = false;
    std::vector<std::string> failures;
};

// The link held for a stream; released when it goes out of scope (or on
// Release()). The holding thread may run exchanges and raw writes under it;
// every other thread's exchange waits. Do not ask the operator while holding.
class [[nodiscard]] LinkHold {
public:
    explicit LinkHold(LineLock& line) : line_(&line) { line.lock(); }
    LinkHold(LinkHold&& other) noexcept : line_(std::exchange(other.line_, nullptr)) {}
    LinkHold& operator=(LinkHold&&) = delete;
    ~LinkHold() { Release(); }
    void Release() {
        if (line_) std::exchange(line_, nullptr)->unlock();
    }

private:
    LineLock* line_;
};

// One exchange as the traffic observer sees it. `command` is as written ("NoWrite" for a read only).
struct TrafficRecord {
    std::chrono::system_clock::time_point time;  // when the exchange began
    std::string port, command, reply;
    ExchangeOutcome outcome;
    bool lateDiscarded = false;  // it waited for a quiet line and threw a late answer away
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
    // How long `bytes` take on the wire at the link's rate.
    std::chrono::microseconds WireTime(std::size_t bytes) const { return port_->wireTime(bytes, LinkBaudRate()); }
    void SetResponseTimeoutMs(std::uint32_t ms);
    std::uint32_t ResponseTimeoutMs() const;

    // (Re)opens LinkPortName at LinkBaudRate. False on failure; LastOpenStatus()
    // says why.
    bool OpenComPort();
    // Opens `path` for the port in use at its rate, without the event pump: an
    // unplugged adapter found again, perhaps under another name. False on failure.
    bool ReopenDevice(const std::string& path);
    // Switches the open port to LinkBaudRate without reopening it. When the
    // port's settings cannot be read, nothing is applied (a port that cannot
    // say its settings does not take new ones).
    BaudRateChange ApplyBaudRate();
    void ClosePort();
    bool IsOpen() const;
    // False when the line last opened keeps a rate set elsewhere (raw TCP to a
    // device server): ApplyBaudRate cannot reach it.
    bool CanChangeRate() const { return canChangeRate_.load(); }
    PortStatus LastOpenStatus() const;
    std::string DevicePath() const;  // path of the open port, or the one last tried

    // The exchange. Input already waiting is discarded before a command is
    // written ("NoWrite" reads it instead). The reply text is the line (CR, LF
    // and NUL removed), "NoConnect" or "#00". The deadline counts from the
    // start; the first byte is awaited until it, and a line still arriving
    // there is read on until a gap of kTrailingGap. Never throws, never holds
    // the line longer than the time-out plus kExchangeOverrun (plus, filed as
    // data, the wait for a quiet line: at most the time-out it was owed to).
    Reply Exchange(std::string command, ExchangeOptions options = {});
    // Exchange(command).text.
    std::string SendCommand(std::string command);
    // The time-out to give `address` ("#07") when `base` is its own: longer
    // for a box seen answering late, by as much as it was late and a quarter
    // more (at most 60 s).
    std::chrono::milliseconds TimeoutFor(const std::string& address, std::chrono::milliseconds base) const;
    // Reads and throws away whatever the line sends until it has been quiet
    // for kQuietGap, for at most `bound` or until `stopped` says so. True when
    // quiet: a box still streaming (a stopped log dump) must not answer the
    // first command of a program that opens the line.
    bool AwaitQuiet(std::chrono::milliseconds bound, const std::function<bool()>& stopped = {});

    // Raw bytes outside an exchange (the coefficient block write), under the lock.
    bool WriteRaw(std::string_view bytes);
    // Throws away input already waiting, as an exchange does before its
    // command: call it before a raw block starts. True when bytes were waiting.
    bool DiscardWaiting();
    // The one way to keep the link for a stream (log dump, coefficient read,
    // block write and its echo, firmware upload):
    //     auto hold = link.Hold();
    //     link.Exchange(...); link.WriteRaw(...); link.Exchange("NoWrite"); ...
    // so another thread's exchange never falls between two of its reads.
    LinkHold Hold();

    // Each is called after every exchange of any thread, with the link held:
    // it must only queue or write the record (never call the link or a
    // widget). The id takes it off again; once RemoveTrafficObserver returns,
    // it is not called any more.
    using ObserverId = int;
    ObserverId AddTrafficObserver(std::function<void(const TrafficRecord&)> observer);
    void RemoveTrafficObserver(ObserverId id);
    // Called once per open port, with the link held, by the first exchange that
    // finds the line hung up (adapter unplugged): it must only take note.
    void SetHangUpObserver(std::function<void(const std::string& portName)> observer);

private:
    // Closes what is open and opens `path` (empty: `name` has no device); records the outcome.
    bool openLocked(const std::string& path, std::uint32_t baud, const std::string& name);
    Reply exchangeLocked(const std::string& command, std::chrono::milliseconds timeout, const ExchangeOptions& options);
    // One line: the first byte until `firstUntil`, the rest until a gap past
    // `deadline`, all before `bound`.
    struct LineRead {
        ExchangeOutcome outcome = ExchangeOutcome::NoByte;
        std::string text;
        std::size_t received = 0;
        Clock::time_point began{};
    };
    LineRead readLineLocked(Clock::time_point firstUntil, Clock::time_point deadline, Clock::time_point bound,
                            const std::atomic<bool>* stop);
    // When bytes were thrown away, when the first of them came.
    std::optional<Clock::time_point> discardWaitingLocked(Clock::time_point quietUntil, Clock::time_point until,
                                                          const std::atomic<bool>* stop = nullptr);
    // A wait of at most `wait` for one byte that looks at `stop` every kStopLook.
    ReadResult readByteLocked(char& byte, std::chrono::microseconds wait, const std::atomic<bool>* stop);
    std::chrono::microseconds charTimeLocked() const;
    std::chrono::milliseconds writeLimitLocked(std::size_t bytes) const;

    mutable LineLock line_;  //!< guards the port and the six below
    std::unique_ptr<Port> port_;
    PortResolver resolver_;
    std::vector<std::pair<ObserverId, std::function<void(const TrafficRecord&)>>> observers_;
    ObserverId lastObserver_ = 0;
    std::function<void(const std::string&)> hangUpObserver_;
    bool hangUpSeen_ = false;  // since the port was last opened
    // Until then a command filed as data waits for the line to be quiet (a late
    // answer may still come); set when such an exchange ends with no byte.
    Clock::time_point quietUntil_{};
    mutable std::mutex lateMutex_;  //!< guards late_ alone; never held while waiting for the line
    LateAnswers late_;

    mutable std::mutex settingsMutex_;  //!< guards the four below; never held while waiting for the line
    std::string portName_ = "COM1";
    std::string devicePath_;
    std::uint32_t baud_ = 9600;
    PortStatus openStatus_{PortStatus::Code::NotOpen, "no port opened yet"};

    std::atomic<std::uint32_t> timeoutMs_{1000};
    std::atomic<bool> open_{false};
    std::atomic<bool> canChangeRate_{true};  // mirrors port_->isOpen(), set under the line
};

}  // namespace tessary::link
