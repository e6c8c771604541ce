#pragma once
// The five log buttons: initialise, rate, start, stop, dump. Each is a plain
// sequential flow that may run on the line thread; the labels are values in
// AppState::Info, the window mirrors them afterwards.

#include "log/LogForms.h"
#include "log/LogView.h"

#include <array>
#include <string>

namespace tessary::app {
class Session;
}

namespace tessary::log {

// A late initialise answer is waited for this long in all (then given up).
inline constexpr long long kLogInitWaitMs = 60000;

struct DumpRequest {
    std::string path;
    LogDumpFields fields;  // range already corrected
    long long total = 0;   // sets expected, for the progress
};

struct DumpOutcome {
    bool streamed = false;    // the box was asked (the file opened)
    long long lines = 0;      // lines written to the file
    bool lost = false;        // the box fell silent (the file ends in "NoConnect")
    bool cancelled = false;
    bool overlong = false;    // more lines came than the range can hold
    std::string fileError;    // the file could not be opened or written: name and reason
};

class LogFlows {
public:
    LogFlows(app::Session& session, LogView& view) : s_(session), view_(view) {}

    void InitLog();            // btInitLogClick
    void SetLogRate();         // btLogRateClick
    void StartLog();           // btStartLogClick
    void StopLog();            // btStopLogClick
    void OpenLogDump();        // btDumpLogClick

    // The stream of one dump into req.path (appended). Holds the link for the
    // whole stream; tells the operator nothing.
    DumpOutcome DumpLog(const DumpRequest& req);
    // What the operator is told after a dump.
    static std::string DumpMessage(const DumpOutcome& outcome, const std::string& path);

    // Kept between showings, as the dialogs keep them.
    std::array<bool, 4> ItemChosen{};
    LogRateForm Rate;
    long long LogSetCount = 0;

private:
    bool RequireConnection();
    void LogTime(bool stop);
    // Reads the late answer to "LI=" (the link held by the caller); empty when none
    // came, or when the program closes (checked before every read).
    std::string WaitForLogInit();

    app::Session& s_;
    LogView& view_;
};

}  // namespace tessary::log
