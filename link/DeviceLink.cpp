#include "link/DeviceLink.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <utility>

namespace tessary::link {

using std::chrono::duration_cast;
using std::chrono::microseconds;
using std::chrono::milliseconds;

std::string_view OutcomeText(ExchangeOutcome outcome) {
    switch (outcome) {
    case ExchangeOutcome::Line: return "answer received";
    case ExchangeOutcome::Garbled: return "the answer holds bytes outside printable ASCII (wrong baud rate?)";
    case ExchangeOutcome::Broadcast: return "sent to #00, no answer awaited";
    case ExchangeOutcome::NotOpen: return "the port is not open";
    case ExchangeOutcome::NoByte: return "no byte came before the time-out";
    case ExchangeOutcome::NoLineEnd: return "bytes came but no line end (wrong baud rate?)";
    case ExchangeOutcome::EmptyLine: return "an empty line came";
    case ExchangeOutcome::HangUp: return "the line hung up or failed (adapter unplugged?)";
    case ExchangeOutcome::Overflow: return "bytes kept coming without a line end (cut at 64 KiB or 2 s)";
    }
    return "unknown";
}

std::string ReplyStatusText(const Reply& reply) {
    std::string text;
    if (reply.outcome == ExchangeOutcome::Garbled)
        text = "Garbled: " + std::string(OutcomeText(reply.outcome));
    else if (reply.outcome != ExchangeOutcome::Line && reply.outcome != ExchangeOutcome::Broadcast)
        text = std::string(kNoConnect) + ": " + std::string(OutcomeText(reply.outcome));
    const char* discarded = reply.lateDiscarded    ? "a late answer was discarded"
                            : reply.staleDiscarded ? "a late answer to an earlier command was discarded"
                                                   : nullptr;
    if (discarded) text += (text.empty() ? "" : "; ") + std::string(discarded);
    return text;
}

DeviceLink::DeviceLink(std::unique_ptr<Port> port, PortResolver resolver)
    : port_(std::move(port)), resolver_(std::move(resolver)) {}

DeviceLink::~DeviceLink() {
    CloseAllSerialFile();
    ClosePort();
}

void DeviceLink::SetLinkPortName(std::string name) {
    std::lock_guard lock(settingsMutex_);
    portName_ = std::move(name);
}
std::string DeviceLink::LinkPortName() const {
    std::lock_guard lock(settingsMutex_);
    return portName_;
}
void DeviceLink::SetLinkBaudRate(std::uint32_t baud) {
    std::lock_guard lock(settingsMutex_);
    baud_ = baud;
}
std::uint32_t DeviceLink::LinkBaudRate() const {
    std::lock_guard lock(settingsMutex_);
    return baud_;
}
void DeviceLink::SetResponseTimeoutMs(std::uint32_t ms) { timeoutMs_.store(ms); }
std::uint32_t DeviceLink::ResponseTimeoutMs() const { return timeoutMs_.load(); }
void DeviceLink::SetEventPump(std::function<void()> pump) {
    std::lock_guard lock(settingsMutex_);
    pump_ = std::move(pump);
}

bool DeviceLink::OpenComPort() {
    std::function<void()> pump;
    {
        std::lock_guard lock(settingsMutex_);
        pump = pump_;
    }
    // Outside the line: a nested handler may want the link.
    if (pump) pump();
    if (SearchAborted.load()) return false;

    std::lock_guard line(line_);
    std::string name;
    std::uint32_t baud = 0;
    {
        std::lock_guard lock(settingsMutex_);
        name = portName_;
        baud = baud_;
    }
    const std::string path = resolver_ ? resolver_(name) : name;
    return openLocked(path, baud, name) && SetPortTimeouts();
}

bool DeviceLink::ReopenDevice(const std::string& path) {
    std::lock_guard line(line_);
    return openLocked(path, LinkBaudRate(), path);
}

bool DeviceLink::openLocked(const std::string& path, std::uint32_t baud, const std::string& name) {
    if (port_->isOpen()) port_->close();
    open_ = false;
    quietUntil_ = {};  // the open flushes whatever was on its way
    const PortStatus status = path.empty() ? PortStatus{PortStatus::Code::NotFound, name + " has no device in the port map"}
                                           : port_->open(path, baud);
    open_ = port_->isOpen();
    {
        std::lock_guard lock(settingsMutex_);
        devicePath_ = path;
        openStatus_ = status;
    }
    if (!status.ok()) return false;
    hangUpSeen_ = false;
    return true;
}

bool DeviceLink::SetPortTimeouts() {
    // Deadlines are measured per exchange (see Exchange); a POSIX port has no
    // time-out state to set, so this only says whether a port is there.
    return open_.load();
}

BaudRateChange DeviceLink::ApplyBaudRate() {
    std::lock_guard line(line_);
    const std::uint32_t baud = LinkBaudRate();
    const PortStatus status =
        port_->isOpen() ? port_->setBaudRate(baud) : PortStatus{PortStatus::Code::NotOpen, "port not open"};
    BaudRateChange change;
    change.applied = status.ok();
    if (status.code == PortStatus::Code::NotOpen || status.code == PortStatus::Code::Unreadable)
        change.failures.emplace_back("GetCommState failed");
    if (!status.ok()) change.failures.emplace_back("SetCommState failed");
    return change;
}

void DeviceLink::ClosePort() {
    std::lock_guard line(line_);
    if (port_->isOpen()) port_->close();
    open_ = false;
}

bool DeviceLink::IsOpen() const { return open_.load(); }

PortStatus DeviceLink::LastOpenStatus() const {
    std::lock_guard lock(settingsMutex_);
    return openStatus_;
}

std::string DeviceLink::DevicePath() const {
    std::lock_guard lock(settingsMutex_);
    return devicePath_;
}

LinkHold DeviceLink::Hold() { return LinkHold(line_); }

bool DeviceLink::WriteRaw(std::string_view bytes) {
    std::lock_guard line(line_);
    if (!port_->isOpen()) return false;
    return port_->write(bytes, writeLimitLocked(bytes.size()));
}

bool DeviceLink::DiscardWaiting() {
    std::lock_guard line(line_);
    if (!port_->isOpen()) return false;
    const auto now = port_->now();
    return discardWaitingLocked(now, now + milliseconds(timeoutMs_.load()));
}

std::chrono::milliseconds DeviceLink::writeLimitLocked(std::size_t bytes) const {
    // Generous bound: twice the wire time (10 bits a byte) plus a second.
    const std::uint32_t baud = LinkBaudRate();
    return milliseconds(1000) + milliseconds(bytes * 20000 / (baud ? baud : 1));
}

Reply DeviceLink::Exchange(std::string command, ExchangeOptions options) {
    std::lock_guard line(line_);
    // Read once the line is ours: the setting in force when this exchange starts.
    const milliseconds timeout = options.timeout > milliseconds(0) ? options.timeout : milliseconds(timeoutMs_.load());
    const auto began = std::chrono::system_clock::now();
    Reply reply = exchangeLocked(command, timeout, options.filedAsData);
    if (reply.outcome != ExchangeOutcome::Broadcast) captureLocked("> ", reply.text + "\r\n");
    if (observer_) observer_({began, LinkPortName(), command, reply.text, reply.outcome, reply.lateDiscarded});
    if (reply.outcome == ExchangeOutcome::HangUp && !hangUpSeen_) {
        hangUpSeen_ = true;
        if (hangUpObserver_) hangUpObserver_(LinkPortName());
    }
    return reply;
}

std::string DeviceLink::SendCommand(std::string command) { return Exchange(std::move(command)).text; }

bool DeviceLink::discardWaitingLocked(Clock::time_point quietUntil, Clock::time_point until) {
    // Whatever waits before a command goes out answers an earlier one (it came
    // after that one's time-out) or is noise; so does whatever comes before
    // quietUntil. A line caught mid-arrival is read to its end, so its tail is
    // not taken for the next answer.
    bool discarded = false;
    bool midLine = false;
    char byte = 0;
    for (;;) {
        const auto now = port_->now();
        auto wait = std::max(duration_cast<microseconds>(quietUntil - now), microseconds(0));
        if (midLine)
            wait = std::max(wait, std::clamp(duration_cast<microseconds>(until - now), microseconds(0),
                                             duration_cast<microseconds>(kTrailingGap)));
        if (port_->readByte(byte, wait) != ReadResult::Byte) return discarded;
        discarded = true;
        midLine = byte != '\n';
        // A stream faster than we read would never leave a gap: stop at the deadline.
        if (port_->now() >= until) return discarded;
    }
}

Reply DeviceLink::exchangeLocked(const std::string& command, milliseconds timeout, bool filedAsData) {
    Reply out;
    auto start = port_->now();
    auto fail = [&out](ExchangeOutcome why) {
        out.outcome = why;
        out.text = kNoConnect;
        return out;
    };

    const bool write = command != kNoWrite;
    if (write && port_->isOpen()) {
        if (filedAsData && quietUntil_ > start) {
            out.lateDiscarded = discardWaitingLocked(quietUntil_, quietUntil_ + timeout);
            start = port_->now();  // the command's own time-out counts from here
        } else {
            out.staleDiscarded = discardWaitingLocked(start, start + timeout);
        }
    }
    const auto deadline = start + timeout;
    const auto bound = deadline + kExchangeOverrun;
    if (write) {
        if (port_->isOpen()) {
            const auto left = std::max(duration_cast<milliseconds>(bound - port_->now()), milliseconds(0));
            port_->write(command, std::min(writeLimitLocked(command.size()), left));
        }
        captureLocked("< ", command);
        if (command.compare(0, 3, kBroadcast) == 0) {
            // The reply capture line is not written for a broadcast.
            out.outcome = ExchangeOutcome::Broadcast;
            out.text = kBroadcast;
            return out;
        }
    }

    std::string reply;
    std::size_t received = 0;
    auto lastByte = start;
    for (;;) {
        const auto now = port_->now();
        if (!port_->isOpen()) {
            // Callers pace their retries by the time-out, so a closed port waits too.
            port_->sleepFor(std::max(duration_cast<microseconds>(deadline - now), microseconds(0)));
            return fail(ExchangeOutcome::NotOpen);
        }
        if (now >= bound) return fail(ExchangeOutcome::Overflow);
        // The first byte until the deadline and no longer; a line under way is
        // read on until it pauses for a gap past the deadline.
        const auto until = received == 0 ? deadline : std::min(std::max(deadline, lastByte + kTrailingGap), bound);
        const auto wait = std::max(duration_cast<microseconds>(until - now), microseconds(0));

        char byte = 0;
        const ReadResult r = port_->readByte(byte, wait);
        if (r == ReadResult::HangUp || r == ReadResult::Error) return fail(ExchangeOutcome::HangUp);
        if (r == ReadResult::Timeout) {
            if (received > 0) return fail(ExchangeOutcome::NoLineEnd);
            // Its answer may still come: the next command filed as data waits out
            // this exchange's time-out once more, and the last read's gap.
            if (filedAsData) quietUntil_ = port_->now() + timeout + kTrailingGap;
            return fail(ExchangeOutcome::NoByte);
        }
        lastByte = port_->now();
        ++received;
        if (byte == '\n') break;
        if (byte != '\r' && byte != '\0') reply.push_back(byte);
        if (received >= kMaxLineBytes) return fail(ExchangeOutcome::Overflow);
    }
    if (reply.empty()) return fail(ExchangeOutcome::EmptyLine);
    const bool printable = std::all_of(reply.begin(), reply.end(), [](char c) { return c >= 0x20 && c <= 0x7e; });
    out.outcome = printable ? ExchangeOutcome::Line : ExchangeOutcome::Garbled;
    out.text = std::move(reply);
    return out;
}

void DeviceLink::captureLocked(std::string_view prefix, std::string_view text) {
    if (!capture_.IsOpen() || !allSerial_.load()) return;
    // One write a line, made at once: a crash or an unplugged PC must not lose the trace.
    std::string line(prefix);
    line += text;
    std::string error = capture_.Write(line);
    std::lock_guard lock(captureErrorMutex_);
    captureError_ = std::move(error);
}

bool DeviceLink::OpenAllSerialFile(const std::string& path, std::string* error) {
    std::lock_guard line(line_);
    const std::string why = capture_.Open(path, LineFile::Mode::Append);
    {
        std::lock_guard errorLock(captureErrorMutex_);
        captureError_.clear();
    }
    if (error) *error = why;
    return why.empty();
}

std::string DeviceLink::CloseAllSerialFile() {
    std::lock_guard line(line_);
    return capture_.Close();
}

bool DeviceLink::AllSerialFileOpen() const {
    std::lock_guard line(line_);
    return capture_.IsOpen();
}

std::string DeviceLink::AllSerialFileError() const {
    std::lock_guard lock(captureErrorMutex_);
    return captureError_;
}

void DeviceLink::SetTrafficObserver(std::function<void(const TrafficRecord&)> observer) {
    std::lock_guard line(line_);
    observer_ = std::move(observer);
}

void DeviceLink::SetHangUpObserver(std::function<void(const std::string&)> observer) {
    std::lock_guard line(line_);
    hangUpObserver_ = std::move(observer);
}

void DeviceLink::SetAllSerial(bool on) { allSerial_.store(on); }
bool DeviceLink::AllSerial() const { return allSerial_.load(); }

}  // namespace tessary::link
