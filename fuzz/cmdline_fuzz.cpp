// The command line (arguments split at NUL bytes) and the --port mapping.

#include "app/Options.h"
#include "link/PortMap.h"

#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

using namespace tessary;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::vector<std::string> args(1);
    for (std::size_t i = 0; i < size; ++i) {
        if (data[i] == 0) args.emplace_back();
        else args.back().push_back(static_cast<char>(data[i]));
    }
    const app::Options o = app::ParseCommandLine(args);
    link::PortMap map;
    for (const auto& [name, path] : o.ports) {
        if (name != "COM1" && name != "COM2" && name != "COM3" && name != "COM4") std::abort();
        map.SetFromCommandLine(name, path);
        if (map.Resolve(name) != path) std::abort();
    }
    for (const auto& a : args) {
        std::string name, path;
        if (link::ParsePortOption(a, name, path) && name + "=" + path != a) std::abort();
        map.Describe(a);
    }
    return 0;
}
