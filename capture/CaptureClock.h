#pragma once
// The clock the capture cycles keep time by. The program gives the steady
// clock; tests give a virtual one, so hours of periods run in milliseconds.

#include <chrono>
#include <condition_variable>
#include <memory>
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

// The real clock. Its sleep is the system's most precise wait: a condition
// variable on POSIX, a high-resolution waitable timer on Windows, where the
// plain waits keep the 15.6 ms tick (CaptureClockPosix.cpp, CaptureClockWin32.cpp).
class SteadyCaptureClock final : public CaptureClock {
public:
    SteadyCaptureClock();
    ~SteadyCaptureClock() override;
    SteadyCaptureClock(const SteadyCaptureClock&) = delete;
    SteadyCaptureClock& operator=(const SteadyCaptureClock&) = delete;
    TimePoint Now() override { return std::chrono::steady_clock::now(); }
    void SleepUntil(TimePoint t) override;
    void Wake() override;

private:
    struct Waiter;
    std::unique_ptr<Waiter> waiter_;
};

}  // namespace tessary::capture
