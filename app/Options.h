#pragma once
// The command line: options begin with "--"; the first other argument is the
// INI file's path.

#include <string>
#include <utility>
#include <vector>

namespace tessary::app {

struct Options {
    std::string iniPath;                                   // empty: the default path
    std::vector<std::pair<std::string, std::string>> ports;  // --port COMn=PATH
    bool simulate = false;
    std::vector<std::string> chartFiles;  // --chart FILE...: only the chart window
    bool help = false;
    bool version = false;
    std::string error;  // set when the command line is wrong
};

Options ParseCommandLine(const std::vector<std::string>& args);  // args without argv[0]
std::string UsageText();

// ~/.config/Veltrona/Tessary.ini (XDG_CONFIG_HOME honoured).
std::string DefaultIniPath();
// Folder of the per-transducer capture files: ~/Tessary/ (with the trailing slash).
std::string DefaultCaptureFolder();

}  // namespace tessary::app
