#pragma once
// The all-serial copy: every exchange of every thread as "< " + command and
// "> " + reply + "\r\n" lines, written by the link's traffic observer. An
// exchange goes in whole (both lines in one write) or not at all, so a file
// opened or closed while the line is busy never holds half of one.

#include "link/DeviceLink.h"
#include "link/Files.h"

#include <atomic>
#include <mutex>
#include <string>

namespace tessary::capture {

class AllSerialRecorder {
public:
    explicit AllSerialRecorder(link::DeviceLink& link);
    ~AllSerialRecorder();
    AllSerialRecorder(const AllSerialRecorder&) = delete;
    AllSerialRecorder& operator=(const AllSerialRecorder&) = delete;

    // Appends to `path` (created if missing). False with the system's reason
    // in `error` when it cannot be opened.
    bool Open(const std::string& path, std::string* error = nullptr);
    // Empty, or why the file did not close cleanly.
    std::string Close();
    bool IsOpen() const;
    // Why the last exchange could not be written; empty while they go in.
    std::string Error() const;
    // Mirrors the check box: while off, nothing is written even to an open file.
    void SetTicked(bool on) { ticked_.store(on); }
    bool Ticked() const { return ticked_.load(); }

    // The text one exchange adds to the file.
    static std::string Lines(const link::TrafficRecord& record);

private:
    void Record(const link::TrafficRecord& record);

    link::DeviceLink& link_;
    link::DeviceLink::ObserverId subscription_ = 0;
    std::atomic<bool> ticked_{false};
    mutable std::mutex mutex_;  //!< guards the two below; held for one write, never while waiting for the line
    link::LineFile file_;
    std::string error_;
};

}  // namespace tessary::capture
