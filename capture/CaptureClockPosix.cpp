#include "capture/CaptureClock.h"

#include <condition_variable>
#include <mutex>
#include <thread>

namespace tessary::capture {

struct SteadyCaptureClock::Waiter {
    std::mutex mutex;
    std::condition_variable cv;
    bool woken = false;  //!< guarded by mutex
};

SteadyCaptureClock::SteadyCaptureClock() : waiter_(std::make_unique<Waiter>()) {}
SteadyCaptureClock::~SteadyCaptureClock() = default;

void SteadyCaptureClock::SleepUntil(TimePoint t) {
    std::unique_lock lock(waiter_->mutex);
    waiter_->cv.wait_until(lock, t, [this] { return waiter_->woken; });
    waiter_->woken = false;
}

void SteadyCaptureClock::Wake() {
    {
        std::lock_guard lock(waiter_->mutex);
        waiter_->woken = true;
    }
    waiter_->cv.notify_all();
}

}  // namespace tessary::capture
