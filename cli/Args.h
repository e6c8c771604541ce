#pragma once
// The command line of tessary-cli: a subcommand (with an action for "log" and
// "coef"), its operands and "--name VALUE" / "--name=VALUE" options, in any
// order. Each option belongs to the subcommands listed in its table row, so
// --help per subcommand and the usage errors come from one table.

#include <map>
#include <string>
#include <vector>

namespace tessary::cli {

struct Invocation {
    std::string command;               // "ports", "send", ..., "log", "coef"
    std::string action;                // "log": init/rate/start/stop/dump; "coef": read/write
    std::vector<std::string> operands;  // after the command (and action)
    std::map<std::string, std::vector<std::string>> options;  // "--baud" -> {"9600"}; flags -> {""}
    bool help = false;
    bool version = false;

    bool Has(const std::string& name) const { return options.count(name) != 0; }
    // The option's value, or `fallback` when it was not given (the last one wins).
    std::string Value(const std::string& name, const std::string& fallback = {}) const;
    const std::vector<std::string>& Values(const std::string& name) const;
    // "log dump", "info": the key the option table and the help texts use.
    std::string Key() const { return action.empty() ? command : command + " " + action; }
};

struct ParseResult {
    Invocation inv;
    std::string error;  // non-empty: a usage error, said in one line
};

ParseResult ParseArgs(const std::vector<std::string>& args);  // without argv[0]

std::string ProgramHelp();
// Help of one subcommand key ("info", "log dump"); "log" alone lists its actions.
std::string CommandHelp(const std::string& key);

// "#07" for "#07", "07" and "7"; empty when it is not an address 00..99.
std::string NormalizeAddress(const std::string& text);
// A whole decimal number in [lo, hi]; false otherwise.
bool ParseWhole(const std::string& text, long lo, long hi, long& out);

}  // namespace tessary::cli
