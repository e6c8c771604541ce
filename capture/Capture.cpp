#include "capture/Capture.h"

#include "app/LineWatch.h"
#include "app/Operator.h"
#include "capture/CaptureText.h"
#include "device/DeviceInfo.h"


namespace tessary::capture {

Capture::Capture(link::DeviceLink& link, app::Operator& op, CaptureView& view, CaptureClock& clock,
                 std::chrono::milliseconds rateUnit)
    : link_(link), op_(op), view_(view), clock_(clock), rateUnit_(rateUnit) {}

Capture::~Capture() { Stop(); }

bool Capture::Start(const CaptureSetup& setup) {
    Stop();  // a capture still winding down ends first
    bool any = setup.allSerial;
    for (const bool t : setup.ticked) any = any || t;
    if (!any) {
        op_.ShowMessageBox("Please select a source");
        return false;
    }
    stop_ = false;
    closeAllSerial_ = false;
    skipped_ = 0;
    lateSaid_ = false;
    for (int k = 0; k <= kSlots; ++k) view_.ShowFileError(k, {});

    const auto inDefault = [&](const std::string& path) {
        return !setup.defaultFolder.empty() && path.rfind(setup.defaultFolder, 0) == 0;
    };
    bool wantDefault = setup.allSerial && inDefault(setup.allSerialPath);
    for (int k = 0; k < kSlots; ++k) wantDefault = wantDefault || (setup.ticked[k] && inDefault(setup.paths[k]));
    if (wantDefault) (void)link::MakeFolders(setup.defaultFolder);  // a failure shows when the file will not open

    allSerialOpen_ = false;
    allSerialPath_ = setup.allSerialPath;
    allSerialError_.clear();
    garbled_ = 0;
    if (setup.allSerial) {
        std::string error;
        allSerialOpen_ = link_.OpenAllSerialFile(setup.allSerialPath, &error);
        if (!allSerialOpen_) view_.ShowFileError(0, "Cannot open " + setup.allSerialPath + ": " + error);
        link_.SetAllSerial(true);
    }
    for (int k = 0; k < kSlots; ++k) {
        ticked_[k] = setup.ticked[k];
        if (setup.ticked[k]) OpenTransducerFile(k, setup.paths[k]);
    }
    addresses_ = setup.addresses;
    timeoutMs_ = device::TimeoutFromGateTime(setup.gateTime);
    // The operator's setting follows the gate time and keeps it after the
    // capture; the cycles give theirs to each exchange, so whatever sets it
    // later changes nothing here.
    link_.SetResponseTimeoutMs(timeoutMs_);
    period_ = rateUnit_ * ParseCaptureRate(setup.rateText);

    view_.ShowState(true, {});
    active_ = true;
    start_ = clock_.Now();
    thread_ = std::thread([this] { Run(); });
    return true;
}

void Capture::OpenTransducerFile(int slot, const std::string& path) {
    std::uint64_t size = 0;
    std::string notRegular;
    const bool exists = link::RegularFileSize(path, size, notRegular);  // anything else fails at the open
    const bool truncate = exists && !view_.AskAppend(path);
    std::string error;
    {
        std::lock_guard lock(filesMutex_);
        paths_[slot] = path;
        error = files_[slot].Open(path, truncate ? link::LineFile::Mode::Truncate : link::LineFile::Mode::Append);
        if (!error.empty()) error = "Cannot open " + path + ": " + error;
        fileErrors_[slot] = error;
    }
    if (!error.empty()) view_.ShowFileError(slot + 1, error);
}

void Capture::RequestStop() {
    stop_ = true;
    clock_.Wake();
}

void Capture::Stop() {
    RequestStop();
    if (thread_.joinable()) thread_.join();
}

void Capture::SlotClicked(int slot, bool ticked) {
    if (slot < 1 || slot > kSlots) return;
    ticked_[slot - 1] = ticked;
    std::string error;
    {
        std::lock_guard lock(filesMutex_);
        error = files_[slot - 1].Close();
        if (!error.empty()) error = "Cannot close " + paths_[slot - 1] + ": " + error;
    }
    if (!error.empty()) view_.ShowFileError(slot, error);
}

void Capture::AllSerialClicked(bool ticked) {
    if (!active_) {
        link_.SetAllSerial(ticked);
        return;
    }
    // Nothing reaches the file from now on; the capture thread closes it, so
    // the window never waits for the link here.
    link_.SetAllSerial(false);
    allSerialTick_ = ticked;
    closeAllSerial_ = true;
    clock_.Wake();
}

void Capture::HandleRequests() {
    if (!closeAllSerial_.exchange(false)) return;
    CheckAllSerialFile();
    if (allSerialOpen_) {
        const std::string error = link_.CloseAllSerialFile();
        if (!error.empty()) view_.ShowFileError(0, "Cannot close " + allSerialPath_ + ": " + error);
    }
    allSerialOpen_ = false;
    link_.SetAllSerial(allSerialTick_);
}

void Capture::CheckAllSerialFile() {
    // The link writes the file for every thread's exchanges; the capture says what went wrong.
    if (!allSerialOpen_) return;
    std::string error = link_.AllSerialFileError();
    if (!error.empty()) error = "Cannot write " + allSerialPath_ + ": " + error;
    if (error == allSerialError_) return;
    allSerialError_ = error;
    view_.ShowFileError(0, error);
}

std::string Capture::RunningNote() const {
    std::string note;
    if (skipped_ > 0) note = std::to_string(skipped_.load()) + " periods skipped: the line was busy longer than a period";
    if (garbled_ > 0)
        note += (note.empty() ? "" : "; ") + std::to_string(garbled_.load()) + " garbled answers filed as \"" +
                std::string(link::kNoConnect) + "\"";
    return note;
}

void Capture::Run() {
    std::string note;
    std::uint64_t k = 1;
    while (!stop_) {
        const auto due = start_ + period_ * static_cast<std::int64_t>(k);
        while (!stop_ && clock_.Now() < due - kBookAhead) {
            clock_.SleepUntil(due - kBookAhead);
            HandleRequests();
        }
        if (stop_) break;
        // Booked a little ahead: the cycle waits at most for the exchange under
        // way, and the hand-off's own delay falls before the deadline.
        link::LinkHold booked = link_.Hold();
        while (!stop_ && clock_.Now() < due) clock_.SleepUntil(due);
        if (stop_) break;
        if (cycleObserver_) cycleObserver_({k, due, clock_.Now()});
        const bool goOn = RunCycle(note, booked);
        CheckAllSerialFile();
        if (!goOn) break;
        if (rebase_) {
            rebase_ = false;
            start_ = clock_.Now() - period_ * static_cast<std::int64_t>(k);
            ++k;
            continue;
        }
        const auto passed = static_cast<std::uint64_t>((clock_.Now() - start_) / period_);
        if (passed <= k) {
            ++k;
        } else {
            // Period k+1 has gone by: the latest one gone by runs now, once.
            const std::uint64_t missed = passed - k - 1;
            k = passed;
            if (missed > 0) {
                skipped_ += missed;
                view_.ShowState(true, RunningNote());
            }
        }
    }
    CloseCaptureFiles();
    active_ = false;
    view_.ShowState(false, note);
}

bool Capture::RunCycle(std::string& note, link::LinkHold& booked) {
    for (int k = 0; k < kSlots; ++k) {
        HandleRequests();
        if (stop_) return true;
        if (!ticked_[k]) continue;
        // Filed as data: after a box that kept silent, its late answer is
        // discarded instead of filed under the next slot.
        const auto since = std::chrono::steady_clock::now();
        const link::Reply reply = link_.Exchange(addresses_[k] + std::string(kCaptureCommand) + "\r\n",
                                                 {std::chrono::milliseconds(timeoutMs_), true});
        booked.Release();  // the other slots take their turns with the other threads
        const std::string& answer = reply.text;
        const link::ExchangeOutcome outcome = reply.outcome;
        if (reply.lateDiscarded && !lateSaid_.exchange(true))
            view_.ShowState(true, "a late answer was discarded: a box answers after its time-out, and its readings"
                                  " are filed as \"NoConnect\"");
        if (watch_ && (outcome == link::ExchangeOutcome::HangUp ||
                       (outcome == link::ExchangeOutcome::NotOpen && watch_->UnpluggedSince(since))))
            return PauseForAdapter(since, note);
        // Noise is no reading: it is filed as a missing answer is, and counted.
        const bool garbled = outcome == link::ExchangeOutcome::Garbled;
        const std::string line = garbled ? std::string(link::kNoConnect) : FormatCaptureTime(answer);
        view_.ShowLine(k + 1, line);
        WriteLine(k, line);
        if (garbled) {
            ++garbled_;
            view_.ShowState(true, RunningNote());
        }
    }
    return true;
}

bool Capture::PauseForAdapter(std::chrono::steady_clock::time_point since, std::string& note) {
    const auto back = watch_->AwaitReturn(
        since, [this] { return stop_.load(); },
        [this](int ms) {
            clock_.SleepUntil(clock_.Now() + std::chrono::milliseconds(ms));
            HandleRequests();
        });
    switch (back.outcome) {
    case app::LineWatch::Outcome::Resumed:
        break;
    case app::LineWatch::Outcome::Refused:
        note = "Capture stopped: " + back.notice;
        return false;
    case app::LineWatch::Outcome::Stopped:
        return true;
    }
    const std::string gap = app::GapLine(back.away, back.back);
    for (int k = 0; k < kSlots; ++k) {
        if (!ticked_[k]) continue;
        view_.ShowLine(k + 1, gap);
        WriteLine(k, gap);
    }
    rebase_ = true;
    return true;
}

void Capture::WriteLine(int slot, const std::string& line) {
    std::string report;
    bool changed = false;
    {
        std::lock_guard lock(filesMutex_);
        link::LineFile& file = files_[slot];
        if (!file.IsOpen()) return;
        std::string error = file.Write(line + "\r\n");
        if (!error.empty()) error = "Cannot write " + paths_[slot] + ": " + error;
        changed = error != fileErrors_[slot];
        fileErrors_[slot] = report = error;
    }
    // Said once when it fails and once when it works again, not every period.
    if (changed) view_.ShowFileError(slot + 1, report);
}

void Capture::CloseCaptureFiles() {
    std::array<std::string, kSlots + 1> errors;
    {
        std::lock_guard lock(filesMutex_);
        for (int k = 0; k < kSlots; ++k)
            if (std::string error = files_[k].Close(); !error.empty())
                errors[k + 1] = "Cannot close " + paths_[k] + ": " + error;
    }
    CheckAllSerialFile();
    if (allSerialOpen_)
        if (std::string error = link_.CloseAllSerialFile(); !error.empty())
            errors[0] = "Cannot close " + allSerialPath_ + ": " + error;
    allSerialOpen_ = false;
    for (int k = 0; k <= kSlots; ++k)
        if (!errors[k].empty()) view_.ShowFileError(k, errors[k]);
}

}  // namespace tessary::capture
