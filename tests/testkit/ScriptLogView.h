#pragma once
// The log flows' view, answered from a script and recorded.

#include "log/LogView.h"

#include <deque>
#include <functional>
#include <string>
#include <vector>

namespace tessary::testkit {

struct ScriptLogView final : log::LogView {
    std::vector<int> clicks;                                        // LogListDlg items clicked
    std::function<void(log::LogRateForm&)> rateEdit;                // what the operator does in LogRateDlg
    std::optional<log::LogTimeChoice> time = log::LogTimeChoice{};  // empty: Cancel
    std::deque<log::LogDumpFields> saves;  // each "Save Log to File"; then the dialog is closed
    std::optional<std::string> file;       // SaveLogDialog
    long long cancelAt = -1;               // Cancel once this many sets came
    std::vector<std::string> log;          // what was shown
    long long sets = 0;

    bool AskLogItems(std::array<bool, 4>& chosen) override {
        for (int i : clicks) chosen[static_cast<std::size_t>(i)] = !chosen[static_cast<std::size_t>(i)];
        clicks.clear();
        return true;
    }
    void ShowLogMessage(bool shown) override { log.push_back(shown ? "message on" : "message off"); }
    bool AskLogRate(log::LogRateForm& form) override {
        if (rateEdit) rateEdit(form);
        return true;
    }
    std::optional<log::LogTimeChoice> AskLogTime(bool) override { return time; }
    std::optional<log::LogDumpFields> WaitLogDumpSave(const std::string& endSet, bool fresh) override {
        if (fresh) log.push_back("dump " + endSet);
        if (saves.empty()) return std::nullopt;
        auto f = saves.front();
        saves.pop_front();
        return f;
    }
    void ShowDumpRange(const std::string& s, const std::string& e) override { log.push_back("range " + s + "," + e); }
    std::optional<std::string> AskLogFile() override { return file; }
    void DumpRunning(bool on) override { sets = on ? 0 : sets; }
    void ShowDumpProgress(long long s, long long) override { sets = s; }
    bool DumpCancelled() override { return cancelAt >= 0 && sets >= cancelAt; }
    void CloseLogDump() override {}
};

}  // namespace tessary::testkit
