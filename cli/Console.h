#pragma once
// What the console stands in for: the window's notices go to standard error,
// its questions are answered by options, its progress is a line on a terminal.

#include "app/Connect.h"
#include "app/Operator.h"

#include <atomic>
#include <functional>
#include <optional>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

namespace tessary::cli {

// Stop requests: how many SIGINT/SIGTERM came. The first asks a command to end
// at its next clean point; an upload half way on goes on until the second.
class StopFlag {
public:
    explicit StopFlag(const std::atomic<int>* count = nullptr) : count_(count) {}
    bool Requested() const { return count_ && count_->load() >= 1; }
    bool Insisted() const { return count_ && count_->load() >= 2; }

private:
    const std::atomic<int>* count_;
};

// A line on standard error rewritten in place; silent unless enabled (the
// program enables it when standard error is a terminal).
class Progress {
public:
    Progress(std::ostream& err, bool enabled) : err_(err), enabled_(enabled) {}
    ~Progress() { End(); }
    Progress(const Progress&) = delete;
    Progress& operator=(const Progress&) = delete;
    void Show(const std::string& text);
    void Count(const std::string& label, long long done, long long total);
    // Ends the line so that a message or the shell prompt starts clean.
    void End();

private:
    std::ostream& err_;
    bool enabled_;
    std::size_t shown_ = 0;
};

// The core operator of the flows: notices on standard error ("tessary-cli: "
// and the window's text), no events, no cursor. The views' questions that no
// option answered are recorded here as a missing choice (and answered with the
// choice that changes nothing).
class ConsoleOperator final : public app::Operator {
public:
    ConsoleOperator(std::ostream& err, StopFlag stop) : err_(err), stop_(stop) {}

    std::vector<std::string> messages;
    std::string missingChoice;     // the option the flow needed and did not get
    std::function<void()> onStop;  // run at an event pump once a stop was asked

    void ShowMessageBox(const std::string& text) override;
    void ProcessEvents() override;
    void WaitForEvents(int maxMs) override;
    void BeginBusy() override {}
    void EndBusy() override {}
    void ShowState() override {}

    // A view's question that no option answered.
    void NeedChoice(const std::string& option);

private:
    std::ostream& err_;
    StopFlag stop_;
};

// The connect dialogs of a search: progress only; "OK - STOP Searching" when
// --first was given.
class ConsoleSearchView final : public app::SearchView {
public:
    ConsoleSearchView(Progress& progress, bool stopAtFirst) : progress_(progress), first_(stopAtFirst) {}
    void ShowProbe(const std::string& port, std::uint32_t baud) override;
    void ShowProbeAddress(const std::string&) override {}
    void HideProbe() override {}
    void ShowScanAddress(const std::string& address) override;
    void ShowProgress(int done, int total) override;
    bool AskStopSearching(const std::string&, const std::string&, const std::string&) override { return first_; }
    void HideConnectDialog() override {}

private:
    Progress& progress_;
    bool first_;
    std::string where_;
};

// A JSON string: 8-bit text read as Latin-1, so any byte the box sends stays
// valid JSON.
std::string JsonString(std::string_view text);

// One JSON object, members in the order added.
class JsonObject {
public:
    JsonObject& Add(const std::string& key, std::string_view text);
    JsonObject& AddNumber(const std::string& key, long long value);
    JsonObject& AddRaw(const std::string& key, const std::string& json);
    std::string Str() const { return "{" + body_ + "}"; }

private:
    std::string body_;
};
std::string JsonArray(const std::vector<std::string>& items);

}  // namespace tessary::cli
