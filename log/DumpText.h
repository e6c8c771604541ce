#pragma once
// A log dump file's line read back: the box's set lines in either time form
// ("2007:05:17:12:30:03,..." after "TM", "3600,..." seconds since the log's
// start after "TS"), the closing "}", the "NoConnect" written when the box
// stopped answering, or something else (the comment line, a foreign line).

#include <string>
#include <string_view>
#include <vector>

namespace tessary::log {

struct DumpLine {
    enum class Kind { Set, End, NoConnect, Other };
    Kind kind = Kind::Other;
    bool seconds = false;     // the time is seconds since the log's start
    long long time = 0;       // else seconds of the civil date (the box's clock, no zone)
    std::vector<std::string> values;  // the items after the time, trimmed
};
DumpLine ReadDumpLine(std::string_view line);

}  // namespace tessary::log
