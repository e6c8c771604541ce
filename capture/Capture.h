#pragma once
// Timed capture to files: every period one cycle asks each ticked transducer
// for its time and four readings, shows the line and appends it to the slot's
// file; the all-serial copy of the line's traffic is opened and closed here.
//
// Threads: Start, Stop, RequestStop and the tick calls come from the window.
// None of them but Stop waits for the line, nor asks anything: Start takes a
// plan whose questions were answered before, opens the slot files, starts the
// clock and returns; the capture's own thread
// waits for a capture still winding down and opens the all-serial file. The cycles run on that thread, to absolute deadlines on the
// clock given (no drift), from a snapshot taken at Start; they reach the
// window only through CaptureView. Cycles never overlap: a cycle that overruns
// its period makes the missed period run once, late, at its end; further
// missed periods are skipped and counted.

#include "app/ConnectionCopy.h"
#include "capture/AllSerialRecorder.h"
#include "capture/CaptureClock.h"
#include "device/ReadingsPublisher.h"
#include "link/DeviceLink.h"
#include "link/Files.h"

#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

namespace tessary::app {
class LineWatch;
class Operator;
}

namespace tessary::capture {

inline constexpr int kSlots = 4;
// How long before its deadline a cycle asks for the line; once it has it, it
// keeps it, idle, until the deadline. The hand-off on a loaded machine takes
// milliseconds; this way it falls before the deadline, at a cost to the other
// threads of at most this much a period.
inline constexpr std::chrono::milliseconds kBookAhead{10};

// The page. Called from the capture thread too: an implementation queues the
// calls to the window and returns. Each names its run (Start numbers them 1, 2,
// ...): a run still ending reports after the next one is planned or started,
// and only the newest may change what the page shows.
class CaptureView {
public:
    virtual ~CaptureView() = default;
    // A new line of slot 1..4 for its edBox.
    virtual void ShowLine(std::uint64_t run, int slot, const std::string& line) = 0;
    // Source 0 is the all-serial file, 1..4 the slots. The text names the file
    // and the system's reason; empty: the file takes lines again.
    virtual void ShowFileError(std::uint64_t run, int source, const std::string& text) = 0;
    // Started (the boxes start empty) or ended; the note says why it ended, or
    // while running how many periods were skipped and answers came garbled.
    virtual void ShowState(std::uint64_t run, bool running, const std::string& note) = 0;
};

// The page and the connection as they are when the capture starts, every
// question answered.
struct CapturePlan {
    bool allSerial = false;
    std::string allSerialPath;
    std::array<bool, kSlots> ticked{};
    std::array<std::string, kSlots> paths{};
    std::array<bool, kSlots> overwrite{};  // "Overwrite" for an existing file; else lines are appended
    std::array<std::string, kSlots> addresses{};  // TransducerAddress
    std::string rateText = "1";                   // edCaptureRate
    std::string gateTime;                         // the gate time last shown
    std::string defaultFolder;                    // made when a file is to go there and it is missing
    std::array<device::PublishedBox, kSlots> boxes{};  // what is known of each slot's box, for a publisher
};

// The boxes and the gate time of the plan from the window's copy of the
// connection (never from the state the line thread writes).
inline void FillFromConnection(CapturePlan& plan, const app::ConnectionCopy& shown) {
    plan.addresses = shown.TransducerAddress;
    plan.gateTime = shown.GateTime;
}

// dlgPCCapture, before Start: `append` is asked about each ticked slot's file
// that exists, in slot order, and answers true for "Append", false for "Overwrite".
void AskAppendOrOverwrite(CapturePlan& plan, const std::function<bool(const std::string& path)>& append);

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
    // opens the slot files in order as the plan says and starts the clock: the first cycle is due one period
    // from now. The all-serial file is opened by the capture thread. The cycles' time-out comes from the gate time; the link's
    // setting is set to it too, and stays. A capture still winding down ends
    // first, on the new thread.
    bool Start(const CapturePlan& plan);
    // Returns at once; the capture thread closes the files as it ends and then
    // reports ShowState(false, ...).
    void RequestStop();
    // Waits for an exchange under way (the rest of its cycle is left out) and
    // for the files to close. For the window's close, once the line is idle.
    void Stop();
    bool Running() const { return run_ && run_->active.load(); }

    // cbTrans1..4 (slot 1..4) or cbAllSerial ticked or unticked: the source's
    // file is closed for the rest of this capture. The cycles follow the ticks.
    void SetSlotTicked(int slot, bool ticked);
    void SetAllSerialTicked(bool ticked);

    // How many captures Start began: the newest one's number.
    std::uint64_t Runs() const { return runs_; }
    // Of the newest capture.
    std::chrono::milliseconds Period() const { return run_ ? run_->period : std::chrono::milliseconds(1000); }
    std::uint32_t TimeoutMs() const { return run_ ? run_->timeoutMs : 1000; }
    std::uint64_t Skipped() const { return run_ ? run_->skipped.load() : 0; }
    // Answers that came garbled: filed and shown as "NoConnect", never as a reading.
    std::uint64_t Garbled() const { return run_ ? run_->garbled.load() : 0; }
    // Cycles cut short by an unplugged adapter: they took no readings.
    std::uint64_t Paused() const { return run_ ? run_->paused.load() : 0; }
    // Called at the start of every cycle on the capture thread. Set before Start.
    void SetCycleObserver(std::function<void(const CycleTiming&)> observer) { cycleObserver_ = std::move(observer); }
    // With a watch, an unplugged adapter pauses the cycles (without one its
    // hang-up is an unanswered reading): they go on one period after the same
    // box is back, and each open file gets one gap line. Set before Start.
    void SetLineWatch(app::LineWatch* watch) { watch_ = watch; }
    // Given each slot's box at Start, every row and every gap line, on the
    // capture thread, after the file has its line. Taken at Start: a capture
    // still ending keeps the one it started with; null for none.
    void SetPublisher(device::ReadingsPublisher* publisher) { publisher_ = publisher; }

private:
    // One capture from Start to the end of its thread. A new Start makes a new
    // one, so the window never waits for the old one's thread.
    struct Run {
        // The snapshot; written by Start before the thread starts, then only read.
        std::uint64_t number = 0;
        std::array<std::string, kSlots> addresses;
        std::array<std::string, kSlots> ids;
        device::ReadingsPublisher* publisher = nullptr;
        std::chrono::milliseconds period{1000};
        std::uint32_t timeoutMs = 1000;
        CaptureClock::TimePoint start{};
        std::string allSerialPath;  // empty: no all-serial file
        bool allSerialOpen = false;  // capture thread only
        std::string allSerialError;  // capture thread only: the text last reported for source 0
        bool rebase = false;         // capture thread: the schedule starts afresh after a pause

        std::array<std::atomic<bool>, kSlots> ticked{};
        std::atomic<bool> stop{false};
        std::atomic<bool> active{false};
        std::atomic<bool> closeAllSerial{false};
        std::atomic<bool> allSerialTick{false};
        std::atomic<std::uint64_t> skipped{0};
        std::atomic<std::uint64_t> garbled{0};
        std::array<std::atomic<bool>, kSlots> lateSaid{};  // the slot's box was said to answer late
        std::atomic<std::uint64_t> unattributed{0};
        std::atomic<std::uint64_t> paused{0};

        std::mutex filesMutex;  //!< guards files and fileErrors: a close never falls inside a write
        std::array<link::LineFile, kSlots> files;
        std::array<std::string, kSlots> paths;
        std::array<std::string, kSlots> fileErrors;

        std::unique_ptr<Run> previous;  // winding down; the thread joins it first
        std::thread thread;
    };

    void OpenTransducerFile(Run& run, int slot, const std::string& path, bool overwrite);
    void RunCycles(Run& run);
    bool RunCycle(Run& run, std::string& note, link::LinkHold& booked);
    // False: the capture ends (`note` says why).
    bool PauseForAdapter(Run& run, std::chrono::steady_clock::time_point since, std::string& note);
    void WriteLine(Run& run, int slot, const std::string& line);
    void HandleRequests(Run& run);
    void CheckAllSerialFile(Run& run);
    void CloseCaptureFiles(Run& run);
    static std::string RunningNote(const Run& run);
    static std::string LateBoxNote(const std::string& address, std::chrono::milliseconds timeout);
    static void Join(std::unique_ptr<Run>& run);

    link::DeviceLink& link_;
    app::Operator& op_;
    CaptureView& view_;
    CaptureClock& clock_;
    const std::chrono::milliseconds rateUnit_;
    std::function<void(const CycleTiming&)> cycleObserver_;
    app::LineWatch* watch_ = nullptr;
    device::ReadingsPublisher* publisher_ = nullptr;
    AllSerialRecorder allSerial_;
    std::unique_ptr<Run> run_;  // the newest; window thread only
    std::uint64_t runs_ = 0;    // window thread only
};

}  // namespace tessary::capture
