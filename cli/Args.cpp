#include "cli/Args.h"

#include <algorithm>
#include <charconv>
#include <sstream>

namespace tessary::cli {

namespace {

struct CommandRow {
    const char* key;
    const char* operands;  // as shown in the usage line
    int minOperands, maxOperands;
    const char* summary;  // one line of the program's help
    const char* text;
};

// The subcommands, in the order the program's help lists them.
const CommandRow kCommands[] = {
    {"ports", "", 0, 0, "the port map and the USB adapters",
     "The port map: COM1 to COM4, the device each stands for, its stable name\n"
     "(/dev/serial/by-id), where that came from (command line, INI file or system)\n"
     "and the USB adapter's name, vendor:product and serial. A by-id path works\n"
     "wherever a device does and follows the adapter when it is renumbered."},
    {"send", "CMD", 1, 1, "one exchange; prints the answer",
     "Sends CMD and CR LF once, as the window's command line does, and prints the\n"
     "answer line. No answer prints \"NoConnect\" and says why on standard error.\n"
     "With --address the address goes before CMD; without it CMD carries its own\n"
     "(\"#01ID\"). A command to #00 prints \"#00\" at once. An answer beginning\n"
     "with \"ERROR\" is printed and ends with status 1. A control character in CMD\n"
     "(CR, LF, ...) is a usage error: nothing is sent."},
    {"scan", "", 0, 0, "finds the boxes: ports, rates, addresses",
     "Finds the boxes: the port and rate in use first, then COM1 to COM4 at every\n"
     "rate, \"VER\" at every third address; then \"ID\" at every address of the line\n"
     "that answered, up to the fourth box found. Prints the port, the rate, the\n"
     "kind of scan and the boxes. The exact scan gives every address 200 ms; with\n"
     "--quick the boxes already known are timed first and a silent address gets\n"
     "three times the slowest of their answers (at least 20 ms and three\n"
     "characters); an address that gave anything but silence is asked again with\n"
     "the full 200 ms. An adapter unplugged during the scan cuts it: the boxes found so far\n"
     "are printed, standard error names the addresses not asked, the status is 1\n"
     "(--json: \"complete\": false, \"notAsked\": \"#NN-#99\")."},
    {"info", "[ADDR]", 0, 1, "the information read-out of one box",
     "The information read-out of the box at ADDR (or --address, or the INI file's\n"
     "Addr1): model, serial number, firmware, gate time, units, clock and log state.\n"
     "When the first query gets no answer it stops: \"no box answered at #NN\".\n"
     "A field whose answer came garbled shows \"(garbled answer)\" and the status\n"
     "is 1."},
    {"log init", "", 0, 0, "initialises the box's log (erases it)",
     "Initialises the log of the box with the data items of --items, as the\n"
     "window's \"Initialize Log\" does; the old log data are erased. Prints the\n"
     "box's answer."},
    {"log rate", "", 0, 0, "the log's rate and recording condition",
     "Sets the log rate in seconds and, with --condition and or or, the item and\n"
     "step it is based on, as the window's \"Set Up Log Rate\" does. Prints the\n"
     "box's answer."},
    {"log start", "", 0, 0, "starts the log now or at a time",
     "Starts the log now (--now) or at a date and time (--at), as the window's\n"
     "\"Start Logging NOW!\" or \"Select Date and Time\" does. Prints the start and\n"
     "stop times."},
    {"log stop", "", 0, 0, "stops the log now or at a time",
     "Stops the log now (--now) or at a date and time (--at); a stop at a time\n"
     "carries the start the read-out found. Prints the start and stop times."},
    {"log dump", "", 0, 0, "the log's sets into a file",
     "Asks the box how many sets its log holds and dumps them (or --range) into\n"
     "--out, added at the end of the file exactly as the window's \"Save Log to\n"
     "File\" writes it: the comment, then every line the box sends up to \"}\".\n"
     "Only the box's lines are written: never \"NoConnect\" or a garbled line; a\n"
     "dump that ends early says how many lines came (status 1). A signal ends it as\n"
     "Cancel does: the rest of the stream is read, not written, for 30 s at most;\n"
     "a second signal ends that at once."},
    {"coef read", "", 0, 0, "a coefficient block to a file, with its backup",
     "Reads the box's coefficient block (a Digital box's CAL image, a Kestin box's\n"
     "CAL1 or CAL2 block) after the information read-out. The block is also written\n"
     "to ~/Tessary/backups/ as the window does. With --out it is saved to FILE as\n"
     "the window's \"Save Coef to File\" saves it, else printed."},
    {"coef write", "FILE", 1, 1, "a coefficient file to the box",
     "Opens FILE as the window's \"Open Coef File\" does (.hex: the CAL image, a name\n"
     "ending in F: CAL1, else CAL2) and writes it to the box after the information\n"
     "read-out. The box's answer is backed up as after a read. --commit makes it\n"
     "permanent (\"CW\" on a Digital box, \"EW\" on a Kestin box). FILE is checked\n"
     "before the box is asked anything (Intel HEX records of the image for .hex,\n"
     "plain lines of at most 120 characters, none \"}\", for the others); one that\n"
     "fails is sent only with --yes."},
    {"upload", "FILE", 1, 1, "a program image (Intel HEX) into the box",
     "Uploads the program image FILE into the box as the window's \"Update Bravik \"\n"
     "does: the line goes to 57600 baud, \"PR\", the image line by line, the wait for\n"
     "the box's copy, back to 9600. The status lines go to standard output. A file\n"
     "that is not clean Intel HEX is sent only with --yes. A first signal does not\n"
     "stop an upload half way; a second one does, before its next line."},
    {"capture", "ADDR[=FILE]...", 1, 4, "readings of up to four boxes into files",
     "The PC Capture page's timed capture: every --rate seconds each box is asked\n"
     "\"TM;D1;D2;D3;D4\" and the answer, its date made readable, is added to its\n"
     "file (default: ~/Tessary/ + the box's \"ID\" answer + \".txt\", as the page\n"
     "proposes). It runs until --duration seconds have passed, --count cycles have\n"
     "run, or SIGINT or SIGTERM; an answer under way is written whole, then the\n"
     "files close. An unplugged adapter pauses it until the same box is back\n"
     "(each file gets one \"Gap:\" line; a paused cycle does not count toward\n"
     "--count); another box, or none, ends it (status 1). Ended while the adapter\n"
     "is away (a signal, --duration), each file ends with a \"Gap: ... - capture\n"
     "stopped ...\" line and the status is 1; a signal otherwise ends it with 0.\n"
     "With --mqtt every row also goes to the broker as JSON on PREFIX/NN/reading\n"
     "(default PREFIX tessary/<host name>/<port name>), each box on PREFIX/NN/info\n"
     "and online/offline on PREFIX/status (retained). The files come first: a\n"
     "missing broker is said once and retried; a refused login or a TLS failure\n"
     "ends the capture (status 3)."},
    {"plot", "FILE...", 1, 64, "a chart of capture and dump files: PNG, SVG or CSV",
     "Reads capture files and log dump files (both time forms) and draws their\n"
     "pressure (left axis) and temperature (right axis) over time into --png or\n"
     "--svg, or writes the readings of --from to --to as CSV to --csv: a header,\n"
     "then the time (ISO 8601, the box's clock) and one column per series, empty\n"
     "where a series has no value then. \"NoConnect\" rows and \"Gap:\" lines\n"
     "break the lines. Lines not understood are skipped and counted on standard\n"
     "error. Needs no display. TIME is \"2007-05-17T12:30:03\" or\n"
     "\"2007/05/17, 12:30:03\"."},
};

struct OptionRow {
    const char* name;
    const char* value;     // metavariable; nullptr for a flag
    const char* commands;  // keys, comma-separated; "*" for every command; "!ports,plot" every but those
    bool repeatable;
    const char* text;
};

const OptionRow kOptions[] = {
    {"--port", "COMn=PATH", "!plot", true, "map a port name to a device (as the window's --port)"},
    {"--device", "PATH", "!plot", false, "the device of the port in use (the INI file's ComPort, else COM1)"},
    {"--ini", "FILE", "!plot", false, "INI file read for the port, rate and addresses; never written"},
    {"--simulate", nullptr, "!plot", false, "a simulated line of three boxes (#01, #02, #05 at 9600) on COM1"},
    {"--baud", "N", "!ports,plot", false, "the line's rate (default: the INI file's BaudRate, else 9600)"},
    {"--address", "#NN", "send,info,log,coef,upload", false, "the box's bus address"},
    {"--json", nullptr, "ports,scan,info", false, "print JSON instead of text"},
    {"--first", nullptr, "scan", false, "stop at the first box found (\"OK - STOP Searching\")"},
    {"--quick", nullptr, "scan", false,
     "a silent address gets only the time the boxes found need (3 x the slowest\n"
     "                      answer); whatever else came is asked again in full"},
    {"--items", "LIST", "log init", false,
     "data items, comma-separated: pressure, temperature, pressure-counts,\n"
     "                      temperature-counts (or D1 to D4)"},
    {"--rate", "SECONDS", "log rate,capture", false, "log rate: the rate; capture: the period (default 1)"},
    {"--duration", "SECONDS", "capture", false, "stop after this long (default: at a signal)"},
    {"--count", "N", "capture", false, "stop after N cycles"},
    {"--append", nullptr, "capture", false, "add to a capture file that exists"},
    {"--all-serial", "FILE", "capture", false, "also copy every command and answer to FILE (added at its end)"},
    {"--mqtt", "URL", "capture", false,
     "also publish each row: mqtt://[USER@]HOST[:PORT][/PREFIX] or mqtts://...\n"
     "                      (password from TESSARY_MQTT_PASSWORD)"},
    {"--mqtt-ca", "FILE", "capture", false, "mqtts: the broker's CA certificates (default: the system's)"},
    {"--mqtt-qos", "0|1", "capture", false, "QoS of the readings (default 0; 1 waits while the broker is away)"},
    {"--mqtt-discovery", nullptr, "capture", false, "also Home Assistant's discovery configs (retained)"},
    {"--condition", "WORD", "log rate", false, "and, or or neither (default neither)"},
    {"--based-on", "ITEM", "log rate", false, "the item the condition looks at (as --items)"},
    {"--step", "VALUE", "log rate", false, "the data step value of the condition (default 1)"},
    {"--now", nullptr, "log start,log stop", false, "now"},
    {"--at", "TIME", "log start,log stop", false, "at \"YYYY-MM-DD HH:MM:SS\" (24-hour clock)"},
    {"--comment", "TEXT", "log dump", false, "a first line for the dump"},
    {"--seconds", nullptr, "log dump", false, "log times in seconds (default: formatted)"},
    {"--range", "FIRST,LAST", "log dump", false, "only these sets (default: the entire log)"},
    {"--block", "WORD", "coef read", false, "a Kestin box's block: CAL1 (pressure) or CAL2 (temperature)"},
    {"--out", "FILE", "log dump,coef read", false, "the file to write"},
    {"--overwrite", nullptr, "coef read,capture", false, "replace a file that exists"},
    {"--commit", nullptr, "coef write", false, "make the coefficients permanent in the box"},
    {"--yes", nullptr, "coef write,upload", false, "go on where the window would ask"},
    {"--png", "FILE", "plot", false, "draw the chart into a PNG file"},
    {"--svg", "FILE", "plot", false, "draw the chart into an SVG file"},
    {"--csv", "FILE", "plot", false, "the readings as CSV (- for standard output)"},
    {"--from", "TIME", "plot", false, "start of the time range (default: the first reading)"},
    {"--to", "TIME", "plot", false, "end of the time range (default: the last reading)"},
    {"--size", "WxH", "plot", false, "the picture's size in pixels (default 1200x700)"},
    {"--title", "TEXT", "plot", false, "a title above the chart"},
    {"--version", nullptr, "*", false, "the program's version"},
    {"--help", nullptr, "*", false, "this text"},
};

const CommandRow* FindCommand(const std::string& key) {
    for (const auto& c : kCommands)
        if (key == c.key) return &c;
    return nullptr;
}

const OptionRow* FindOption(const std::string& name) {
    for (const auto& o : kOptions)
        if (name == o.name) return &o;
    return nullptr;
}

bool AppliesTo(const OptionRow& o, const std::string& key) {
    const std::string list = o.commands;
    if (list == "*") return true;
    if (list[0] == '!') {
        // Every command but those listed ("plot" needs no line).
        std::size_t at = 1;
        while (at <= list.size()) {
            const std::size_t comma = std::min(list.find(',', at), list.size());
            if (list.compare(at, comma - at, key) == 0) return false;
            at = comma + 1;
        }
        return true;
    }
    // A command with actions ("coef") stands for all of them.
    const std::string head = key.substr(0, key.find(' '));
    std::size_t at = 0;
    while (at <= list.size()) {
        const std::size_t comma = std::min(list.find(',', at), list.size());
        const std::string item = list.substr(at, comma - at);
        if (item == key || item == head) return true;
        at = comma + 1;
    }
    return false;
}

// "log" and "coef" take an action word; the table holds "log dump" etc.
bool HasActions(const std::string& command) {
    for (const auto& c : kCommands) {
        const std::string k = c.key;
        if (k.size() > command.size() && k.compare(0, command.size(), command) == 0 && k[command.size()] == ' ')
            return true;
    }
    return false;
}

std::string OptionLine(const OptionRow& o) {
    std::string left = std::string("  ") + o.name + (o.value ? std::string(" ") + o.value : std::string());
    if (left.size() < 22) left.resize(22, ' ');
    else left += "  ";
    return left + o.text + "\n";
}

}  // namespace

std::string Invocation::Value(const std::string& name, const std::string& fallback) const {
    const auto it = options.find(name);
    return it == options.end() || it->second.empty() ? fallback : it->second.back();
}

const std::vector<std::string>& Invocation::Values(const std::string& name) const {
    static const std::vector<std::string> kNone;
    const auto it = options.find(name);
    return it == options.end() ? kNone : it->second;
}

ParseResult ParseArgs(const std::vector<std::string>& args) {
    ParseResult r;
    Invocation& inv = r.inv;
    std::vector<std::string> words;
    std::vector<std::pair<std::string, std::string>> given;
    bool optionsDone = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (optionsDone || a.size() < 2 || a[0] != '-') {
            words.push_back(a);
            continue;
        }
        if (a == "--") {
            optionsDone = true;
            continue;
        }
        if (a == "-h") {
            inv.help = true;
            continue;
        }
        const auto eq = a.find('=');
        const std::string name = a.substr(0, eq);
        const OptionRow* row = FindOption(name);
        if (!row) {
            r.error = "unknown option " + name;
            return r;
        }
        std::string value;
        if (row->value) {
            if (eq != std::string::npos) {
                value = a.substr(eq + 1);
            } else if (i + 1 < args.size()) {
                value = args[++i];
            } else {
                r.error = name + " needs " + row->value;
                return r;
            }
        } else if (eq != std::string::npos) {
            r.error = name + " takes no value";
            return r;
        }
        if (name == "--help") inv.help = true;
        else if (name == "--version") inv.version = true;
        else given.emplace_back(name, value);
    }
    if (inv.version) return r;  // whatever else the line holds

    if (!words.empty()) inv.command = words[0];
    std::size_t next = 1;
    if (!inv.command.empty() && HasActions(inv.command)) {
        if (words.size() > 1) inv.action = words[1];
        next = 2;
        if (inv.action.empty() && inv.help) return r;  // "log --help" lists the actions
    }
    if (inv.command.empty()) {
        if (!inv.help) r.error = "no command given";
        return r;
    }
    const CommandRow* cmd = FindCommand(inv.Key());
    if (!cmd) {
        r.error = inv.action.empty() && HasActions(inv.command)
                      ? inv.command + " needs an action"
                      : "unknown command \"" + inv.Key() + "\"";
        return r;
    }
    inv.operands.assign(words.begin() + static_cast<std::ptrdiff_t>(std::min(next, words.size())), words.end());
    if (inv.help) return r;

    for (const auto& [name, value] : given) {
        const OptionRow& row = *FindOption(name);
        if (!AppliesTo(row, inv.Key())) {
            r.error = name + " does not apply to " + inv.Key();
            return r;
        }
        auto& slot = inv.options[name];
        if (!slot.empty() && !row.repeatable) {
            r.error = name + " given twice";
            return r;
        }
        slot.push_back(value);
    }
    const int n = static_cast<int>(inv.operands.size());
    if (n < cmd->minOperands || n > cmd->maxOperands) {
        r.error = inv.Key() + (n < cmd->minOperands ? " needs " : " takes ") +
                  (cmd->operands[0] ? std::string(cmd->operands) : std::string("no operands"));
        return r;
    }
    return r;
}

std::string ProgramHelp() {
    std::string s =
        "Usage: tessary-cli COMMAND [options] [operands]\n"
        "\n"
        "The work of the Tessary window from scripts: the same exchanges on the wire,\n"
        "no window, no questions. Every choice the window asks for is an option.\n"
        "\n"
        "Commands:\n";
    for (const auto& c : kCommands) {
        std::string left = std::string("  ") + c.key + (c.operands[0] ? std::string(" ") + c.operands : "");
        if (left.size() < 22) left.resize(22, ' ');
        else left += "  ";
        s += left + c.summary + "\n";
    }
    s += "\nOptions of every command (the line's: all but plot; --baud: nor ports):\n";
    for (const auto& o : kOptions)
        if (o.commands[0] == '*' || o.commands[0] == '!') s += OptionLine(o);
    s += "\n"
         "Exit status: 0 done (a warning, such as a backup that could not be made,\n"
         "leaves it done), 1 the box did not answer, answered garbled or reported an\n"
         "error, or the command was stopped, 2 usage (a needed --yes included), 3 a\n"
         "file could not be read or written, or the port is held by another program\n"
         "or not allowed to this user.\n"
         "\"tessary-cli COMMAND --help\" describes one command.\n";
    return s;
}

std::string CommandHelp(const std::string& key) {
    const CommandRow* cmd = FindCommand(key);
    if (!cmd) {
        std::string s = "Usage: tessary-cli " + key + " ACTION [options]\n\nActions:\n";
        for (const auto& c : kCommands) {
            const std::string k = c.key;
            if (k.rfind(key + " ", 0) != 0) continue;
            std::string left = "  " + k;
            left.resize(22, ' ');
            s += left + c.summary + "\n";
        }
        return s + "\n\"tessary-cli " + key + " ACTION --help\" describes one action.\n";
    }
    std::string s = "Usage: tessary-cli " + key + " [options]" +
                    (cmd->operands[0] ? std::string(" ") + cmd->operands : std::string()) + "\n\n" + cmd->text +
                    "\n\nOptions:\n";
    for (const auto& o : kOptions)
        if (AppliesTo(o, key)) s += OptionLine(o);
    return s;
}

std::string NormalizeAddress(const std::string& text) {
    std::string digits = !text.empty() && text[0] == '#' ? text.substr(1) : text;
    if (digits.empty() || digits.size() > 2) return {};
    if (!std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; })) return {};
    if (digits.size() == 1) digits = "0" + digits;
    return "#" + digits;
}

bool ParseWhole(const std::string& text, long lo, long hi, long& out) {
    long v = 0;
    const char* end = text.data() + text.size();
    const auto [stop, ec] = std::from_chars(text.data(), end, v);
    if (text.empty() || ec != std::errc() || stop != end || v < lo || v > hi) return false;
    out = v;
    return true;
}

}  // namespace tessary::cli
