// Systems without udev's stable links, sysfs or inotify: a port is its mapped
// path, and the watch is the caller's own poll.
#include "link/AdapterWatch.h"
#include "link/NetPort.h"
#include "link/System.h"

namespace tessary::link {

AdapterInfo DescribeAdapter(const std::string& path, const SerialDirs&) {
    AdapterInfo info;
    info.path = info.device = path;
    return info;
}

std::string LocateAdapter(const AdapterInfo& was, const SerialDirs&) {
    return IsNetworkPath(was.path) || PortPresent(was.path) ? was.path : std::string();
}

std::string DescribePort(const PortMap& map, const std::string& name, const SerialDirs&) {
    const std::string path = map.Resolve(name);
    return IsNetworkPath(path) ? map.Describe(name, path, NetworkKind(path)) : map.Describe(name);
}

std::string LatencyNote(const AdapterInfo&) { return {}; }

DeviceWatch::DeviceWatch(const std::vector<std::string>&) {}
DeviceWatch::~DeviceWatch() = default;
bool DeviceWatch::Changed() { return true; }

}  // namespace tessary::link
