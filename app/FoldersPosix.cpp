// Where the program keeps its files on Linux: the XDG configuration folder
// and the home folder.

#include "app/Options.h"

#include <cstdlib>

namespace tessary::app {
namespace {
std::string Home() {
    const char* h = std::getenv("HOME");
    return h && *h ? h : "/tmp";
}
}  // namespace

std::string DefaultIniPath() {
    const char* x = std::getenv("XDG_CONFIG_HOME");
    const std::string base = (x && *x) ? std::string(x) : Home() + "/.config";
    return base + "/Veltrona/Tessary.ini";
}

std::string DefaultCaptureFolder() { return Home() + "/Tessary/"; }

}  // namespace tessary::app
