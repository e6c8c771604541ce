#include "app/LineThread.h"

#include <cstdio>
#include <exception>

namespace tessary::app {

LineThread::LineThread() : thread_([this] { Main(); }) {}

LineThread::~LineThread() { Stop(); }

void LineThread::Stop() {
    if (!thread_.joinable()) return;
    {
        std::lock_guard lock(mutex_);
        stop_ = true;
        queue_.clear();
    }
    changed_.notify_all();
    thread_.join();
}

void LineThread::Post(std::function<void()> operation) {
    {
        std::lock_guard lock(mutex_);
        if (stop_) return;
        queue_.push_back({std::move(operation), false});
    }
    changed_.notify_all();
}

void LineThread::Request(std::function<void()> request) {
    {
        std::lock_guard lock(mutex_);
        if (stop_) return;
        queue_.push_back({std::move(request), true});
    }
    changed_.notify_all();
}

bool LineThread::Idle() const {
    std::lock_guard lock(mutex_);
    return busy_ == 0 && queue_.empty();
}

bool LineThread::WaitIdle(std::chrono::milliseconds limit) const {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, limit, [this] { return busy_ == 0 && queue_.empty(); });
}

bool LineThread::TakeRequest(Job& job) {
    for (auto it = queue_.begin(); it != queue_.end(); ++it) {
        if (!it->request) continue;
        job = std::move(*it);
        queue_.erase(it);
        ++busy_;
        return true;
    }
    return false;
}

void LineThread::Run(Job& job) {
    try {
        job.run();
    } catch (const std::exception& e) {
        std::fprintf(stderr, "tessary: an operation on the line failed: %s\n", e.what());
    } catch (...) {
        std::fprintf(stderr, "tessary: an operation on the line failed\n");
    }
    {
        std::lock_guard lock(mutex_);
        --busy_;
    }
    changed_.notify_all();
}

void LineThread::RunRequests() {
    for (;;) {
        Job job;
        {
            std::lock_guard lock(mutex_);
            if (stop_ || !TakeRequest(job)) return;
        }
        Run(job);
    }
}

void LineThread::WaitRequests(int maxMs) {
    {
        std::unique_lock lock(mutex_);
        changed_.wait_for(lock, std::chrono::milliseconds(maxMs > 0 ? maxMs : 0), [this] {
            if (stop_) return true;
            for (const Job& j : queue_)
                if (j.request) return true;
            return false;
        });
    }
    RunRequests();
}

void LineThread::Main() {
    for (;;) {
        Job job;
        {
            std::unique_lock lock(mutex_);
            changed_.wait(lock, [this] { return stop_ || !queue_.empty(); });
            if (stop_) return;
            job = std::move(queue_.front());
            queue_.pop_front();
            ++busy_;
        }
        Run(job);
    }
}

}  // namespace tessary::app
