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
    case ExchangeOutcome::NotItsAnswer:
        return "a line came that may be another box's late answer (two where one was due, or at a time this box"
               " never answers at): not filed";
    case ExchangeOutcome::Stopped: return "stopped";
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

bool DeviceLink::OpenComPort() {
    std::lock_guard line(line_);
    std::string name;
    std::uint32_t baud = 0;
    {
        std::lock_guard lock(settingsMutex_);
        name = portName_;
        baud = baud_;
    }
    const std::string path = resolver_ ? resolver_(name) : name;
    return openLocked(path, baud, name);
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
    canChangeRate_ = port_->canChangeRate();
    hangUpSeen_ = false;
    return true;
}

BaudRateChange DeviceLink::ApplyBaudRate() {
    std::lock_guard line(line_);
    const std::uint32_t baud = LinkBaudRate();
    const PortStatus status =
        port_->isOpen() ? port_->setBaudRate(baud) : PortStatus{PortStatus::Code::NotOpen, "port not open"};
    BaudRateChange change;
    change.applied = status.ok();
    const std::string what = LinkPortName() + " to " + std::to_string(baud) + " baud";
    if (status.code == PortStatus::Code::NotOpen)
        change.failures.push_back("Cannot switch " + what + ": the port is not open");
    else if (!status.ok())
        change.failures.push_back("Cannot switch " + what + ": " + status.text);
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
    return discardWaitingLocked(now, now + milliseconds(timeoutMs_.load())).has_value();
}

bool DeviceLink::AwaitQuiet(milliseconds bound, const std::function<bool()>& stopped) {
    std::lock_guard line(line_);
    if (!port_->isOpen()) return true;
    const auto until = port_->now() + bound;
    auto lastByte = port_->now();
    char byte = 0;
    for (;;) {
        const auto now = port_->now();
        if (now - lastByte >= kQuietGap) return true;
        if (now >= until || (stopped && stopped())) return false;
        const auto wait = std::min({duration_cast<microseconds>(lastByte + kQuietGap - now),
                                    duration_cast<microseconds>(until - now), duration_cast<microseconds>(kStopLook)});
        const ReadResult r = port_->readByte(byte, wait);
        if (r == ReadResult::Byte) lastByte = port_->now();
        else if (r != ReadResult::Timeout) return true;  // nothing streams on a hung-up line; the exchange says why
    }
}

milliseconds DeviceLink::TimeoutFor(const std::string& address, milliseconds base) const {
    std::lock_guard lock(lateMutex_);
    const auto late = duration_cast<milliseconds>(late_.Lateness(address));
    if (late == milliseconds(0)) return base;
    return std::max(base, std::min(late + late / 4 + milliseconds(100), milliseconds(60000)));
}

std::chrono::microseconds DeviceLink::charTimeLocked() const { return WireTime(1); }

ReadResult DeviceLink::readByteLocked(char& byte, microseconds wait, const std::atomic<bool>* stop) {
    if (!stop) return port_->readByte(byte, wait);
    for (;;) {
        if (stop->load()) return ReadResult::Timeout;
        const auto slice = std::min(wait, duration_cast<microseconds>(kStopLook));
        const ReadResult r = port_->readByte(byte, slice);
        if (r != ReadResult::Timeout || slice == wait) return r;
        wait -= slice;
    }
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
    Reply reply = exchangeLocked(command, timeout, options);
    if (!observers_.empty()) {
        const TrafficRecord record{began, LinkPortName(), command, reply.text, reply.outcome, reply.lateDiscarded};
        for (const auto& [id, observer] : observers_) observer(record);
    }
    if (reply.outcome == ExchangeOutcome::HangUp && !hangUpSeen_) {
        hangUpSeen_ = true;
        if (hangUpObserver_) hangUpObserver_(LinkPortName());
    }
    return reply;
}

std::string DeviceLink::SendCommand(std::string command) { return Exchange(std::move(command)).text; }

std::optional<Clock::time_point> DeviceLink::discardWaitingLocked(Clock::time_point quietUntil, Clock::time_point until,
                                                                  const std::atomic<bool>* stop) {
    // Whatever waits before a command goes out answers an earlier one (it came
    // after that one's time-out) or is noise; so does whatever comes before
    // quietUntil. A line caught mid-arrival is read to its end, so its tail is
    // not taken for the next answer.
    std::optional<Clock::time_point> first;
    bool midLine = false;
    char byte = 0;
    for (;;) {
        const auto now = port_->now();
        auto wait = std::max(duration_cast<microseconds>(quietUntil - now), microseconds(0));
        if (midLine)
            wait = std::max(wait, std::clamp(duration_cast<microseconds>(until - now), microseconds(0),
                                             duration_cast<microseconds>(kTrailingGap)));
        if (readByteLocked(byte, wait, stop) != ReadResult::Byte) return first;
        if (!first) first = port_->now();
        midLine = byte != '\n';
        // A stream faster than we read would never leave a gap: stop at the deadline.
        if (port_->now() >= until) return first;
    }
}

DeviceLink::LineRead DeviceLink::readLineLocked(Clock::time_point firstUntil, Clock::time_point deadline,
                                                Clock::time_point bound, const std::atomic<bool>* stop) {
    LineRead in;
    auto lastByte = port_->now();
    for (;;) {
        const auto now = port_->now();
        if (now >= bound) return in.outcome = ExchangeOutcome::Overflow, in;
        // The first byte until firstUntil and no longer; a line under way is
        // read on until it pauses for a gap past the deadline.
        const auto until = in.received == 0 ? firstUntil : std::min(std::max(deadline, lastByte + kTrailingGap), bound);
        const auto wait = std::max(duration_cast<microseconds>(until - now), microseconds(0));
        char byte = 0;
        const ReadResult r = readByteLocked(byte, wait, stop);
        if (stop && stop->load() && r == ReadResult::Timeout) return in.outcome = ExchangeOutcome::Stopped, in;
        if (r == ReadResult::HangUp || r == ReadResult::Error) return in.outcome = ExchangeOutcome::HangUp, in;
        if (r == ReadResult::Timeout) {
            in.outcome = in.received > 0 ? ExchangeOutcome::NoLineEnd : ExchangeOutcome::NoByte;
            return in;
        }
        lastByte = port_->now();
        if (in.received++ == 0) in.began = lastByte;
        if (byte == '\n') break;
        if (byte != '\r' && byte != '\0') in.text.push_back(byte);
        if (in.received >= kMaxLineBytes) return in.outcome = ExchangeOutcome::Overflow, in;
    }
    const bool printable = std::all_of(in.text.begin(), in.text.end(), [](char c) { return c >= 0x20 && c <= 0x7e; });
    in.outcome = in.text.empty() ? ExchangeOutcome::EmptyLine
                 : printable     ? ExchangeOutcome::Line
                                 : ExchangeOutcome::Garbled;
    return in;
}

Reply DeviceLink::exchangeLocked(const std::string& command, milliseconds timeout, const ExchangeOptions& options) {
    Reply out;
    auto start = port_->now();
    auto fail = [&out](ExchangeOutcome why) {
        out.outcome = why;
        out.text = kNoConnect;
        return out;
    };
    const std::atomic<bool>* stop = options.stop;
    const bool filed = options.filedAsData;
    const std::string address = CommandAddress(command);
    const auto settle = [this, &out](Clock::time_point at) {
        std::lock_guard lock(lateMutex_);
        if (std::string from = late_.Settle(at); !from.empty()) out.lateFrom = std::move(from);
    };

    const bool write = command != kNoWrite;
    bool owed = false;
    bool expected = false;
    if (write && port_->isOpen()) {
        if (stop && stop->load()) return fail(ExchangeOutcome::Stopped);
        std::optional<Clock::time_point> late;
        if (filed && quietUntil_ > start) {
            late = discardWaitingLocked(quietUntil_, quietUntil_ + timeout, stop);
            out.lateDiscarded = late.has_value();
            start = port_->now();  // the command's own time-out counts from here
        } else {
            late = discardWaitingLocked(start, start + timeout, stop);
            out.staleDiscarded = late.has_value();
        }
        if (stop && stop->load()) return fail(ExchangeOutcome::Stopped);
        if (late) settle(*late);
        std::lock_guard lock(lateMutex_);
        owed = filed && late_.Owed(start);
        expected = owed && late_.Expected(address);
    }
    const auto deadline = start + timeout;
    const auto bound = deadline + kExchangeOverrun;
    const auto writeStart = port_->now();
    if (write) {
        if (port_->isOpen()) {
            const auto left = std::max(duration_cast<milliseconds>(bound - port_->now()), milliseconds(0));
            port_->write(command, std::min(writeLimitLocked(command.size()), left));
        }
        if (command.compare(0, 3, kBroadcast) == 0) {
            // The reply capture line is not written for a broadcast.
            out.outcome = ExchangeOutcome::Broadcast;
            out.text = kBroadcast;
            return out;
        }
    }
    if (!port_->isOpen()) {
        // Callers pace their retries by the time-out, so a closed port waits too.
        port_->sleepFor(std::max(duration_cast<microseconds>(deadline - port_->now()), microseconds(0)));
        return fail(ExchangeOutcome::NotOpen);
    }
    const auto wrote = port_->now();
    const auto charTime = charTimeLocked();
    const auto crossed = writeStart + port_->wireTime(write ? command.size() : 0, LinkBaudRate());

    LineRead first = readLineLocked(deadline, deadline, bound, stop);
    // A box answers only once it has heard the whole command: a line that
    // began before the command had crossed the wire answers something else.
    while (write && first.received > 0 && first.began < crossed && port_->now() < deadline) {
        out.staleDiscarded = true;
        settle(first.began);
        first = readLineLocked(deadline, deadline, bound, stop);
    }
    // Filed as data, a command whose answer was not taken still owes it: the
    // next command filed as data waits out this exchange's time-out once
    // more, and the last read's gap, and what comes later is looked out for.
    const auto owe = [&](bool silent) {
        if (!write || !filed) return;
        quietUntil_ = port_->now() + timeout + kTrailingGap;
        std::lock_guard lock(lateMutex_);
        late_.Owe(address, wrote, timeout, silent);
    };
    if (first.received == 0 || first.outcome == ExchangeOutcome::Stopped) {
        if (first.outcome != ExchangeOutcome::HangUp) owe(true);
        return fail(first.outcome);
    }
    const auto latency = duration_cast<microseconds>(first.began - wrote);
    out.answerAfter = duration_cast<microseconds>(first.began - std::max(wrote, crossed));
    if (write && filed && owed) {
        // Another answer is owed and may be this line: take it only when it
        // came alone, at a time this box answers at (a box that has not
        // answered yet has no such time while a late answer is expected).
        std::optional<LateAnswers::Window> window;
        {
            std::lock_guard lock(lateMutex_);
            window = late_.AnswerWindow(command, charTime);
        }
        const auto listenUntil = window ? std::min(deadline, wrote + window->latest) : deadline;
        const LineRead second = listenUntil > port_->now() ? readLineLocked(listenUntil, deadline, bound, stop) : LineRead{};
        const bool alone = second.received == 0;
        if (!alone || (window ? latency < window->earliest || latency > window->latest : expected)) {
            settle(first.began);
            // Of two lines one is likely its own, unless another box still owes.
            bool anotherOwes = false;
            if (!alone) {
                std::lock_guard lock(lateMutex_);
                anotherOwes = late_.OwedByAnother(address);
            }
            if (!alone && anotherOwes) settle(second.began);
            if (alone || anotherOwes) owe(false);
            return fail(ExchangeOutcome::NotItsAnswer);
        }
    }
    if (first.outcome == ExchangeOutcome::NoLineEnd) owe(false);  // the rest of it may still come
    if (first.outcome != ExchangeOutcome::Line && first.outcome != ExchangeOutcome::Garbled) return fail(first.outcome);
    if (write && filed) {
        std::lock_guard lock(lateMutex_);
        late_.Answered(command, latency);
    }
    out.outcome = first.outcome;
    out.text = std::move(first.text);
    return out;
}

DeviceLink::ObserverId DeviceLink::AddTrafficObserver(std::function<void(const TrafficRecord&)> observer) {
    std::lock_guard line(line_);
    observers_.emplace_back(++lastObserver_, std::move(observer));
    return lastObserver_;
}

void DeviceLink::RemoveTrafficObserver(ObserverId id) {
    std::lock_guard line(line_);
    std::erase_if(observers_, [id](const auto& entry) { return entry.first == id; });
}

void DeviceLink::SetHangUpObserver(std::function<void(const std::string&)> observer) {
    std::lock_guard line(line_);
    hangUpObserver_ = std::move(observer);
}


}  // namespace tessary::link
