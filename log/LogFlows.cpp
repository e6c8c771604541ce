#include "log/LogFlows.h"

#include "app/Session.h"
#include "device/DeviceInfo.h"
#include "device/DeviceTime.h"
#include "link/Files.h"

#include <algorithm>

namespace tessary::log {

namespace {
constexpr const char* kNoConnect = "NoConnect";

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
}  // namespace

bool LogFlows::RequireConnection() {
    if (!s_.State().CurrentAddress.empty()) return true;
    s_.Op().ShowMessageBox("Please Auto Connect first.");
    return false;
}

void LogFlows::InitLog() {
    if (!RequireConnection()) return;
    if (!view_.AskLogItems(ItemChosen)) return;
    auto& st = s_.State();
    const std::string command = InitLogCommand(st.CurrentAddress, ItemChosen);
    if (command.empty()) return;
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
    if (answer.empty())
        s_.Op().ShowMessageBox("The box did not answer the initialise command within " +
                               std::to_string(kLogInitWaitMs / 1000) +
                               " seconds. The log may not be initialised; the Initialize field keeps its old text.");
    else
        st.Info.InitLog = answer;
    st.Info.LogStart.clear();
    st.Info.LogStop.clear();
}

std::string LogFlows::WaitForLogInit() {
    auto& link = s_.Link();
    const long long timeout = std::max<long long>(1, link.ResponseTimeoutMs());
    const long long reads = std::max<long long>(1, (kLogInitWaitMs + timeout - 1) / timeout);
    for (long long i = 0; i < reads; ++i) {
        std::string answer = link.SendCommand(std::string(link::kNoWrite));
        if (answer != kNoConnect) return answer;
    }
    return {};
}

void LogFlows::SetLogRate() {
    if (!RequireConnection()) return;
    auto& st = s_.State();
    Rate.PressUnit = st.Info.PressUnits;
    Rate.TempUnit = st.Info.TempUnits;
    Rate.Prefill(st.Info.LogRate);
    Rate.Show();
    if (!view_.AskLogRate(Rate)) return;
    if (!Rate.Ok()) {
        s_.Op().ShowMessageBox(kBadRate);
        return;
    }
    st.CommandText = Rate.Command(st.CurrentAddress) + "\r\n";
    st.ReplyText = s_.Link().SendCommand(st.CommandText);
    st.Info.LogRate = st.ReplyText == "ERROR 4" ? kNotInitalized : st.ReplyText;
}

void LogFlows::StartLog() { LogTime(false); }
void LogFlows::StopLog() { LogTime(true); }

void LogFlows::LogTime(bool stop) {
    if (!RequireConnection()) return;
    const auto choice = view_.AskLogTime(stop);
    if (!choice) return;
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
}

void LogFlows::OpenLogDump() {
    auto& st = s_.State();
    if (!RequireConnection()) return;
    if (st.CurrentAddress == "#00") {
        s_.Op().ShowMessageBox("Please select an address first.");
        return;
    }
    std::string count = device::QueryBox(s_, "LL");
    if (count == "ERROR 13" || count == kNoConnect) count = "0";
    const auto sets = WholeNumber(count);
    if (!sets) {
        s_.Op().ShowMessageBox(ConversionError(count));
        return;
    }
    LogSetCount = *sets;
    // The dialog stays open until a dump ran or the operator closes it.
    for (bool fresh = true;; fresh = false) {
        auto fields = view_.WaitLogDumpSave(count, fresh);
        if (!fields) return;
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
        const DumpOutcome outcome = DumpLog({*path, *fields, total});
        if (!outcome.streamed) {
            // Nothing was asked of the box: the operator may pick another file.
            s_.Op().ShowMessageBox("The log could not be saved to " + outcome.fileError);
            continue;
        }
        view_.CloseLogDump();
        if (outcome.lost) s_.Op().ShowMessageBox("Sorry, the communication was lost while dumping the log.");
        s_.Op().ShowMessageBox(DumpMessage(outcome, *path));
        return;
    }
}

DumpOutcome LogFlows::DumpLog(const DumpRequest& req) {
    DumpOutcome out;
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
        std::string line = device::QueryBox(s_, f.entireLog ? "LD" : "LD" + f.start + "," + f.end);
        file.Write(line);
        // The box sends nothing after an error, and "}" alone is an empty range:
        // only a set line is followed by more.
        bool done = line == "}" || line.rfind("ERROR", 0) == 0;
        out.lost = line == kNoConnect;
        long long sets = done || out.lost ? 0 : 1, shownPercent = -1;
        const long long limit = 2 * req.total + 1000;  // a box that never ends its stream
        for (long long read = 0; !done && !out.lost; ++read) {
            if (read >= limit) {
                out.overlong = true;
                break;
            }
            // The program is closing: no drain, the port closes behind us.
            if (s_.Stopping()) {
                out.cancelled = true;
                break;
            }
            line = link.SendCommand(std::string(link::kNoWrite));
            if (!out.cancelled && view_.DumpCancelled()) out.cancelled = true;
            done = line == "}";
            if (line == kNoConnect) {
                // Silence after a cancel or a failed write is the end of the drain.
                if (out.cancelled || !file.Ok()) break;
                out.lost = true;
            }
            if (!out.cancelled) file.Write(line);
            if (done || out.lost) break;
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

std::string LogFlows::DumpMessage(const DumpOutcome& o, const std::string& path) {
    const std::string lines = std::to_string(o.lines) + (o.lines == 1 ? " line was" : " lines were");
    if (!o.fileError.empty())
        return "Writing the log failed: " + o.fileError + ". " + lines + " written before the failure.";
    if (o.cancelled) return "Dump cancelled. " + lines + " written to File: " + path;
    if (o.overlong) return "The box sent more lines than its log holds; the dump was ended. Log written to File: " + path;
    return "Log written to File: " + path;
}

}  // namespace tessary::log
