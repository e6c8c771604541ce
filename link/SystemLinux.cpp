#include "link/System.h"

#include "link/LinuxPort.h"
#include "link/NetPort.h"

#include <filesystem>

namespace tessary::link {

std::unique_ptr<Port> MakeSystemPort() { return std::make_unique<AnyPort>(std::make_unique<PosixPort>()); }

void MapSystemPorts(PortMap& map, const std::string& devDir) { map.SetSystemDevices(ListSerialDevices(devDir)); }

std::vector<SystemSerialPort> ListSystemSerialPorts(const std::string& devDir) {
    std::vector<SystemSerialPort> out;
    for (const auto& path : ListSerialDevices(devDir)) out.push_back({path, path, {}});
    return out;
}

std::tm LocalTime(std::time_t t) {
    std::tm local{};
    localtime_r(&t, &local);
    return local;
}

bool PortPresent(const std::string& path) {
    std::error_code ec;
    return std::filesystem::exists(path, ec);
}

}  // namespace tessary::link
