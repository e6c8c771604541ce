#pragma once
// The memory of the traffic window: the newest exchanges of every thread, fed
// by the link's traffic observer, read by the window on its own timer.

#include "link/DeviceLink.h"

#include <cstdint>
#include <deque>
#include <mutex>
#include <string>
#include <vector>

namespace tessary::capture {

struct TrafficEntry {
    std::uint64_t seq = 0;
    int address = 0;  // of the command; a read alone counts for the last address written; 0: none
    std::string text;
};

// "12:30:00.123  COM1  #01TM;D1;D2;D3;D4  ->  2007:05:17:12:30:00,1.5,..."; a
// "NoConnect" says why in brackets ("silent", "garbled", "hung up", ...).
std::string FormatTraffic(const link::TrafficRecord& record);

class TrafficLog {
public:
    explicit TrafficLog(std::size_t capacity = 5000) : capacity_(capacity) {}
    // Any thread; the link calls it with the link held, so it only queues.
    void Push(const link::TrafficRecord& record);
    // The kept entries newer than `seq`, oldest first.
    std::vector<TrafficEntry> After(std::uint64_t seq) const;
    std::uint64_t LastSeq() const;
    std::size_t Capacity() const { return capacity_; }

private:
    const std::size_t capacity_;
    mutable std::mutex mutex_;  //!< guards everything below
    std::deque<TrafficEntry> entries_;
    std::uint64_t lastSeq_ = 0;
    int lastAddress_ = 0;
};

}  // namespace tessary::capture
