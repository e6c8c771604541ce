#include "sim/Options.h"

#include <fstream>
#include <sstream>

namespace bravik::sim {
namespace {

bool toInt(const std::string& s, int lo, int hi, int& out) {
    if (s.empty() || s.size() > 9) return false;
    int v = 0;
    for (char c : s) {
        if (c < '0' || c > '9') return false;
        v = v * 10 + (c - '0');
    }
    if (v < lo || v > hi) return false;
    out = v;
    return true;
}

// "N" or "N@LINE"
bool countAt(const std::string& s, int& n, int& at) {
    auto p = s.find('@');
    if (p == std::string::npos) return toInt(s, 0, 1000000, n);
    return toInt(s.substr(0, p), 0, 1000000, n) && toInt(s.substr(p + 1), 1, 1000000, at);
}

bool applyKey(const std::string& key, const std::string& value, bool hasValue, BoxConfig* box, Faults& f,
              std::string& error) {
    auto bad = [&] {
        error = "bad value for " + key + ": '" + value + "'";
        return false;
    };
    if (key == "silent") f.silent = !hasValue || value == "1" || value == "on";
    else if (key == "garble") f.garble = !hasValue || value == "1" || value == "on";
    else if (key == "late") { if (!toInt(value, 0, 600000, f.lateMs)) return bad(); }
    else if (key == "drop") { if (!toInt(value, 0, 1000000, f.dropEvery)) return bad(); }
    else if (key == "stop") { if (!toInt(value, 0, 1000000, f.stopAfter)) return bad(); }
    else if (key == "sa") { if (!countAt(value, f.saTimes, f.saLine)) return bad(); }
    else if (key == "abort") {
        int code = 0, line = f.abortLine;
        std::string c = value.substr(0, value.find('@'));
        if (c.size() != 2 || !toInt(c, 0, 99, code)) return bad();
        if (value.find('@') != std::string::npos && !toInt(value.substr(value.find('@') + 1), 1, 1000000, line))
            return bad();
        f.abortCode = c;
        f.abortLine = line;
    } else if (key == "alias") { if (!toInt(value, 1, 99, f.alias)) return bad(); }
    else if (box && key == "addr") { if (!toInt(value, 1, 99, box->address)) return bad(); }
    else if (box && key == "family") {
        if (value == "digital") box->family = Family::Digital;
        else if (value == "kestin") box->family = Family::Kestin;
        else return bad();
    } else if (box && key == "baud") {
        int b = 0;
        if (!toInt(value, 1200, 115200, b)) return bad();
        box->baud = static_cast<unsigned>(b);
    } else if (box && key == "serial") { if (value.empty()) return bad(); box->serial = value; }
    else if (box && key == "gate") { if (value.empty()) return bad(); box->gate = value; }
    else if (box && key == "log") {
        int n = 0;
        if (!toInt(value, 1, 10000000, n)) return bad();
        box->logCapacity = static_cast<unsigned>(n);
    } else if (box && key == "logsets") {
        int n = 0;
        if (!toInt(value, 0, 10000000, n)) return bad();
        box->logSets = static_cast<unsigned>(n);
    } else if (box && key == "erase") { if (!toInt(value, 0, 600000, box->eraseMs)) return bad(); }
    else if (box && key == "copy") { if (!toInt(value, 0, 600000, box->copyMs)) return bad(); }
    else {
        error = "unknown key '" + key + "'";
        return false;
    }
    return true;
}

bool parseKeys(const std::string& text, BoxConfig* box, Faults& f, std::string& error) {
    std::stringstream ss(text);
    std::string item;
    while (std::getline(ss, item, ',')) {
        if (item.empty()) continue;
        auto eq = item.find('=');
        std::string key = item.substr(0, eq), value = eq == std::string::npos ? "" : item.substr(eq + 1);
        if (!applyKey(key, value, eq != std::string::npos, box, f, error)) return false;
    }
    return true;
}

bool readConfig(const std::string& path, std::vector<std::string>& out, std::string& error) {
    std::ifstream in(path);
    if (!in) {
        error = "cannot read " + path;
        return false;
    }
    std::string line;
    while (std::getline(in, line)) {
        auto hash = line.find('#');
        // "#" starts a comment only at the start of a word, so "alias=..." stays whole.
        if (hash != std::string::npos && (hash == 0 || line[hash - 1] == ' ' || line[hash - 1] == '\t'))
            line.erase(hash);
        std::stringstream ws(line);
        std::string word;
        bool first = true;
        while (ws >> word) {
            out.push_back(first && word.rfind("--", 0) != 0 ? "--" + word : word);
            first = false;
        }
    }
    return true;
}

}  // namespace

bool parseFaultKeys(const std::string& text, Faults& faults, std::string& error) {
    return parseKeys(text, nullptr, faults, error);
}

bool parseBoxKeys(const std::string& text, BoxConfig& box, std::string& error) {
    BoxConfig b = box;
    b.address = 0;
    if (!parseKeys(text, &b, b.faults, error)) return false;
    if (b.address == 0) {
        error = "box without addr=: '" + text + "'";
        return false;
    }
    box = b;
    return true;
}

bool parseArgs(const std::vector<std::string>& argsIn, Invocation& setup, std::string& error) {
    std::vector<std::string> args = argsIn;
    bool pacing = true, mismatchGarble = false;
    auto current = [&]() -> LineConfig& {
        if (setup.lines.empty()) setup.lines.emplace_back();
        return setup.lines.back();
    };
    std::vector<std::pair<std::size_t, Faults>> lineFaults;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        auto value = [&](std::string& v) {
            if (i + 1 >= args.size()) {
                error = a + " needs a value";
                return false;
            }
            v = args[++i];
            return true;
        };
        std::string v;
        if (a == "-h" || a == "--help") setup.help = true;
        else if (a == "--line") {
            setup.lines.emplace_back();
            if (i + 1 < args.size() && args[i + 1].rfind("--", 0) != 0) setup.lines.back().linkPath = args[++i];
        } else if (a == "--link") {
            if (!value(v)) return false;
            current().linkPath = v;
        } else if (a == "--by-id") {
            if (!value(v)) return false;
            current().byIdDir = v;
            if (!value(v)) return false;
            current().byIdName = v;
        } else if (a == "--return-other") {
            setup.returnOther = true;
        } else if (a == "--box") {
            if (!value(v)) return false;
            BoxConfig b;
            if (!parseBoxKeys(v, b, error)) return false;
            current().boxes.push_back(b);
        } else if (a == "--demo") {
            LineConfig demo = demoLine();
            auto& l = current();
            l.boxes.insert(l.boxes.end(), demo.boxes.begin(), demo.boxes.end());
        } else if (a == "--fault") {
            if (!value(v)) return false;
            Faults f;
            if (!parseFaultKeys(v, f, error)) return false;
            current();
            lineFaults.emplace_back(setup.lines.size() - 1, f);
        } else if (a == "--no-pacing") pacing = false;
        else if (a == "--mismatch-garble") mismatchGarble = true;
        else if (a == "--quiet") setup.trace = false;
        else if (a == "--hangup") {
            if (!value(v)) return false;
            auto colon = v.find(':');
            if (!toInt(v.substr(0, colon), 1, 86400000, setup.hangUpAfterMs) ||
                (colon != std::string::npos && !toInt(v.substr(colon + 1), 0, 86400000, setup.hangUpForMs))) {
                error = "bad value for --hangup: '" + v + "'";
                return false;
            }
        } else if (a == "--config") {
            if (!value(v)) return false;
            std::vector<std::string> more;
            if (!readConfig(v, more, error)) return false;
            args.insert(args.begin() + static_cast<std::ptrdiff_t>(i) + 1, more.begin(), more.end());
        } else {
            error = "unknown option '" + a + "'";
            return false;
        }
    }
    if (setup.help) return true;
    if (setup.lines.empty()) setup.lines.push_back(demoLine());
    for (std::size_t n = 0; n < setup.lines.size(); ++n) {
        auto& l = setup.lines[n];
        if (l.boxes.empty()) l.boxes = demoLine().boxes;
        l.pacing = pacing;
        l.garbleOnMismatch = mismatchGarble;
        l.name = "line" + std::to_string(n + 1);
    }
    for (auto& [n, f] : lineFaults)
        for (auto& b : setup.lines[n].boxes) {
            int alias = b.faults.alias;
            b.faults = f;
            if (f.alias == 0) b.faults.alias = alias;
        }
    return true;
}

std::string usage() {
    return R"(bravik-sim: a serial line of simulated Bravik boxes on a pseudo-terminal.

Usage: bravik-sim [options]
A line given no --box runs the demo boxes. It prints the path each line's
PC side opens as its serial port, then a trace of what it hears (<) and says (>).
Ctrl-C (SIGINT) or SIGTERM stops it.

Lines and boxes
  --line [PATH]      start another line; boxes given after it belong to it.
                     PATH: a symlink kept pointing at the line's slave side.
  --link PATH        the same symlink for the current line (the first line too).
  --by-id DIR NAME   one more such link, DIR/NAME, as udev's /dev/serial/by-id
                     gives an adapter (DIR is made when missing).
  --box KEYS         a box on the current line. KEYS is key=value,... :
                       addr=NN          bus address 1..99 (required)
                       family=digital|kestin     (digital)
                       baud=RATE        1200 2400 4800 9600 14400 19200
                                        38400 57600 115200        (9600)
                       serial=TEXT      "ID" answer (from the address)
                       gate=SECONDS     gate time as reported by "GA" (0.5)
                       log=N            sets the log holds until full (2000)
                       logsets=N        start with a log of N sets (TM,D1,D2), stopped
                       erase=MS         time an initialise LI= takes (1500)
                       copy=MS          time a program copy takes (3000)
                     and any fault key below, for this box only.
  --demo             add the demo boxes: Digital #01, #02, Kestin #05, 9600.
  --config FILE      read more options from FILE: one option per line, the
                     leading "--" may be left out, "#" starts a comment.

Line behaviour
  --no-pacing        answer at once instead of 10 bits a byte at the rate.
  --mismatch-garble  a box addressed at a PC speed not its own answers a line
                     of noise (default: it hears garbage and keeps silent).
  --fault KEYS       faults for every box of the current line.
  --hangup MS[:MS]   hang every line up after MS ms; with :MS, bring it back
                     (new pty, the links follow) after that long.
  --return-other     the line comes back with other boxes: same addresses,
                     another "ID" answer (a different adapter plugged in).
                     SIGUSR1 pulls the plug of every line at any time, SIGUSR2
                     plugs it back in.
  --quiet            no live trace.

Faults (in --box or --fault KEYS)
  silent             hears nothing, answers nothing
  late=MS            every answer starts MS later
  drop=N             every Nth answer is lost (the command is still done)
  garble             answers come as noise of the same length (CR LF kept)
  stop=N             multi-line answers (LD, CAL, CAL1, CAL2, block echo)
                     end after N lines, no "}"; an upload goes silent after
                     N image lines
  sa=N[@L]           upload: image line L (1) is answered "SA" N times
  abort=CC[@L]       upload: image line L (1) is answered "AB"+CC, the box
                     leaves programming mode and returns to 9600
  alias=NN           the box answers at address NN as well as its own

The box
  Commands are "#NN" + word + "\r\n". "#00" reaches every box; none answers.
  ID VER M VF        identity; VF is 8 characters on a Digital box, "ERROR 1"
                     on a Kestin box
  GA GA=s            gate time, 0.01..2 s; readings take that long to come
  UN1 UN1=u UN2 UN2=u   units psi bar MPa mH2O / C K F R
  UP1..UP8           "name,factor,offset": psi bar MPa mH2O C K F R
  DM DM=n            Kestin display mode 1..7
  EW CW              "0" (commit settings / coefficients; CW Digital only)
  BR=rate            echoes the rate, then the box runs at it
  AD=NN              answers NN, then the box moves there
  TM TM=t            clock, yyyy:MM:dd:HH:mm:ss; TM also selects formatted
                     dump times, TS (answer "0") seconds since the log start
  TM;D1;D2;D3;D4     readings in the order asked (any subset, ";"-separated):
                     time, pressure, temperature, pressure and temperature
                     counts, comma-separated
  LI LI=TM,D1,..     log items; initialising erases and answers after erase=MS
  LR LR=r[ AND|OR Dn=step]  rate; answers "r" or "r OR Dn = step"
  LS LS=START|STOP|t|a,b    19 (start) or 39 (start,stop) characters,
                     "NOT STARTED" before a start
  LL                 number of sets;  LD / LDa,b  sets one a line, then "}"
  CAL                Digital: "CAL 256", 16 Intel HEX records of 16 bytes,
                     ":00000001FF", "}"
  CAL1 CAL2          Kestin: "CALn count", text lines, "}"
  CAL={ ... }        block write (also CAL1={, CAL2={): the box stores the
                     lines up to "}" and sends them back framed as a read
  PR                 "READY"; then each image line is answered "OK" ("SA"
                     for a bad record, "AB01" after three bad in a row); the
                     end record gets "OK", and "PROGRAM OK" once the copy is
                     done, after which the box runs at 9600
  Errors: "ERROR 1" unknown command, "ERROR 2" bad argument, "ERROR 4" LR
  before LI=, "ERROR 13" other log commands before LI=, "ERROR 14" log full.

Examples
  bravik-sim --demo --link /tmp/ttyBRAVIK
  bravik-sim --box addr=1 --box addr=7,family=kestin,baud=19200,late=300
  bravik-sim --line /tmp/com1 --demo --line /tmp/com2 --box addr=3,drop=4
)";
}

}  // namespace bravik::sim
