#pragma once
// An unplugged adapter and its return. The link tells this watch of the first
// hang-up of an open port; the status line says "COM1: adapter unplugged" once.
// The loops that pause rather than write "NoConnect" rows (the readings loops,
// the capture) then call AwaitReturn: it waits for the same adapter (by-id
// name, USB serial, or the same path), reopens it at the same settings and
// asks the box at the remembered address for its "ID". Only that box's own
// answer resumes; another answer, or none, stops them with a notice.
//
// Threading: any thread. Several loops may wait at once: one of them looks,
// the others learn how it ended. The link is never called with mutex_ held.

#include "link/AdapterWatch.h"
#include "link/DeviceLink.h"

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>

namespace tessary::app {

class LineWatch {
public:
    using SystemTime = std::chrono::system_clock::time_point;
    // How often the folders are looked at when no change was noticed.
    static constexpr std::chrono::milliseconds kPollPeriod{500};
    // A lost network line is tried at once, then every fifth of the time it has been away, at most this.
    static constexpr std::chrono::milliseconds kNetPeriodMax{5000};

    explicit LineWatch(link::DeviceLink& link, link::SerialDirs dirs = {});
    ~LineWatch();
    LineWatch(const LineWatch&) = delete;
    LineWatch& operator=(const LineWatch&) = delete;

    void SetDirs(link::SerialDirs dirs);
    // The status line's sink ("COM1: adapter unplugged", "COM1: adapter back").
    // Called from any thread, the link's lock perhaps held: it must only queue.
    void SetStatusSink(std::function<void(const std::string&)> sink);

    // The box that must answer when the adapter returns: `id` is what "ID" at
    // `address` answered on the port open now. Also notes which adapter that is.
    void Arm(const std::string& address, const std::string& id);

    // The adapter is gone and not yet found again.
    bool Unplugged() const;
    // Unplugged, or it went and came back (or another box came back) since
    // `since`: an exchange begun then may have failed for that.
    bool UnpluggedSince(std::chrono::steady_clock::time_point since) const;

    enum class ReturnKind {
        Resumed,   // the same box answered on the same adapter: go on
        Refused,   // another box or none answered: stop, `notice` says what answered
        Stopped,   // `stop` said so first
    };
    struct Return {
        ReturnKind kind = ReturnKind::Stopped;
        std::string notice;           // Refused: for the operator
        SystemTime away{}, back{};    // Resumed: the gap; Stopped: away only
        bool network = false;         // a connection to a device server, not an adapter
    };
    // After an exchange that began at `since` found the line hung up (or the
    // port closed by the watch): waits until the adapter is back and checked.
    // `wait(ms)` is the caller's own pause (it runs the operator's requests, or
    // sleeps on the capture's clock); `stop()` is checked after each.
    Return AwaitReturn(std::chrono::steady_clock::time_point since, const std::function<bool()>& stop,
                       const std::function<void(int ms)>& wait);

private:
    Return Await(std::chrono::steady_clock::time_point since, const std::function<bool()>& stop,
                 const std::function<void(int ms)>& wait);
    void OnHangUp(const std::string& portName);
    bool LookOnce(Return& result);  // the looker only; no lock held

    link::DeviceLink& link_;
    mutable std::mutex mutex_;  //!< guards everything below
    link::SerialDirs dirs_;
    std::function<void(const std::string&)> sink_;
    std::string address_, id_;
    link::AdapterInfo adapter_;
    std::string portName_;
    enum class Phase { Plugged, Away, Refused } phase_ = Phase::Plugged;
    bool looking_ = false;
    std::string refusal_;
    SystemTime away_{}, back_{};
    std::chrono::steady_clock::time_point resumedAt_{}, refusedAt_{};
};

// How a gap line begins: an adapter's, a network line's.
inline constexpr std::string_view kGapUnplugged = "Gap: adapter unplugged ", kGapLost = "Gap: connection lost ";
// "Gap: adapter unplugged 2026/12/06, 21:50:01 - back 2026/12/06, 21:50:07" (or
// "Gap: connection lost ..." on a network line): the capture files' one line
// for a gap, in local time; `end` names how it ended.
std::string GapLine(LineWatch::SystemTime away, LineWatch::SystemTime back, const std::string& end = "back",
                    bool network = false);

}  // namespace tessary::app
