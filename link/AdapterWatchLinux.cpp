#include "link/AdapterWatch.h"
#include "link/NetPort.h"

#include "link/Files.h"

#include <filesystem>
#include <sys/inotify.h>
#include <unistd.h>

namespace tessary::link {

namespace {

namespace fs = std::filesystem;

std::string FirstLine(const fs::path& file) {
    std::string line = ReadRegularFile(file.string(), 64 * 1024).bytes;
    line = line.substr(0, line.find('\n'));
    while (!line.empty() && (line.back() == ' ' || line.back() == '\r')) line.pop_back();
    return line;
}

std::string Canonical(const std::string& path) {
    std::error_code ec;
    const fs::path real = fs::canonical(path, ec);
    return ec ? std::string() : real.string();
}

// The leaf of the first link in `folder` that leads to `device`.
std::string LinkTo(const std::string& folder, const std::string& device) {
    std::error_code ec;
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec))
        if (Canonical(it->path().string()) == device) return it->path().filename().string();
    return {};
}

void ReadUsb(const std::string& device, const SerialDirs& dirs, AdapterInfo& info) {
    std::error_code ec;
    const fs::path tty = fs::path(dirs.sysTty) / fs::path(device).filename() / "device";
    fs::path dir = fs::canonical(tty, ec);
    if (ec) return;
    // FTDI's knob sits on the usb-serial port device the tty hangs from.
    if (const std::string t = FirstLine(dir / "latency_timer"); !t.empty())
        info.latencyTimerMs = std::atoi(t.c_str());
    // ttyUSB sits below its interface, ttyACM is the interface: a few levels up at most.
    for (int up = 0; up < 4 && dir.has_parent_path(); ++up, dir = dir.parent_path()) {
        if (!fs::exists(dir / "idVendor", ec)) continue;
        info.vendorProduct = FirstLine(dir / "idVendor") + ":" + FirstLine(dir / "idProduct");
        info.usbSerial = FirstLine(dir / "serial");
        const std::string maker = FirstLine(dir / "manufacturer");
        const std::string product = FirstLine(dir / "product");
        info.product = maker.empty() ? product : product.empty() ? maker : maker + " " + product;
        return;
    }
}

}  // namespace

AdapterInfo DescribeAdapter(const std::string& path, const SerialDirs& dirs) {
    AdapterInfo info;
    info.path = path;
    if (IsNetworkPath(path)) return info;
    info.device = Canonical(path);
    if (info.device.empty()) return info;
    info.byId = LinkTo(dirs.byId, info.device);
    info.byPath = LinkTo(dirs.byPath, info.device);
    ReadUsb(info.device, dirs, info);
    return info;
}

std::string LocateAdapter(const AdapterInfo& was, const SerialDirs& dirs) {
    std::error_code ec;
    // A server is looked for by connecting to it.
    if (IsNetworkPath(was.path)) return was.path;
    if (!was.byId.empty()) {
        const fs::path link = fs::path(dirs.byId) / was.byId;
        return fs::exists(link, ec) ? link.string() : std::string();
    }
    if (!was.usbSerial.empty()) {
        for (fs::directory_iterator it(dirs.sysTty, ec), end; !ec && it != end; it.increment(ec)) {
            const std::string leaf = it->path().filename().string();
            if (leaf.rfind("ttyUSB", 0) != 0 && leaf.rfind("ttyACM", 0) != 0) continue;
            AdapterInfo now;
            ReadUsb(dirs.dev + "/" + leaf, dirs, now);
            const std::string node = dirs.dev + "/" + leaf;
            if (now.usbSerial == was.usbSerial && now.vendorProduct == was.vendorProduct && fs::exists(node, ec))
                return node;
        }
        return {};
    }
    return fs::exists(was.path, ec) ? was.path : std::string();
}

std::string DescribePort(const PortMap& map, const std::string& name, const SerialDirs& dirs) {
    const std::string path = map.Resolve(name);
    if (path.empty()) return map.Describe(name);
    if (IsNetworkPath(path)) return map.Describe(name, path, NetworkKind(path));
    const AdapterInfo info = DescribeAdapter(path, dirs);
    return map.Describe(name, info.device.empty() ? path : info.device, info.byId.empty() ? info.byPath : info.byId);
}

std::string LatencyNote(const AdapterInfo& info) {
    if (info.latencyTimerMs <= 1) return {};
    const std::string ms = std::to_string(info.latencyTimerMs);
    const std::string leaf = fs::path(info.device).filename().string();
    return "The adapter's latency timer is " + ms + " ms: up to " + ms +
           " ms more on every exchange. To lower it (needs root): echo 1 | sudo tee "
           "/sys/bus/usb-serial/devices/" + leaf + "/latency_timer";
}

DeviceWatch::DeviceWatch(const std::vector<std::string>& folders) {
    fd_ = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (fd_ < 0) return;
    int watched = 0;
    for (const auto& folder : folders)
        if (::inotify_add_watch(fd_, folder.c_str(), IN_CREATE | IN_DELETE | IN_MOVED_TO | IN_ATTRIB) >= 0) ++watched;
    if (watched == 0) {
        ::close(fd_);
        fd_ = -1;
    }
}

DeviceWatch::~DeviceWatch() {
    if (fd_ >= 0) ::close(fd_);
}

bool DeviceWatch::Changed() {
    if (fd_ < 0) return true;
    bool any = false;
    alignas(inotify_event) char buf[4096];
    while (::read(fd_, buf, sizeof buf) > 0) any = true;
    return any;
}

}  // namespace tessary::link
