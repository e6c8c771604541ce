#pragma once
// A serial line of simulated boxes on a pseudo-terminal.
//
// The PC opens slavePath() as its serial port. One thread per line reads what
// the PC writes, cuts it into commands at "\r\n", hands each to the box(es) at
// its address and writes the answers back, paced at 10 bits a byte at the
// box's rate. A box hears a command only when the PC's speed (read from the
// pty at the moment the bytes arrive) equals its own.
//
// Threading: every public member may be called from any thread. The trace sink
// is called with no lock held, on the line's thread (or on the thread calling
// hangUp()/restore() for their own events).

#include "sim/Box.h"
#include "sim/Config.h"

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace bravik::sim {

struct Traffic {
    enum class Dir { FromPc, ToPc, Event };
    std::chrono::steady_clock::time_point time;  // FromPc: bytes read; ToPc: last byte written
    Dir dir = Dir::Event;
    int address = -1;       // FromPc: address in the command (-1: none); ToPc: the box's address
    unsigned baud = 0;      // FromPc: PC speed seen (0: it changed mid-line); ToPc: the box's rate
    std::string text;       // the line without "\r\n", or an event description
};

class Line {
public:
    explicit Line(LineConfig config);
    ~Line();
    Line(const Line&) = delete;
    Line& operator=(const Line&) = delete;

    // Opens the pty and starts the thread; throws std::system_error on failure.
    // Does nothing when already running.
    void start();
    // Stops and joins the thread, closes the pty, removes the link. Idempotent.
    void stop();
    bool running() const;

    // What the PC opens: the link path when one was asked for, else the pty's own name.
    std::string slavePath() const;
    std::string ptyName() const;

    // Faults of the box now at `address` (or its alias); false when there is none.
    bool setFaults(int address, const Faults& faults);
    std::optional<Faults> faults(int address) const;
    // The same faults for every box of the line.
    void setLineFaults(const Faults& faults);
    void setPacing(bool on);
    void setGarbleOnMismatch(bool on);

    // Hang-up: the pty is closed, the PC side sees POLLHUP/EIO, the links go.
    // restore() brings a fresh pty (a new name; the links are pointed at it).
    // Box state survives; with `otherBoxes` every box comes back with another
    // "ID" answer, as if another adapter and line had been plugged in.
    void hangUp();
    void restore(bool otherBoxes = false);

    // Box state as the line sees it now.
    std::vector<int> addresses() const;
    unsigned boxBaud(int address) const;  // 0: no box there

    std::vector<Traffic> traffic() const;
    void clearTraffic();
    // Waits until `pred` holds for the traffic so far, at most `timeout`.
    bool waitForTraffic(const std::function<bool(const std::vector<Traffic>&)>& pred,
                        std::chrono::milliseconds timeout) const;
    void setTraceSink(std::function<void(const Traffic&)> sink);

private:
    struct Job;
    void run();
    void openPty();
    void closePty();
    void onInput(const char* data, std::size_t n);
    void dispatch(const std::string& line, unsigned speed, std::chrono::steady_clock::time_point at);
    void enqueue(std::size_t box, std::vector<OutLine> lines, std::chrono::steady_clock::time_point notBefore,
                 bool garble);
    std::chrono::steady_clock::time_point pump(std::chrono::steady_clock::time_point now);
    void record(Traffic t);  // mu_ held
    void flushSink();

    const std::string name_;
    const std::string linkPath_;
    std::vector<std::string> links_;  // linkPath_ and the by-id link

    mutable std::mutex mu_;  //!< guards the boxes and everything below it
    mutable std::condition_variable trafficCv_;
    std::vector<std::unique_ptr<Box>> boxes_;
    std::vector<unsigned> answerCount_;
    bool pacing_;
    bool garbleOnMismatch_;
    std::vector<Traffic> traffic_;
    std::function<void(const Traffic&)> sink_;
    std::vector<Traffic> toSink_;
    std::string ptyName_;
    bool running_ = false;

    // Owned by the line thread while it runs (set up and torn down around it).
    std::thread thread_;
    int master_ = -1;
    int slaveHold_ = -1;  // keeps the slave open so the master never sees a hang-up between PC opens
    int stopFd_ = -1;
    std::string rx_;
    std::vector<unsigned> rxSpeed_;
    std::vector<std::unique_ptr<Job>> jobs_;  // in order of their start times
    std::unique_ptr<Job> current_;
    std::chrono::steady_clock::time_point txFree_{};
    bool blockedOnWrite_ = false;
    std::chrono::steady_clock::time_point hupUntil_{};
};

}  // namespace bravik::sim
