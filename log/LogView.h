#pragma once
// What the log flows show and ask besides the core operator: their dialogs,
// the file pick, the dump's progress and lbLogMessage. The window implements
// it with the real dialogs; tests with a script.
//
// Threading: the flows may call these from the line thread. The Ask / Wait
// members block until the operator has answered; ShowLogMessage,
// ShowDumpProgress, DumpRunning and DumpCancelled never block and are the only
// ones a flow calls while it holds the link.

#include "app/Operator.h"
#include "log/LogForms.h"

#include <array>
#include <optional>
#include <string>

namespace tessary::log {

// LogTimeDlg closed with OK: choice 0 ("... NOW!") or a picked date and time.
struct LogTimeChoice {
    bool now = true;
    app::DateTimeFields at;
};

// LogDumpDlg's fields when "Save Log to File" is pressed.
struct LogDumpFields {
    std::string comment;          // LogMemo
    bool timeInSeconds = false;   // rgFormatLogTime 1
    bool entireLog = true;        // rgAllPartLog 0
    std::string start, end;       // StartSetEdit, EndSetEdit
};

class LogView {
public:
    virtual ~LogView() = default;

    // LogListDlg. A click toggles `chosen` of its item at once (kept even on
    // Cancel, as the list's selection is). True when closed with OK.
    virtual bool AskLogItems(std::array<bool, 4>& chosen) = 0;
    // lbLogMessage ("Initializing Log.  Please Wait.") shown or hidden.
    virtual void ShowLogMessage(bool shown) = 0;
    // LogRateDlg over `form`; its handlers change `form`. True when closed with OK.
    virtual bool AskLogRate(LogRateForm& form) = 0;
    // LogTimeDlg for a start or a stop, help topic 15 while shown; empty on Cancel.
    virtual std::optional<LogTimeChoice> AskLogTime(bool stop) = 0;

    // LogDumpDlg. `fresh`: show it anew with `endSet` in the end field; else it
    // is already open. Returns when "Save Log to File" is pressed, empty when
    // the dialog was closed.
    virtual std::optional<LogDumpFields> WaitLogDumpSave(const std::string& endSet, bool fresh) = 0;
    // The range fields as corrected.
    virtual void ShowDumpRange(const std::string& start, const std::string& end) = 0;
    // SaveLogDialog; empty when cancelled.
    virtual std::optional<std::string> AskLogFile() = 0;
    // While a dump streams: Save disabled, Cancel offered.
    virtual void DumpRunning(bool running) = 0;
    virtual void ShowDumpProgress(long long sets, long long total) = 0;
    // True once Cancel was pressed during this dump.
    virtual bool DumpCancelled() = 0;
    // True when the drain after a cancel is to end at once (a second signal),
    // leaving the rest of the box's stream unread.
    virtual bool DumpStopNow() { return false; }
    virtual void CloseLogDump() = 0;
};

}  // namespace tessary::log
