#include "capture/AllSerialRecorder.h"

namespace tessary::capture {

AllSerialRecorder::AllSerialRecorder(link::DeviceLink& link) : link_(link) {
    subscription_ = link_.AddTrafficObserver([this](const link::TrafficRecord& r) { Record(r); });
}

AllSerialRecorder::~AllSerialRecorder() {
    // Waits for an exchange under way, so no call comes once the file is gone.
    link_.RemoveTrafficObserver(subscription_);
    Close();
}

bool AllSerialRecorder::Open(const std::string& path, std::string* error) {
    std::lock_guard lock(mutex_);
    const std::string why = file_.Open(path, link::LineFile::Mode::Append);
    error_.clear();
    if (error) *error = why;
    return why.empty();
}

std::string AllSerialRecorder::Close() {
    std::lock_guard lock(mutex_);
    return file_.Close();
}

bool AllSerialRecorder::IsOpen() const {
    std::lock_guard lock(mutex_);
    return file_.IsOpen();
}

std::string AllSerialRecorder::Error() const {
    std::lock_guard lock(mutex_);
    return error_;
}

std::string AllSerialRecorder::Lines(const link::TrafficRecord& record) {
    std::string lines;
    // The command already ends in "\r\n"; a broadcast has no reply line.
    if (record.command != link::kNoWrite) lines = "< " + record.command;
    if (record.outcome != link::ExchangeOutcome::Broadcast) lines += "> " + record.reply + "\r\n";
    return lines;
}

void AllSerialRecorder::Record(const link::TrafficRecord& record) {
    if (!ticked_.load()) return;
    std::lock_guard lock(mutex_);
    if (!file_.IsOpen()) return;
    // One write an exchange, made at once: a crash or an unplugged PC must not lose the trace.
    error_ = file_.Write(Lines(record));
}

}  // namespace tessary::capture
