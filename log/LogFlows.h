#pragma once
// The five log buttons: initialise, rate, start, stop, dump. Each is a plain
// sequential flow that may run on the line thread; the labels are values in
// AppState::Info, the window mirrors them afterwards.

#include "app/Outcome.h"
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

// After a cancel the rest of the stream is read, not written, for this long at
// most: a box whose stream never ends must not hold the line for ever.
inline constexpr long long kDrainLimitMs = 30000;

// How one dump stream went, counted; DumpResult makes the flow's Outcome of it.
struct DumpTally {
    bool streamed = false;    // the box was asked (the file opened)
    long long lines = 0;      // lines written to the file
    long long boxLines = 0;   // of them, the box's own (the comment is not)
    bool lost = false;        // the box fell silent; the file ends on its last whole line
    bool garbled = false;     // a line came garbled: it and the rest were read, not written
    bool cancelled = false;   // by the operator, a signal or the program closing
    bool drainCut = false;    // the drain after a cancel was ended by its bound or a second stop
    bool overlong = false;    // more lines came than the range can hold
    std::string fileError;    // the file could not be opened or written: name and reason
};

class LogFlows {
public:
    LogFlows(app::Session& session, LogView& view) : s_(session), view_(view) {}

    app::Outcome InitLog();
    app::Outcome SetLogRate();
    app::Outcome StartLog();
    app::Outcome StopLog();
    // The dump's dialog, the dump, the notices; how it ended.
    app::Outcome OpenLogDump();

    // The stream of one dump into req.path (appended). Holds the link for the
    // whole stream; tells the operator nothing.
    DumpTally DumpLog(const DumpRequest& req);
    // What the operator is told after a dump, and how it counts.
    static app::Outcome DumpResult(const DumpTally& tally, const std::string& path);

    // The bound of the drain after a cancel; tests shorten it.
    long long DrainLimitMs = kDrainLimitMs;

    // Kept between showings, as the dialogs keep them.
    std::array<bool, 4> ItemChosen{};
    LogRateForm Rate;
    long long LogSetCount = 0;

private:
    bool RequireConnection();
    app::Outcome LogTime(bool stop);
    // Reads the late answer to "LI=" (the link held by the caller); empty when none
    // came, or when the program closes (checked before every read).
    std::string WaitForLogInit();

    app::Session& s_;
    LogView& view_;
};

}  // namespace tessary::log
