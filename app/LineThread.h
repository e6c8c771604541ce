#pragma once
// The line thread: every operation that talks to the boxes runs here, one after
// another, as the plain sequential code the flows are. The window thread only
// queues work and shows.
//
// Two kinds of work, one queue in arrival order:
// - an operation (Post) runs on its own, never inside another;
// - a request (Request) runs at the running operation's next RunRequests (its
//   ProcessEvents between two exchanges), or on its own when none runs. A
//   setting changed during a readings loop and a loop's stop switch are requests.
//
// Threading: Post, Request, Idle and WaitIdle may be called from any thread;
// RunRequests and WaitRequests only on the line thread. The destructor drops
// what is queued, waits for the running job and joins.

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>

namespace tessary::app {

class LineThread {
public:
    LineThread();
    ~LineThread();
    LineThread(const LineThread&) = delete;
    // Drops what is queued, waits for the running job and joins; later Posts
    // and Requests are dropped. Not on the line thread. The destructor calls it.
    void Stop();
    LineThread& operator=(const LineThread&) = delete;

    void Post(std::function<void()> operation);
    void Request(std::function<void()> request);

    // On the line thread: runs the requests queued so far (and those they queue).
    void RunRequests();
    // As RunRequests, but first waits up to `maxMs` while none is queued.
    void WaitRequests(int maxMs);

    bool OnLine() const { return std::this_thread::get_id() == thread_.get_id(); }
    // Nothing queued and nothing running.
    bool Idle() const;
    bool WaitIdle(std::chrono::milliseconds limit) const;

private:
    struct Job {
        std::function<void()> run;
        bool request = false;
    };
    void Main();
    bool TakeRequest(Job& job);  // with mutex_ held
    void Run(Job& job);

    mutable std::mutex mutex_;  //!< guards queue_, busy_, stop_
    mutable std::condition_variable changed_;
    std::deque<Job> queue_;
    int busy_ = 0;  // jobs running (nested requests count too)
    bool stop_ = false;
    std::thread thread_;  // last: starts when everything above exists
};

}  // namespace tessary::app
