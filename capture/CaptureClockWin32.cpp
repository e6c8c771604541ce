#include "capture/CaptureClock.h"

#include <windows.h>

#include <algorithm>

namespace tessary::capture {
namespace {
// CREATE_WAITABLE_TIMER_HIGH_RESOLUTION (Windows 10 1803); mingw's headers lack the name.
constexpr DWORD kHighResolution = 0x00000002;
}  // namespace

struct SteadyCaptureClock::Waiter {
    HANDLE wake = ::CreateEventW(nullptr, FALSE, FALSE, nullptr);  // auto-reset: one wake ends one sleep
    HANDLE timer = nullptr;
    Waiter() {
        timer = ::CreateWaitableTimerExW(nullptr, nullptr, kHighResolution, TIMER_ALL_ACCESS);
        // Older systems (and Wine) have only the plain timer.
        if (!timer) timer = ::CreateWaitableTimerExW(nullptr, nullptr, 0, TIMER_ALL_ACCESS);
    }
    ~Waiter() {
        if (timer) ::CloseHandle(timer);
        if (wake) ::CloseHandle(wake);
    }
    Waiter(const Waiter&) = delete;
    Waiter& operator=(const Waiter&) = delete;

    // Until `d` has passed or a wake comes; the wake wins when both are there.
    void Sleep(std::chrono::steady_clock::duration d) {
        const auto ticks = std::chrono::duration_cast<std::chrono::nanoseconds>(d).count() / 100;
        LARGE_INTEGER due{};
        due.QuadPart = -std::max<long long>(ticks, 1);  // negative: relative, in 100 ns
        const HANDLE both[] = {wake, timer};
        if (timer && ::SetWaitableTimer(timer, &due, 0, nullptr, nullptr, FALSE)) {
            ::WaitForMultipleObjects(2, both, FALSE, INFINITE);  // the timer bounds it
            ::CancelWaitableTimer(timer);
        } else {
            const auto ms = std::chrono::ceil<std::chrono::milliseconds>(d).count();
            ::WaitForSingleObject(wake, static_cast<DWORD>(std::clamp<long long>(ms, 0, 0x7FFFFFFF)));
        }
    }
};

SteadyCaptureClock::SteadyCaptureClock() : waiter_(std::make_unique<Waiter>()) {}
SteadyCaptureClock::~SteadyCaptureClock() = default;

void SteadyCaptureClock::SleepUntil(TimePoint t) {
    const auto left = t - Now();
    if (left <= std::chrono::steady_clock::duration::zero()) {
        ::WaitForSingleObject(waiter_->wake, 0);  // a wake that came meanwhile is spent, as on POSIX
        return;
    }
    waiter_->Sleep(left);
}

void SteadyCaptureClock::Wake() { ::SetEvent(waiter_->wake); }

}  // namespace tessary::capture
