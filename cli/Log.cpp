// log init, rate, start, stop, dump: the Log group's flows with a console view.

#include "cli/Rig.h"
#include "app/private/AppState.h"
#include "log/LogFlows.h"

#include <cctype>
#include <cstdio>

namespace tessary::cli {

namespace {

std::string Lower(std::string s) {
    for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

// "pressure", "temperature", "pressure-counts", "temperature-counts" or D1..D4; -1 otherwise.
int ItemIndex(const std::string& text) {
    static const char* const kNames[] = {"pressure", "temperature", "pressure-counts", "temperature-counts"};
    const std::string t = Lower(text);
    for (int i = 0; i < 4; ++i)
        if (t == kNames[i] || t == "d" + std::to_string(i + 1)) return i;
    return -1;
}

// "2007-05-14 13:45:00" (or with a T between date and time).
bool ParseAt(const std::string& text, app::DateTimeFields& at) {
    char sep = 0;
    int n = 0;
    if (std::sscanf(text.c_str(), "%4d-%2d-%2d%c%2d:%2d:%2d%n", &at.year, &at.month, &at.day, &sep, &at.hour,
                    &at.minute, &at.second, &n) != 7 ||
        static_cast<std::size_t>(n) != text.size() || (sep != ' ' && sep != 'T'))
        return false;
    return at.month >= 1 && at.month <= 12 && at.day >= 1 && at.day <= 31 && at.hour <= 23 && at.minute <= 59 &&
           at.second <= 59 && at.hour >= 0 && at.minute >= 0 && at.second >= 0;
}

// The Log group's dialogs, answered by the options checked before the box was asked.
class ConsoleLogView final : public log::LogView {
public:
    explicit ConsoleLogView(Rig& rig) : rig_(rig) {}
    std::array<bool, 4> items{};
    std::function<void(log::LogRateForm&)> fillRate;
    log::LogTimeChoice time;
    log::LogDumpFields dump;
    std::string dumpPath;

    bool AskLogItems(std::array<bool, 4>& chosen) override {
        chosen = items;
        return true;
    }
    void ShowLogMessage(bool shown) override {
        if (shown) rig_.progress.Show("Initializing Log.  Please Wait.");
        else rig_.progress.End();
    }
    bool AskLogRate(log::LogRateForm& form) override {
        fillRate(form);
        return true;
    }
    std::optional<log::LogTimeChoice> AskLogTime(bool) override { return time; }
    std::optional<log::LogDumpFields> WaitLogDumpSave(const std::string& endSet, bool fresh) override {
        // One press of "Save Log to File"; asked again, the dialog is closed.
        if (!fresh) return std::nullopt;
        setCount = endSet;
        log::LogDumpFields f = dump;
        if (f.entireLog) f.start = "1", f.end = endSet;
        return f;
    }
    void ShowDumpRange(const std::string&, const std::string&) override {}
    std::optional<std::string> AskLogFile() override { return dumpPath; }
    void DumpRunning(bool running) override {
        if (!running) rig_.progress.End();
    }
    void ShowDumpProgress(long long sets, long long total) override { rig_.progress.Count("dump: sets", sets, total); }
    // A signal ends the dump as Cancel does: the rest of the stream is read, not written.
    bool DumpCancelled() override { return rig_.stop.Requested(); }
    // A second signal ends the drain at once.
    bool DumpStopNow() override { return rig_.stop.Insisted(); }
    void CloseLogDump() override {}

    std::string setCount;

private:
    Rig& rig_;
};

int Shown(Rig& rig, const app::Outcome& outcome, const std::vector<std::pair<const char*, std::string>>& rows) {
    for (const auto& [caption, value] : rows) {
        std::string left = std::string(caption) + ":";
        left.resize(20, ' ');
        rig.env.out << left << value << '\n';
    }
    if (outcome.ending == app::Ending::NoAnswer)
        return rig.Fail(kNoAnswer, "no answer from " + rig.session->State().CurrentAddress);
    if (outcome.ending == app::Ending::BoxError) return rig.Fail(kNoAnswer, "the box reported " + outcome.text);
    return Rig::ExitFor(outcome);
}

}  // namespace

int RunLog(Rig& rig) {
    const std::string action = rig.inv.action;
    ConsoleLogView view(rig);
    // Every choice is checked before the box is asked anything.
    if (action == "init") {
        if (!rig.inv.Has("--items")) return rig.Usage("log init needs --items (the data items to log)");
        const std::string list = rig.inv.Value("--items");
        for (std::size_t at = 0; at <= list.size();) {
            const std::size_t comma = std::min(list.find(',', at), list.size());
            const int i = ItemIndex(list.substr(at, comma - at));
            if (i < 0) return rig.Usage("--items: \"" + list.substr(at, comma - at) + "\" is not a data item");
            view.items[static_cast<std::size_t>(i)] = true;
            at = comma + 1;
        }
    } else if (action == "rate") {
        long rate = 0;
        if (!ParseWhole(rig.inv.Value("--rate"), 0, 2147483647, rate))
            return rig.Usage("log rate needs --rate SECONDS, a whole number");
        const std::string condition = Lower(rig.inv.Value("--condition", "neither"));
        const int item = ItemIndex(rig.inv.Value("--based-on"));
        const int index = condition == "and" ? log::LogRateForm::And
                          : condition == "or" ? log::LogRateForm::Or
                          : condition == "neither" ? log::LogRateForm::Neither
                                                   : -1;
        if (index < 0) return rig.Usage("--condition is and, or or neither");
        if (index != log::LogRateForm::Neither && item < 0) return rig.Usage("--condition needs --based-on ITEM");
        const std::string step = rig.inv.Value("--step");
        // As the operator fills the dialog: the condition, the item, the step, the rate.
        view.fillRate = [=](log::LogRateForm& form) {
            form.SelectCondition(index);
            if (index != log::LogRateForm::Neither) {
                form.SelectBasedOn(item);
                if (!step.empty()) form.EditDataStep = step;
            }
            form.EditLogRate = std::to_string(rate);
        };
    } else if (action == "start" || action == "stop") {
        if (rig.inv.Has("--now") == rig.inv.Has("--at"))
            return rig.Usage("log " + action + " needs --now or --at \"YYYY-MM-DD HH:MM:SS\"");
        view.time.now = rig.inv.Has("--now");
        if (!view.time.now && !ParseAt(rig.inv.Value("--at"), view.time.at))
            return rig.Usage("--at needs \"YYYY-MM-DD HH:MM:SS\", not \"" + rig.inv.Value("--at") + "\"");
    } else {  // dump
        view.dumpPath = rig.inv.Value("--out");
        if (view.dumpPath.empty()) return rig.Usage("log dump needs --out FILE (the dump is added at its end)");
        view.dump.comment = rig.inv.Value("--comment");
        view.dump.timeInSeconds = rig.inv.Has("--seconds");
        if (rig.inv.Has("--range")) {
            const std::string range = rig.inv.Value("--range");
            const auto comma = range.find(',');
            long a = 0, b = 0;
            if (comma == std::string::npos || !ParseWhole(range.substr(0, comma), 1, 2147483647, a) ||
                !ParseWhole(range.substr(comma + 1), 1, 2147483647, b))
                return rig.Usage("--range needs FIRST,LAST set numbers, not \"" + range + "\"");
            view.dump.entireLog = false;
            view.dump.start = std::to_string(a);
            view.dump.end = std::to_string(b);
        }
    }

    const std::string address = rig.Address();
    if (address.empty()) return kUsage;
    if (const int rc = rig.Connect(address); rc != kDone) return rc;
    log::LogFlows flows(*rig.session, view);
    const auto& info = rig.session->State().Info;
    if (action == "init") {
        const app::Outcome outcome = flows.InitLog();
        return Shown(rig, outcome, {{"Log Initialize", info.InitLog}});
    }
    if (action == "rate") {
        const app::Outcome outcome = flows.SetLogRate();
        return Shown(rig, outcome, {{"Log Rate", info.LogRate}});
    }
    if (action == "start" || action == "stop") {
        const app::Outcome outcome = action == "start" ? flows.StartLog() : flows.StopLog();
        return Shown(rig, outcome, {{"Log Start", info.LogStart}, {"Log Stop", info.LogStop}});
    }

    const app::Outcome dumped = flows.OpenLogDump();
    rig.progress.End();
    // The dialog closed with nothing to save: an empty log, said plainly.
    if (dumped.ending == app::Ending::Cancelled && dumped.text.empty() && view.setCount == "0") {
        rig.env.err << "tessary-cli: the log of " << address << " holds no sets; nothing was written\n";
        return kDone;
    }
    return Rig::ExitFor(dumped);
}

}  // namespace tessary::cli
