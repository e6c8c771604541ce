#include "link/DeviceLink.h"

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
    case ExchangeOutcome::Broadcast: return "sent to #00, no answer awaited";
    case ExchangeOutcome::NotOpen: return "the port is not open";
    case ExchangeOutcome::NoByte: return "no byte came before the time-out";
    case ExchangeOutcome::NoLineEnd: return "bytes came but no line end (wrong baud rate?)";
    case ExchangeOutcome::EmptyLine: return "an empty line came";
    case ExchangeOutcome::HangUp: return "the line hung up or failed (adapter unplugged?)";
    case ExchangeOutcome::Overflow: return "64 KiB came without a line end";
    }
    return "unknown";
}

DeviceLink::DeviceLink(std::unique_ptr<Port> port, PortResolver resolver)
    : port_(std::move(port)), resolver_(std::move(resolver)) {}

DeviceLink::~DeviceLink() {
    CloseAllSerialFile();
    ClosePort();
}

void DeviceLink::SetLinkPortName(std::string name) {
    std::lock_guard lock(mutex_);
    portName_ = std::move(name);
}
std::string DeviceLink::LinkPortName() const {
    std::lock_guard lock(mutex_);
    return portName_;
}
void DeviceLink::SetLinkBaudRate(std::uint32_t baud) {
    std::lock_guard lock(mutex_);
    baud_ = baud;
}
std::uint32_t DeviceLink::LinkBaudRate() const {
    std::lock_guard lock(mutex_);
    return baud_;
}
void DeviceLink::SetResponseTimeoutMs(std::uint32_t ms) {
    std::lock_guard lock(mutex_);
    timeoutMs_ = ms;
}
std::uint32_t DeviceLink::ResponseTimeoutMs() const {
    std::lock_guard lock(mutex_);
    return timeoutMs_;
}
void DeviceLink::SetEventPump(std::function<void()> pump) {
    std::lock_guard lock(mutex_);
    pump_ = std::move(pump);
}

bool DeviceLink::OpenComPort() {
    std::function<void()> pump;
    {
        std::lock_guard lock(mutex_);
        pump = pump_;
    }
    // Outside the lock: a nested handler may want the link.
    if (pump) pump();
    if (SearchAborted.load()) return false;

    std::lock_guard lock(mutex_);
    if (port_->isOpen()) port_->close();
    devicePath_ = resolver_ ? resolver_(portName_) : portName_;
    if (devicePath_.empty()) {
        openStatus_ = {PortStatus::Code::NotFound, portName_ + " has no device in the port map"};
        return false;
    }
    openStatus_ = port_->open(devicePath_, baud_);
    if (!openStatus_.ok()) return false;
    return SetPortTimeouts();
}

bool DeviceLink::SetPortTimeouts() {
    // Deadlines are measured per exchange (see SendCommand); a POSIX port has
    // no time-out state to set, so this only says whether a port is there.
    std::lock_guard lock(mutex_);
    return port_->isOpen();
}

bool DeviceLink::ApplyBaudRate(const std::function<void(const std::string&)>& report) {
    std::lock_guard lock(mutex_);
    if (!port_->isOpen()) {
        if (report) report("GetCommState failed");
        if (report) report("SetCommState failed");
        return false;
    }
    PortStatus status = port_->setBaudRate(baud_);
    if (!status.ok()) {
        if (report) report("SetCommState failed");
        return false;
    }
    return true;
}

void DeviceLink::ClosePort() {
    std::lock_guard lock(mutex_);
    if (port_->isOpen()) port_->close();
}

bool DeviceLink::IsOpen() const {
    std::lock_guard lock(mutex_);
    return port_->isOpen();
}

PortStatus DeviceLink::LastOpenStatus() const {
    std::lock_guard lock(mutex_);
    return openStatus_;
}

std::string DeviceLink::DevicePath() const {
    std::lock_guard lock(mutex_);
    return devicePath_;
}

ExchangeOutcome DeviceLink::LastOutcome() const {
    std::lock_guard lock(mutex_);
    return outcome_;
}

std::unique_lock<std::recursive_mutex> DeviceLink::Hold() { return std::unique_lock(mutex_); }

bool DeviceLink::WriteRaw(std::string_view bytes) {
    std::lock_guard lock(mutex_);
    if (!port_->isOpen()) return false;
    return port_->write(bytes, writeLimitLocked(bytes.size()));
}

std::chrono::milliseconds DeviceLink::writeLimitLocked(std::size_t bytes) const {
    // Generous bound: twice the wire time (10 bits a byte) plus a second.
    return milliseconds(1000) + milliseconds(bytes * 20000 / (baud_ ? baud_ : 1));
}

std::string DeviceLink::SendCommand(std::string command) {
    std::lock_guard lock(mutex_);
    const auto began = std::chrono::system_clock::now();
    std::string result = exchangeLocked(command);
    if (outcome_ != ExchangeOutcome::Broadcast) captureLocked("> ", result + "\r\n");
    if (observer_) observer_({began, portName_, command, result, outcome_});
    return result;
}

std::string DeviceLink::exchangeLocked(const std::string& command) {
    const auto start = port_->now();
    const auto deadline = start + milliseconds(timeoutMs_);

    if (command != kNoWrite) {
        if (port_->isOpen()) {
            port_->write(command, writeLimitLocked(command.size()));
        }
        captureLocked("< ", command);
        if (command.compare(0, 3, kBroadcast) == 0) {
            outcome_ = ExchangeOutcome::Broadcast;
            // The reply capture line is not written for a broadcast.
            return std::string(kBroadcast);
        }
    }

    std::string reply;
    std::size_t received = 0;
    for (;;) {
        const auto now = port_->now();
        auto wait = duration_cast<microseconds>(deadline - now);
        if (wait.count() < 0) wait = microseconds(0);
        // Past the deadline a reply still coming is read on until the first gap.
        if (received > 0 && now >= deadline - kTrailingGap) wait = std::max(wait, microseconds(kTrailingGap));

        if (!port_->isOpen()) {
            // Callers pace their retries by the time-out, so a closed port waits too.
            port_->sleepFor(wait);
            outcome_ = ExchangeOutcome::NotOpen;
            return std::string(kNoConnect);
        }
        char byte = 0;
        const ReadResult r = port_->readByte(byte, wait);
        if (r == ReadResult::HangUp || r == ReadResult::Error) {
            outcome_ = ExchangeOutcome::HangUp;
            return std::string(kNoConnect);
        }
        if (r == ReadResult::Timeout) {
            outcome_ = received > 0 ? ExchangeOutcome::NoLineEnd : ExchangeOutcome::NoByte;
            return std::string(kNoConnect);
        }
        ++received;
        if (byte == '\n') break;
        if (byte != '\r' && byte != '\0') reply.push_back(byte);
        if (received >= kMaxLineBytes) {
            outcome_ = ExchangeOutcome::Overflow;
            return std::string(kNoConnect);
        }
    }
    if (reply.empty()) {
        outcome_ = ExchangeOutcome::EmptyLine;
        return std::string(kNoConnect);
    }
    outcome_ = ExchangeOutcome::Line;
    return reply;
}

void DeviceLink::captureLocked(std::string_view prefix, std::string_view text) {
    if (!capture_ || !allSerial_.load()) return;
    std::fwrite(prefix.data(), 1, prefix.size(), capture_);
    std::fwrite(text.data(), 1, text.size(), capture_);
    // Flushed at once: a crash or an unplugged PC must not lose the trace.
    std::fflush(capture_);
}

bool DeviceLink::OpenAllSerialFile(const std::string& path, std::string* error) {
    std::lock_guard lock(mutex_);
    if (capture_) {
        std::fclose(capture_);
        capture_ = nullptr;
    }
    capture_ = std::fopen(path.c_str(), "ab");
    if (!capture_) {
        if (error) *error = std::strerror(errno);
        return false;
    }
    return true;
}

void DeviceLink::CloseAllSerialFile() {
    std::lock_guard lock(mutex_);
    if (capture_) std::fclose(capture_);
    capture_ = nullptr;
}

bool DeviceLink::AllSerialFileOpen() const {
    std::lock_guard lock(mutex_);
    return capture_ != nullptr;
}

void DeviceLink::SetTrafficObserver(std::function<void(const TrafficRecord&)> observer) {
    std::lock_guard lock(mutex_);
    observer_ = std::move(observer);
}

void DeviceLink::SetAllSerial(bool on) { allSerial_.store(on); }
bool DeviceLink::AllSerial() const { return allSerial_.load(); }

}  // namespace tessary::link
