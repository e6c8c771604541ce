#pragma once
// Timed capture to files: every period one cycle asks each ticked transducer
// for its time and four readings, shows the line and appends it to the slot's
// file; the all-serial copy of the link is opened and closed here.
//
// Threads: Start, Stop, RequestStop and the click calls come from the window.
// The cycles run on a thread of their own, to absolute deadlines on the clock
// given (no drift), from a snapshot taken at Start; they reach the window only
// through CaptureView. Cycles never overlap: a cycle that overruns its period
// makes the missed period run once, late, at its end; further missed periods
// are skipped and counted.

#include "capture/CaptureClock.h"
#include "link/DeviceLink.h"
#include "link/Files.h"

#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

namespace tessary::app {
class Operator;
class LineWatch;
}

namespace tessary::capture {

inline constexpr int kSlots = 4;
// How long before its deadline a cycle asks for the line; once it has it, it
// keeps it, idle, until the deadline. The hand-off on a loaded machine takes
// milliseconds; this way it falls before the deadline, at a cost to the other
// threads of at most this much a period.
inline constexpr std::chrono::milliseconds kBookAhead{10};

// The page. ShowLine, ShowFileError and ShowState are called from the capture
// thread too: an implementation queues them to the window and returns.
class CaptureView {
public:
    virtual ~CaptureView() = default;
    // dlgPCCapture for an existing file: true for "Append", false for "Overwrite".
    virtual bool AskAppend(const std::string& path) = 0;
    // A new line of slot 1..4 for its edBox.
    virtual void ShowLine(int slot, const std::string& line) = 0;
    // Source 0 is the all-serial file, 1..4 the slots. The text names the file
    // and the system's reason; empty: the file takes lines again.
    virtual void ShowFileError(int source, const std::string& text) = 0;
    // Started (the boxes start empty) or ended; the note says why it ended, or
    // while running how many periods were skipped and answers came garbled.
    virtual void ShowState(bool running, const std::string& note) = 0;
};

// The page and the connection as they are when the capture starts.
struct CaptureSetup {
    bool allSerial = false;
    std::string allSerialPath;
    std::array<bool, kSlots> ticked{};
    std::array<std::string, kSlots> paths{};
    std::array<std::string, kSlots> addresses{};  // TransducerAddress
    std::string rateText = "1";                   // edCaptureRate
    std::string gateTime;                         // the gate time last shown
    std::string defaultFolder;                    // made when a file is to go there and it is missing
};

struct CycleTiming {
    std::uint64_t period;  // 1 for the first period after Start
    CaptureClock::TimePoint due, began;
};

class Capture {
public:
    // `rateUnit`: what a rate of 1 means; a second, shorter only for the figures.
    Capture(link::DeviceLink& link, app::Operator& op, CaptureView& view, CaptureClock& clock,
            std::chrono::milliseconds rateUnit = std::chrono::seconds(1));
    ~Capture();  // Stop()
    Capture(const Capture&) = delete;
    Capture& operator=(const Capture&) = delete;

    // "Please select a source" and false when nothing is ticked. Otherwise
    // opens the all-serial file, then the slot files in order (asking Append
    // or Overwrite for an existing one) and starts the cycles, the first one
    // period from now. The cycles' time-out comes from the gate time; the
    // link's setting is set to it too, and stays.
    bool Start(const CaptureSetup& setup);
    // Returns at once; the capture thread closes the files as it ends and then
    // reports ShowState(false, ...).
    void RequestStop();
    // Waits for an exchange under way (the rest of its cycle is left out) and
    // for the files to close. For the window's close.
    void Stop();
    bool Running() const { return active_.load(); }

    // cbTrans1..4 (slot 1..4) and cbAllSerial clicked, either way: the source's
    // file is closed for the rest of this capture. The cycles follow the ticks.
    void SlotClicked(int slot, bool ticked);
    void AllSerialClicked(bool ticked);

    std::chrono::milliseconds Period() const { return period_; }
    std::uint32_t TimeoutMs() const { return timeoutMs_; }
    std::uint64_t Skipped() const { return skipped_.load(); }
    // Answers that came garbled: filed and shown as "NoConnect", never as a reading.
    std::uint64_t Garbled() const { return garbled_.load(); }
    // Called at the start of every cycle on the capture thread. Set before Start.
    void SetCycleObserver(std::function<void(const CycleTiming&)> observer) { cycleObserver_ = std::move(observer); }
    // With a watch, an unplugged adapter pauses the cycles (without one its
    // hang-up is an unanswered reading): they go on one period after the same
    // box is back, and each open file gets one gap line. Set before Start.
    void SetLineWatch(app::LineWatch* watch) { watch_ = watch; }

private:
    void OpenTransducerFile(int slot, const std::string& path);
    void Run();
    bool RunCycle(std::string& note, link::LinkHold& booked);
    // False: the capture ends (`note` says why).
    bool PauseForAdapter(std::chrono::steady_clock::time_point since, std::string& note);
    void WriteLine(int slot, const std::string& line);
    void HandleRequests();
    void CheckAllSerialFile();
    void CloseCaptureFiles();
    std::string RunningNote() const;

    link::DeviceLink& link_;
    app::Operator& op_;
    CaptureView& view_;
    CaptureClock& clock_;
    const std::chrono::milliseconds rateUnit_;

    // The snapshot; written by Start before the thread starts, then only read.
    std::array<std::string, kSlots> addresses_;
    std::chrono::milliseconds period_{1000};
    std::uint32_t timeoutMs_ = 1000;
    CaptureClock::TimePoint start_{};
    bool allSerialOpen_ = false;  // capture thread only, once running
    std::string allSerialPath_;
    std::string allSerialError_;  // capture thread only: the text last reported for source 0
    std::function<void(const CycleTiming&)> cycleObserver_;
    app::LineWatch* watch_ = nullptr;
    bool rebase_ = false;  // capture thread: the schedule starts afresh after a pause

    std::array<std::atomic<bool>, kSlots> ticked_{};
    std::atomic<bool> stop_{false};
    std::atomic<bool> active_{false};
    std::atomic<bool> closeAllSerial_{false};
    std::atomic<bool> allSerialTick_{false};
    std::atomic<std::uint64_t> skipped_{0};
    std::atomic<bool> lateSaid_{false};
    std::atomic<std::uint64_t> garbled_{0};

    std::mutex filesMutex_;  //!< guards files_ and fileErrors_: a close never falls inside a write
    std::array<link::LineFile, kSlots> files_;
    std::array<std::string, kSlots> paths_;
    std::array<std::string, kSlots> fileErrors_;

    std::thread thread_;
};

}  // namespace tessary::capture
