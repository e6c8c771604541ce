#pragma once
// The line's lock, handed over in the order the threads asked for it.
//
// A plain mutex promises no order: a readings loop that lets the line go and
// asks again within microseconds keeps getting it, and a capture period that
// fell due waits for luck. Here every lock() draws a ticket and waits for its
// turn, so a thread that asks again queues behind those already waiting, and a
// waiter waits at most for the holders ahead of it.
//
// Re-entrant for the thread that has the line: a held stream runs its
// exchanges under its own hold.

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <thread>

namespace tessary::link {

class LineLock {
public:
    void lock() {
        const auto me = std::this_thread::get_id();
        std::unique_lock guard(mutex_);
        if (depth_ > 0 && owner_ == me) {
            ++depth_;
            return;
        }
        const std::uint64_t ticket = next_++;
        turn_.wait(guard, [&] { return serving_ == ticket; });
        owner_ = me;
        depth_ = 1;
    }
    void unlock() {
        {
            std::lock_guard guard(mutex_);
            if (--depth_ > 0) return;
            owner_ = {};
            ++serving_;
        }
        turn_.notify_all();
    }
    // Threads waiting for their turn now, the one that has the line not counted.
    std::size_t waiting() const {
        std::lock_guard guard(mutex_);
        return next_ - serving_ > 0 ? static_cast<std::size_t>(next_ - serving_ - 1) : 0;
    }

private:
    mutable std::mutex mutex_;  //!< guards the four below
    std::condition_variable turn_;
    std::uint64_t next_ = 0;     // the ticket the next newcomer draws
    std::uint64_t serving_ = 0;  // the ticket whose turn it is
    std::thread::id owner_;
    int depth_ = 0;  // the owner's nested locks
};

}  // namespace tessary::link
