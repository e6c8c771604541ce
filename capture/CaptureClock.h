#pragma once
// The clock the capture cycles keep time by. The program gives the steady
// clock; tests give a virtual one, so hours of periods run in milliseconds.

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

namespace tessary::capture {

class CaptureClock {
public:
    using TimePoint = std::chrono::steady_clock::time_point;
    virtual ~CaptureClock() = default;
    virtual TimePoint Now() = 0;
    // Returns at `t` (at once when it has passed), or earlier after Wake().
    // A Wake() that comes while nobody sleeps ends the next sleep at once.
    virtual void SleepUntil(TimePoint t) = 0;
    virtual void Wake() = 0;
};

class SteadyCaptureClock final : public CaptureClock {
public:
    TimePoint Now() override { return std::chrono::steady_clock::now(); }
    void SleepUntil(TimePoint t) override {
        std::unique_lock lock(mutex_);
        cv_.wait_until(lock, t, [this] { return woken_; });
        woken_ = false;
    }
    void Wake() override {
        {
            std::lock_guard lock(mutex_);
            woken_ = true;
        }
        cv_.notify_all();
    }

private:
    std::mutex mutex_;
    std::condition_variable cv_;
    bool woken_ = false;  //!< guarded by mutex_
};

}  // namespace tessary::capture
