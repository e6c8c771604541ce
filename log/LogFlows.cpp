#include "log/LogFlows.h"

#include "app/Session.h"
#include "app/private/AppState.h"
#include "device/DeviceInfo.h"
#include "device/DeviceTime.h"
#include "link/Files.h"

#include <algorithm>
#include <chrono>

namespace tessary::log {

namespace {
using link::kNoConnect;

// Appends lines to the operator's file, each whole or not at all. After the
// first failure it writes nothing more and keeps the path and the reason.
class DumpFile {
public:
    explicit DumpFile(const std::string& path) : path_(path) { Fail(file_.Open(path, link::LineFile::Mode::Append)); }

    bool Ok() const { return error_.empty(); }
    const std::string& Error() const { return error_; }
    long long Lines() const { return lines_; }
    void Write(const std::string& line) {
        if (!Ok()) return;
        Fail(file_.Write(line + "\r\n"));
        if (Ok()) ++lines_;
    }
    void Close() { Fail(file_.Close()); }

private:
    void Fail(const std::string& why) {
        if (!why.empty() && Ok()) error_ = path_ + ": " + why;
    }

    std::string path_;
    link::LineFile file_;
    std::string error_;
    long long lines_ = 0;
};

// A set-up answer: silence, an error of the box, or done.
app::Outcome AnswerOutcome(const std::string& answer) {
    if (answer == kNoConnect) return app::Outcome::NoAnswer("no answer");
    if (answer.rfind("ERROR", 0) == 0) return app::Outcome::BoxError(answer);
    return {};
}

}  // namespace

bool LogFlows::RequireConnection() {
    if (!s_.State().CurrentAddress.empty()) return true;
    s_.Op().ShowMessageBox("Please Auto Connect first.");
    return false;
}

app::Outcome LogFlows::InitLog() {
    if (!RequireConnection()) return app::Outcome::Cancelled("Please Auto Connect first.");
    if (!view_.AskLogItems(ItemChosen)) return app::Outcome::Cancelled();
    auto& st = s_.State();
    const std::string command = InitLogCommand(st.CurrentAddress, ItemChosen);
    if (command.empty()) return app::Outcome::Cancelled();
    st.CommandText = command + "\r\n";
    std::string answer;
    {
        app::BusyCursor busy(s_.Op());
        // Held across the late answer too: another exchange must not take it.
        auto hold = s_.Link().Hold();
        answer = s_.Link().SendCommand(st.CommandText);
        if (answer == kNoConnect) {
            view_.ShowLogMessage(true);
            answer = WaitForLogInit();
            view_.ShowLogMessage(false);
        }
    }
    st.ReplyText = answer.empty() ? kNoConnect : answer;
    if (answer.empty() && !s_.Stopping())
        s_.Op().ShowMessageBox("The box did not answer the initialise command within " +
                               std::to_string(kLogInitWaitMs / 1000) +
                               " seconds. The log may not be initialised; the Initialize field keeps its old text.");
    else
        st.Info.InitLog = answer;
    st.Info.LogStart.clear();
    st.Info.LogStop.clear();
    if (answer.empty()) return app::Outcome::NoAnswer("no answer to the initialise command");
    return AnswerOutcome(answer);
}

std::string LogFlows::WaitForLogInit() {
    auto& link = s_.Link();
    const long long timeout = std::max<long long>(1, link.ResponseTimeoutMs());
    const long long reads = std::max<long long>(1, (kLogInitWaitMs + timeout - 1) / timeout);
    for (long long i = 0; i < reads && !s_.Stopping(); ++i) {
        std::string answer = link.SendCommand(std::string(link::kNoWrite));
        if (answer != kNoConnect) return answer;
    }
    return {};
}

app::Outcome LogFlows::SetLogRate() {
    if (!RequireConnection()) return app::Outcome::Cancelled("Please Auto Connect first.");
    auto& st = s_.State();
    Rate.PressUnit = st.Info.PressUnits;
    Rate.TempUnit = st.Info.TempUnits;
    Rate.Prefill(st.Info.LogRate);
    Rate.UpdateStepUnit();
    if (!view_.AskLogRate(Rate)) return app::Outcome::Cancelled();
    if (!Rate.Ok()) {
        s_.Op().ShowMessageBox(kBadRate);
        return app::Outcome::Cancelled(kBadRate);
    }
    st.CommandText = Rate.Command(st.CurrentAddress) + "\r\n";
    st.ReplyText = s_.Link().SendCommand(st.CommandText);
    st.Info.LogRate = st.ReplyText == "ERROR 4" ? kNotInitalized : st.ReplyText;
    return AnswerOutcome(st.ReplyText);
}

app::Outcome LogFlows::StartLog() { return LogTime(false); }
app::Outcome LogFlows::StopLog() { return LogTime(true); }

app::Outcome LogFlows::LogTime(bool stop) {
    if (!RequireConnection()) return app::Outcome::Cancelled("Please Auto Connect first.");
    const auto choice = view_.AskLogTime(stop);
    if (!choice) return app::Outcome::Cancelled();
    auto& st = s_.State();
    const std::string arg =
        LogTimeArgument(stop, choice->now, device::DeviceTimeText(choice->at), st.LogStartText);
    if (!stop) {
        st.Info.LogStop.clear();
        st.LogStartText = arg;
    }
    st.ReplyText = device::QueryBox(s_, "LS=" + arg);
    const LogTimeAnswer shown = ReadLogTimeAnswer(st.ReplyText, stop);
    if (shown.start) st.Info.LogStart = *shown.start;
    if (shown.stop) st.Info.LogStop = *shown.stop;
    if (shown.logStartText) st.LogStartText = *shown.logStartText;
    return AnswerOutcome(st.ReplyText);
}

app::Outcome LogFlows::OpenLogDump() {
    auto& st = s_.State();
    if (!RequireConnection()) return app::Outcome::Cancelled("Please Auto Connect first.");
    if (st.CurrentAddress == "#00") {
        s_.Op().ShowMessageBox("Please select an address first.");
        return app::Outcome::Cancelled("Please select an address first.");
    }
    const link::Reply reply = device::AskBox(s_, "LL");
    if (reply.outcome == link::ExchangeOutcome::Garbled) {
        const auto outcome = app::Outcome::NoAnswer("The answer of the box at " + st.CurrentAddress +
                                                    " to \"LL\" came garbled; the size of its log is unknown.");
        s_.Op().ShowMessageBox(outcome.text);
        return outcome;
    }
    // No answer is not an empty log: the dialog shows 0 as ever, and the end says why.
    const bool unanswered = reply.text == kNoConnect;
    std::string count = reply.text;
    if (count == "ERROR 13" || unanswered) count = "0";
    const auto sets = WholeNumber(count);
    if (!sets) {
        s_.Op().ShowMessageBox(ConversionError(count));
        return app::Outcome::BoxError(count);
    }
    LogSetCount = *sets;
    app::Outcome ended = app::Outcome::Cancelled();
    // The dialog stays open until a dump ran or the operator closes it.
    for (bool fresh = true;; fresh = false) {
        auto fields = view_.WaitLogDumpSave(count, fresh);
        if (!fields) break;
        const DumpRange range = CorrectDumpRange(fields->start, fields->end, LogSetCount);
        if (!range.error.empty()) {
            s_.Op().ShowMessageBox(range.error);
            continue;
        }
        view_.ShowDumpRange(range.start, range.end);
        if (range.end == "0") continue;  // an empty log: nothing to save
        const auto path = view_.AskLogFile();
        if (!path) continue;
        fields->start = range.start;
        fields->end = range.end;
        const long long first = std::stoll(range.start), last = std::stoll(range.end);
        const long long total = fields->entireLog ? last : last - first + 1;
        const DumpTally outcome = DumpLog({*path, *fields, total});
        if (!outcome.streamed) {
            // Nothing was asked of the box: the operator may pick another file.
            ended = app::Outcome::FileError(*path, "The log could not be saved to " + outcome.fileError);
            s_.Op().ShowMessageBox(ended.text);
            continue;
        }
        view_.CloseLogDump();
        if (outcome.lost) s_.Op().ShowMessageBox("Sorry, the communication was lost while dumping the log.");
        const app::Outcome result = DumpResult(outcome, *path);
        s_.Op().ShowMessageBox(result.text);
        return result;
    }
    if (unanswered && ended.ending == app::Ending::Cancelled) {
        ended = app::Outcome::NoAnswer("The box at " + st.CurrentAddress +
                                      " did not answer \"LL\": how many sets its log holds is unknown. Nothing was written.");
        s_.Op().ShowMessageBox(ended.text);
    }
    return ended;
}

DumpTally LogFlows::DumpLog(const DumpRequest& req) {
    DumpTally out;
    DumpFile file(req.path);
    if (!file.Ok()) {
        out.fileError = file.Error();
        return out;
    }
    const LogDumpFields& f = req.fields;
    auto& link = s_.Link();
    app::BusyCursor busy(s_.Op());
    view_.DumpRunning(true);
    out.streamed = true;
    {
        auto hold = link.Hold();
        if (!f.comment.empty()) file.Write(f.comment);
        device::QueryBox(s_, f.timeInSeconds ? "TS" : "TM");
        link::Reply reply = device::AskBox(s_, f.entireLog ? "LD" : "LD" + f.start + "," + f.end);
        // Only the box's own lines go to the file: never the "NoConnect" marker, never noise.
        bool draining = false;  // the rest of the stream is read, not written
        auto drainFrom = std::chrono::steady_clock::now();
        const auto drain = [&] {
            draining = true;
            drainFrom = std::chrono::steady_clock::now();
        };
        const auto keep = [&](const std::string& line) {
            const long long before = file.Lines();
            file.Write(line);
            out.boxLines += file.Lines() - before;
        };
        out.lost = reply.text == kNoConnect;
        if (reply.outcome == link::ExchangeOutcome::Garbled) out.garbled = true, drain();
        else if (!out.lost) keep(reply.text);
        // The box sends nothing after an error, and "}" alone is an empty range:
        // only a set line is followed by more.
        bool done = reply.text == "}" || reply.text.rfind("ERROR", 0) == 0;
        long long sets = done || out.lost ? 0 : 1, shownPercent = -1;
        const long long limit = 2 * req.total + 1000;  // a box that never ends its stream
        for (long long read = 0; !done && !out.lost; ++read) {
            if (read >= limit) {
                out.overlong = true;
                break;
            }
            // The program is closing, or a second stop: no drain, the port closes behind us.
            if (s_.Stopping() || (draining && view_.DumpStopNow())) {
                out.cancelled = true;
                out.drainCut = draining;
                break;
            }
            if (draining && std::chrono::steady_clock::now() - drainFrom > std::chrono::milliseconds(DrainLimitMs)) {
                out.drainCut = true;
                break;
            }
            reply = link.Exchange(std::string(link::kNoWrite));
            if (!out.cancelled && view_.DumpCancelled()) {
                out.cancelled = true;
                if (!draining) drain();
            }
            done = reply.text == "}";
            if (reply.text == kNoConnect) {
                // Silence while draining or after a failed write is the end of the drain.
                if (draining || !file.Ok()) break;
                out.lost = true;
                break;
            }
            if (!draining && reply.outcome == link::ExchangeOutcome::Garbled) {
                out.garbled = true;
                drain();
            }
            if (!draining) keep(reply.text);
            if (done) break;
            ++sets;
            const long long percent = req.total > 0 ? sets * 100 / req.total : 100;
            if (percent != shownPercent) {
                shownPercent = percent;
                view_.ShowDumpProgress(sets, req.total);
            }
        }
        view_.ShowDumpProgress(sets, req.total);
    }
    view_.DumpRunning(false);
    file.Close();
    out.lines = file.Lines();
    out.fileError = file.Error();
    return out;
}

app::Outcome LogFlows::DumpResult(const DumpTally& o, const std::string& path) {
    const auto count = [](long long n, const char* what) {
        return std::to_string(n) + " " + what + (n == 1 ? "" : "s");
    };
    const std::string lines = std::to_string(o.lines) + (o.lines == 1 ? " line was" : " lines were");
    const std::string written = "Log written to File: " + path;
    if (!o.fileError.empty())
        return app::Outcome::FileError(path, "Writing the log failed: " + o.fileError + ". " + lines +
                                                 " written before the failure.");
    if (o.cancelled && o.drainCut)
        return app::Outcome::Cancelled("Dump cancelled. " + lines + " written to File: " + path +
                                       ". The rest of the box's stream was left unread: its next answers may be lost.");
    if (o.cancelled) return app::Outcome::Cancelled("Dump cancelled. " + lines + " written to File: " + path);
    if (o.garbled)
        return app::Outcome::NoAnswer("A line of the log came garbled after " + count(o.boxLines, "line") +
                                      "; it and the rest of the stream were not written. " + written);
    if (o.lost)
        return app::Outcome::NoAnswer("The dump ended early: " + count(o.boxLines, "line") +
                                      " came before the box fell silent. " + written);
    if (o.overlong)
        return app::Outcome::NoAnswer("The box sent more lines than its log holds; the dump was ended. " + written);
    app::Outcome done;
    done.text = written;
    return done;
}

}  // namespace tessary::log
