#pragma once
// The log flows' view over the real dialogs. The flows may call it from the
// line thread: questions wait on the window thread (OnWindow), labels and
// progress are posted (PostToWindow).

#include "log/LogView.h"

#include <memory>

class QLabel;
class TLogDumpDlg;
class TLogListDlg;
class TLogRateDlg;
class TLogTimeDlg;

class QtLogView final : public tessary::log::LogView {
public:
    // `logTimeDlg` is shared with the clock setting; `logMessage` is lbLogMessage.
    QtLogView(TLogTimeDlg& logTimeDlg, QLabel* logMessage);
    ~QtLogView() override;

    bool AskLogItems(std::array<bool, 4>& chosen) override;
    void ShowLogMessage(bool shown) override;
    bool AskLogRate(tessary::log::LogRateForm& form) override;
    std::optional<tessary::log::LogTimeChoice> AskLogTime(bool stop) override;
    std::optional<tessary::log::LogDumpFields> WaitLogDumpSave(const std::string& endSet, bool fresh) override;
    void ShowDumpRange(const std::string& start, const std::string& end) override;
    std::optional<std::string> AskLogFile() override;
    void DumpRunning(bool running) override;
    void ShowDumpProgress(long long sets, long long total) override;
    bool DumpCancelled() override;
    void CloseLogDump() override;

    TLogListDlg& LogListDlg() { return *logListDlg_; }
    TLogRateDlg& LogRateDlg() { return *logRateDlg_; }
    TLogDumpDlg& LogDumpDlg() { return *logDumpDlg_; }

private:
    TLogTimeDlg& logTimeDlg_;
    QLabel* logMessage_;
    std::unique_ptr<TLogListDlg> logListDlg_;
    std::unique_ptr<TLogRateDlg> logRateDlg_;
    std::unique_ptr<TLogDumpDlg> logDumpDlg_;
};
