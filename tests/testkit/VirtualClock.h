#pragma once
// A capture clock in virtual time, shared with a ScriptedPort: the link's
// waits move it on, a sleep jumps it to its deadline, and the test lets it run
// up to a point.

#include "capture/CaptureClock.h"
#include "link/DeviceLink.h"
#include "testkit/ScriptedPort.h"

#include <utility>

namespace tessary::testkit {

class VirtualClock final : public capture::CaptureClock {
public:
    VirtualClock(ScriptedPort& port, link::DeviceLink& link) : port_(port), link_(link) {}

    TimePoint Now() override {
        auto hold = link_.Hold();
        return port_.now();
    }
    void SleepUntil(TimePoint t) override {
        std::unique_lock lock(mutex_);
        while (!woken_ && t > limit_) {
            parked_ = true;
            cv_.notify_all();
            cv_.wait(lock);
        }
        parked_ = false;
        if (std::exchange(woken_, false)) return;
        lock.unlock();
        auto hold = link_.Hold();
        if (t > port_.now()) port_.Advance(std::chrono::ceil<std::chrono::microseconds>(t - port_.now()));
    }
    void Wake() override {
        std::lock_guard lock(mutex_);
        woken_ = true;
        cv_.notify_all();
    }
    // Lets time run to `limit`; with `wait`, true once the sleeper waits beyond it.
    bool RunUntil(TimePoint limit, bool wait = true) {
        std::unique_lock lock(mutex_);
        limit_ = limit;
        parked_ = false;
        cv_.notify_all();
        return !wait || cv_.wait_for(lock, std::chrono::seconds(20), [this] { return parked_; });
    }

private:
    ScriptedPort& port_;
    link::DeviceLink& link_;
    std::mutex mutex_;
    std::condition_variable cv_;
    TimePoint limit_{};  //!< these three guarded by mutex_
    bool parked_ = false;
    bool woken_ = false;
};

}  // namespace tessary::testkit
