#pragma once
// Plain descriptions of a simulated line and its boxes. Everything here is
// copyable and can be built by hand, by the option parser or by demoLine().

#include <chrono>
#include <string>
#include <vector>

namespace bravik::sim {

enum class Family { Digital, Kestin };

// Misbehaviour switched on per box (or for every box of a line at once).
// All zero/empty = a well-behaved box.
struct Faults {
    bool silent = false;        // hears nothing, answers nothing
    int lateMs = 0;             // every answer starts this much later
    int dropEvery = 0;          // N > 0: every Nth answer is lost (the command is still executed)
    bool garble = false;        // answers turn into noise (line end kept)
    int stopAfter = 0;          // N > 0: multi-line answers and uploads stop after N lines
    int saTimes = 0;            // upload: image line `saLine` is answered "SA" this many times
    int saLine = 1;             //   (1 = first image line)
    std::string abortCode;      // two digits: upload image line `abortLine` is answered "AB"+code
    int abortLine = 1;
    int alias = 0;              // 1..99: the box also answers at this second address

    bool operator==(const Faults&) const = default;
};

struct BoxConfig {
    int address = 1;                 // 1..99
    Family family = Family::Digital;
    unsigned baud = 9600;
    std::string serial;              // empty: derived from the address and family
    std::string gate = "0.5";        // gate time in seconds, as the box reports it
    unsigned logCapacity = 2000;     // sets the log holds before it is full
    unsigned logSets = 0;            // N > 0: the log starts initialised (TM,D1,D2) holding N
                                     //   sets, one a second up to the start, stopped
    int eraseMs = 1500;              // time an initialise (LI=) takes
    int copyMs = 3000;               // time the box takes to copy a new program image
    Faults faults;
};

struct LineConfig {
    std::string name;                // for the trace only
    std::string linkPath;            // non-empty: a symlink to the slave, kept pointing at it
    bool pacing = true;              // 10 bits a byte at the line speed
    bool garbleOnMismatch = false;   // at a wrong PC speed answer noise instead of keeping silent
    std::vector<BoxConfig> boxes;
    std::string byIdDir, byIdName;   // non-empty: one more such link, DIR/NAME, as udev's by-id
};

// Two Digital boxes at #01 and #02 and a Kestin box at #05, all at 9600 baud, paced.
LineConfig demoLine(const std::string& linkPath = {});

}  // namespace bravik::sim
