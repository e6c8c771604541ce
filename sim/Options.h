#pragma once
// The bravik-sim command line (and its config file), usable from tests too.

#include "sim/Config.h"

#include <string>
#include <vector>

namespace bravik::sim {

struct Invocation {
    std::vector<LineConfig> lines;
    bool trace = true;
    int hangUpAfterMs = 0;   // > 0: every line hangs up after this long ...
    int hangUpForMs = 0;     // ... and comes back after this long (0: stays down)
    bool returnOther = false;  // ... with other boxes (another "ID" answer)
    bool help = false;
};

// "addr=5,family=kestin,baud=19200,late=300" -> box. False with a message on a bad key or value.
bool parseBoxKeys(const std::string& text, BoxConfig& box, std::string& error);
// The fault keys alone: "silent,drop=3,garble,stop=5,sa=2@4,abort=07@3,alias=9,late=250".
bool parseFaultKeys(const std::string& text, Faults& faults, std::string& error);
// Arguments without the program name.
bool parseArgs(const std::vector<std::string>& args, Invocation& setup, std::string& error);
std::string usage();

}  // namespace bravik::sim
