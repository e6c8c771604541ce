#include "app/Options.h"

#include "link/PortMap.h"

#include <cstdlib>

namespace tessary::app {

Options ParseCommandLine(const std::vector<std::string>& args) {
    Options o;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a == "--help" || a == "-h") {
            o.help = true;
        } else if (a == "--version") {
            o.version = true;
        } else if (a == "--simulate") {
            o.simulate = true;
        } else if (a == "--port" || a.rfind("--port=", 0) == 0) {
            std::string value;
            if (a == "--port") {
                if (i + 1 >= args.size()) {
                    o.error = "--port needs COMn=PATH";
                    return o;
                }
                value = args[++i];
            } else {
                value = a.substr(7);
            }
            std::string name, path;
            if (!link::ParsePortOption(value, name, path)) {
                o.error = "--port needs COMn=PATH with n from 1 to 4, not \"" + value + "\"";
                return o;
            }
            o.ports.emplace_back(name, path);
        } else if (a == "--chart") {
            while (i + 1 < args.size() && args[i + 1].rfind("--", 0) != 0) o.chartFiles.push_back(args[++i]);
            if (o.chartFiles.empty()) {
                o.error = "--chart needs FILE...";
                return o;
            }
        } else if (a.rfind("--", 0) == 0) {
            o.error = "unknown option " + a;
            return o;
        } else if (o.iniPath.empty()) {
            o.iniPath = a;
        }
        // Later plain arguments are ignored, as the program always did.
    }
    return o;
}

std::string UsageText() {
    return "Usage: tessary [options] [INI-FILE]\n"
           "\n"
           "  INI-FILE            the INI file to read at start and write at exit\n"
           "                      (default " + DefaultIniPath() + ")\n"
           "  --port COMn=PATH    map a port name to a device, e.g. --port COM1=/dev/ttyUSB0\n"
           "                      (repeatable; overrides the INI file's [Ports] section)\n"
           "  --simulate          run on a simulated line of three boxes (#01, #02 Digital,\n"
           "                      #05 Kestin at 9600 baud) with an INI file of its own\n"
           "  --chart FILE...     only the chart window, over capture and log dump files\n"
           "  --version           the program's version\n"
           "  --help              this text\n";
}

}  // namespace tessary::app
