#include "capture/Capture.h"

#include "app/LineWatch.h"
#include "app/Operator.h"
#include "capture/CaptureText.h"
#include "device/DeviceInfo.h"

#include <cstdio>


namespace tessary::capture {

Capture::Capture(link::DeviceLink& link, app::Operator& op, CaptureView& view, CaptureClock& clock,
                 std::chrono::milliseconds rateUnit)
    : link_(link), op_(op), view_(view), clock_(clock), rateUnit_(rateUnit), allSerial_(link) {}

Capture::~Capture() { Stop(); }

void AskAppendOrOverwrite(CapturePlan& plan, const std::function<bool(const std::string& path)>& append) {
    for (int k = 0; k < kSlots; ++k) {
        std::uint64_t size = 0;
        std::string notRegular;
        // Anything but a regular file fails at the open.
        if (plan.ticked[k] && link::RegularFileSize(plan.paths[k], size, notRegular))
            plan.overwrite[k] = !append(plan.paths[k]);
    }
}

bool Capture::Start(const CapturePlan& plan) {
    bool any = plan.allSerial;
    for (const bool t : plan.ticked) any = any || t;
    if (!any) {
        op_.ShowMessageBox("Please select a source");
        return false;
    }
    auto run = std::make_unique<Run>();
    // A capture still winding down may wait for the line: its end is awaited
    // on the new thread, not here.
    if (run_) run_->stop = true;
    clock_.Wake();
    run->previous = std::move(run_);
    run->number = ++runs_;
    for (int k = 0; k <= kSlots; ++k) view_.ShowFileError(run->number, k, {});

    const auto inDefault = [&](const std::string& path) {
        return !plan.defaultFolder.empty() && path.rfind(plan.defaultFolder, 0) == 0;
    };
    bool wantDefault = plan.allSerial && inDefault(plan.allSerialPath);
    for (int k = 0; k < kSlots; ++k) wantDefault = wantDefault || (plan.ticked[k] && inDefault(plan.paths[k]));
    if (wantDefault) (void)link::MakeFolders(plan.defaultFolder);  // a failure shows when the file will not open

    if (plan.allSerial) {
        run->allSerialPath = plan.allSerialPath;
        allSerial_.SetTicked(true);
    }
    for (int k = 0; k < kSlots; ++k) {
        run->ticked[k] = plan.ticked[k];
        if (plan.ticked[k]) OpenTransducerFile(*run, k, plan.paths[k], plan.overwrite[k]);
    }
    run->addresses = plan.addresses;
    run->publisher = publisher_;
    for (int k = 0; k < kSlots; ++k) {
        run->ids[k] = plan.boxes[k].id;
        if (!publisher_ || !plan.ticked[k]) continue;
        device::PublishedBox box = plan.boxes[k];
        box.address = plan.addresses[k];
        publisher_->BoxStarted(box);
    }
    run->timeoutMs = device::TimeoutFromGateTime(plan.gateTime);
    // The operator's setting follows the gate time and keeps it after the
    // capture; the cycles give theirs to each exchange, so whatever sets it
    // later changes nothing here.
    link_.SetResponseTimeoutMs(run->timeoutMs);
    run->period = rateUnit_ * ParseCaptureRate(plan.rateText);

    view_.ShowState(run->number, true, {});
    run->active = true;
    run->start = clock_.Now();
    run_ = std::move(run);
    run_->thread = std::thread([this, r = run_.get()] { RunCycles(*r); });
    return true;
}

void Capture::OpenTransducerFile(Run& run, int slot, const std::string& path, bool overwrite) {
    std::string error;
    {
        std::lock_guard lock(run.filesMutex);
        run.paths[slot] = path;
        error = run.files[slot].Open(path, overwrite ? link::LineFile::Mode::Truncate : link::LineFile::Mode::Append);
        if (!error.empty()) error = "Cannot open " + path + ": " + error;
        run.fileErrors[slot] = error;
    }
    if (!error.empty()) view_.ShowFileError(run.number, slot + 1, error);
}

void Capture::RequestStop() {
    if (run_) run_->stop = true;
    clock_.Wake();
}

void Capture::Join(std::unique_ptr<Run>& run) {
    if (!run) return;
    if (run->thread.joinable()) run->thread.join();
    Join(run->previous);  // only when the thread never started
}

void Capture::Stop() {
    RequestStop();
    Join(run_);
}

void Capture::SetSlotTicked(int slot, bool ticked) {
    if (slot < 1 || slot > kSlots || !run_) return;
    Run& run = *run_;
    run.ticked[slot - 1] = ticked;
    std::string error;
    {
        std::lock_guard lock(run.filesMutex);
        error = run.files[slot - 1].Close();
        if (!error.empty()) error = "Cannot close " + run.paths[slot - 1] + ": " + error;
    }
    if (!error.empty()) view_.ShowFileError(run.number, slot, error);
}

void Capture::SetAllSerialTicked(bool ticked) {
    if (!Running()) {
        allSerial_.SetTicked(ticked);
        return;
    }
    // Nothing reaches the file from now on; the capture thread closes it, so
    // the window never waits for the link here.
    allSerial_.SetTicked(false);
    run_->allSerialTick = ticked;
    run_->closeAllSerial = true;
    clock_.Wake();
}

void Capture::HandleRequests(Run& run) {
    if (!run.closeAllSerial.exchange(false)) return;
    CheckAllSerialFile(run);
    if (run.allSerialOpen) {
        const std::string error = allSerial_.Close();
        if (!error.empty()) view_.ShowFileError(run.number, 0, "Cannot close " + run.allSerialPath + ": " + error);
    }
    run.allSerialOpen = false;
    allSerial_.SetTicked(run.allSerialTick);
}

void Capture::CheckAllSerialFile(Run& run) {
    // The recorder writes the file for every thread's exchanges; the capture says what went wrong.
    if (!run.allSerialOpen) return;
    std::string error = allSerial_.Error();
    if (!error.empty()) error = "Cannot write " + run.allSerialPath + ": " + error;
    if (error == run.allSerialError) return;
    run.allSerialError = error;
    view_.ShowFileError(run.number, 0, error);
}

std::string Capture::LateBoxNote(const std::string& address, std::chrono::milliseconds timeout) {
    char seconds[32];
    std::snprintf(seconds, sizeof seconds, "%.1f", static_cast<double>(timeout.count()) / 1000.0);
    return address + " answers after its time-out: its late answer was not filed, and it is given " + seconds +
           " s from now on";
}

std::string Capture::RunningNote(const Run& run) {
    const auto count = [](std::uint64_t n, const std::string& what) {
        return std::to_string(n) + " " + what + (n == 1 ? "" : "s");
    };
    std::string note;
    if (run.skipped > 0) note = count(run.skipped, "period") + " skipped: the line was busy longer than a period";
    if (run.garbled > 0)
        note += (note.empty() ? "" : "; ") + count(run.garbled, "garbled answer") + " filed as \"" +
                std::string(link::kNoConnect) + "\"";
    if (run.unattributed > 0)
        note += (note.empty() ? "" : "; ") + count(run.unattributed, "answer") + " filed as \"" +
                std::string(link::kNoConnect) + "\": " + (run.unattributed == 1 ? "it" : "each") +
                " may have been another box's late answer";
    return note;
}

void Capture::RunCycles(Run& run) {
    // The capture before this one closes its files (the all-serial one too)
    // before this one opens its own.
    if (run.previous) {
        if (run.previous->thread.joinable()) run.previous->thread.join();
        run.previous.reset();
    }
    if (!run.allSerialPath.empty() && !run.closeAllSerial) {
        std::string error;
        run.allSerialOpen = allSerial_.Open(run.allSerialPath, &error);
        if (!run.allSerialOpen) view_.ShowFileError(run.number, 0, "Cannot open " + run.allSerialPath + ": " + error);
    }
    std::string note;
    std::uint64_t k = 1;
    while (!run.stop) {
        const auto due = run.start + run.period * static_cast<std::int64_t>(k);
        while (!run.stop && clock_.Now() < due - kBookAhead) {
            clock_.SleepUntil(due - kBookAhead);
            HandleRequests(run);
        }
        if (run.stop) break;
        // Booked a little ahead: the cycle waits at most for the exchange under
        // way, and the hand-off's own delay falls before the deadline.
        link::LinkHold booked = link_.Hold();
        while (!run.stop && clock_.Now() < due) clock_.SleepUntil(due);
        if (run.stop) break;
        if (cycleObserver_) cycleObserver_({k, due, clock_.Now()});
        const bool goOn = RunCycle(run, note, booked);
        CheckAllSerialFile(run);
        if (!goOn) break;
        if (run.rebase) {
            run.rebase = false;
            run.start = clock_.Now() - run.period * static_cast<std::int64_t>(k);
            ++k;
            continue;
        }
        const auto passed = static_cast<std::uint64_t>((clock_.Now() - run.start) / run.period);
        if (passed <= k) {
            ++k;
        } else {
            // Period k+1 has gone by: the latest one gone by runs now, once.
            const std::uint64_t missed = passed - k - 1;
            k = passed;
            if (missed > 0) {
                run.skipped += missed;
                view_.ShowState(run.number, true, RunningNote(run));
            }
        }
    }
    CloseCaptureFiles(run);
    run.active = false;
    view_.ShowState(run.number, false, note);
}

bool Capture::RunCycle(Run& run, std::string& note, link::LinkHold& booked) {
    for (int k = 0; k < kSlots; ++k) {
        HandleRequests(run);
        if (run.stop) return true;
        if (!run.ticked[k]) continue;
        // Filed as data: a late answer of a box that kept silent is never
        // filed under another box, and a box seen answering late is given
        // as long as it took.
        const std::string& address = run.addresses[k];
        const auto timeout = link_.TimeoutFor(address, std::chrono::milliseconds(run.timeoutMs));
        const auto since = std::chrono::steady_clock::now();
        const link::Reply reply =
            link_.Exchange(address + std::string(kCaptureCommand) + "\r\n", {timeout, true, &run.stop});
        booked.Release();  // the other slots take their turns with the other threads
        const std::string& answer = reply.text;
        const link::ExchangeOutcome outcome = reply.outcome;
        if (outcome == link::ExchangeOutcome::Stopped) return true;  // the rest of the cycle is left out
        for (int j = 0; j < kSlots; ++j)
            if (!reply.lateFrom.empty() && run.addresses[j] == reply.lateFrom && !run.lateSaid[j].exchange(true))
                view_.ShowState(run.number, true,
                                LateBoxNote(reply.lateFrom, link_.TimeoutFor(reply.lateFrom, std::chrono::milliseconds(run.timeoutMs))));
        if (outcome == link::ExchangeOutcome::NotItsAnswer) {
            ++run.unattributed;
            view_.ShowState(run.number, true, RunningNote(run));
        }
        if (watch_ && (outcome == link::ExchangeOutcome::HangUp ||
                       (outcome == link::ExchangeOutcome::NotOpen && watch_->UnpluggedSince(since))))
            return PauseForAdapter(run, since, note);
        // Noise is no reading: it is filed as a missing answer is, and counted.
        const bool garbled = outcome == link::ExchangeOutcome::Garbled;
        const std::string line = garbled ? std::string(link::kNoConnect) : FormatCaptureTime(answer);
        view_.ShowLine(run.number, k + 1, line);
        WriteLine(run, k, line);
        if (run.publisher) {
            device::PublishedReading row;
            if (garbled) row.error = "garbled";
            else if (!SplitReading(answer, row)) row.error = std::string(link::kNoConnect);
            row.address = address;
            row.id = run.ids[k];
            row.pcTime = std::chrono::system_clock::now();
            run.publisher->Reading(row);
        }
        if (garbled) {
            ++run.garbled;
            view_.ShowState(run.number, true, RunningNote(run));
        }
    }
    return true;
}

bool Capture::PauseForAdapter(Run& run, std::chrono::steady_clock::time_point since, std::string& note) {
    ++run.paused;
    const auto back = watch_->AwaitReturn(
        since, [&run] { return run.stop.load(); },
        [this, &run](int ms) {
            clock_.SleepUntil(clock_.Now() + std::chrono::milliseconds(ms));
            HandleRequests(run);
        });
    switch (back.kind) {
    case app::LineWatch::ReturnKind::Resumed:
        break;
    case app::LineWatch::ReturnKind::Refused:
        note = "Capture stopped: " + back.notice;
        return false;
    case app::LineWatch::ReturnKind::Stopped:
        // The time away is no busy line: the files say where they end, and the end is no clean one.
        note = std::string("Capture stopped while the ") + (back.network ? "connection was lost" : "adapter was unplugged") +
               ": each file ends with a Gap line";
        break;
    }
    const bool stopped = back.kind == app::LineWatch::ReturnKind::Stopped;
    const std::string gap = stopped ? app::GapLine(back.away, std::chrono::system_clock::now(), "capture stopped",
                                                   back.network)
                                    : app::GapLine(back.away, back.back, "back", back.network);
    for (int k = 0; k < kSlots; ++k) {
        if (!run.ticked[k]) continue;
        view_.ShowLine(run.number, k + 1, gap);
        WriteLine(run, k, gap);
    }
    if (run.publisher) run.publisher->Gap(gap);
    run.rebase = true;
    return !stopped;
}

void Capture::WriteLine(Run& run, int slot, const std::string& line) {
    std::string report;
    bool changed = false;
    {
        std::lock_guard lock(run.filesMutex);
        link::LineFile& file = run.files[slot];
        if (!file.IsOpen()) return;
        std::string error = file.Write(line + "\r\n");
        if (!error.empty()) error = "Cannot write " + run.paths[slot] + ": " + error;
        changed = error != run.fileErrors[slot];
        run.fileErrors[slot] = report = error;
    }
    // Said once when it fails and once when it works again, not every period.
    if (changed) view_.ShowFileError(run.number, slot + 1, report);
}

void Capture::CloseCaptureFiles(Run& run) {
    std::array<std::string, kSlots + 1> errors;
    {
        std::lock_guard lock(run.filesMutex);
        for (int k = 0; k < kSlots; ++k)
            if (std::string error = run.files[k].Close(); !error.empty())
                errors[k + 1] = "Cannot close " + run.paths[k] + ": " + error;
    }
    CheckAllSerialFile(run);
    if (run.allSerialOpen)
        if (std::string error = allSerial_.Close(); !error.empty())
            errors[0] = "Cannot close " + run.allSerialPath + ": " + error;
    run.allSerialOpen = false;
    for (int k = 0; k <= kSlots; ++k)
        if (!errors[k].empty()) view_.ShowFileError(run.number, k, errors[k]);
}

}  // namespace tessary::capture
