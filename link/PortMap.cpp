#include "link/PortMap.h"

#include "link/NetPort.h"

#include <algorithm>
#include <filesystem>
#include <system_error>
#include <tuple>

namespace tessary::link {

namespace {
bool IsComName(const std::string& name) {
    return std::find(kComPortNames.begin(), kComPortNames.end(), name) != kComPortNames.end();
}

// ttyUSB2 before ttyUSB10. The trailing digits compare as a number of any
// length (no conversion that could overflow): fewer significant digits first.
bool NaturalLess(const std::string& a, const std::string& b) {
    auto split = [](const std::string& s) {
        std::size_t i = s.size();
        while (i > 0 && s[i - 1] >= '0' && s[i - 1] <= '9') --i;
        std::size_t n = i;
        while (n + 1 < s.size() && s[n] == '0') ++n;
        return std::tuple{s.substr(0, i), s.size() - n, s.substr(n), s.size() - i};
    };
    return split(a) < split(b);
}
}  // namespace

void PortMap::SetFromCommandLine(const std::string& name, const std::string& path) { cli_[name] = path; }
void PortMap::SetFromIni(const std::string& name, const std::string& path) {
    if (!path.empty()) ini_[name] = path;
}
void PortMap::SetSystemDevices(const std::vector<std::string>& paths) {
    system_.clear();
    for (std::size_t i = 0; i < paths.size() && i < kComPortNames.size(); ++i) system_[kComPortNames[i]] = paths[i];
}

void PortMap::SetSystemDevice(const std::string& name, const std::string& path) { system_[name] = path; }

PortMap::Source PortMap::SourceOf(const std::string& name) const {
    if (cli_.count(name)) return Source::CommandLine;
    if (ini_.count(name)) return Source::IniFile;
    if (system_.count(name)) return Source::System;
    return Source::None;
}

std::string PortMap::Resolve(const std::string& name) const {
    for (const auto* layer : {&cli_, &ini_, &system_}) {
        auto it = layer->find(name);
        if (it != layer->end()) return it->second;
    }
    return {};
}

std::string PortMap::Describe(const std::string& name, const std::string& device,
                              const std::string& stableName) const {
    const std::string path = Resolve(name);
    if (path.empty()) return name + " = (no device)";
    static const char* const kFrom[] = {"", "command line", "INI file", "system"};
    const std::string from = kFrom[static_cast<int>(SourceOf(name))];
    if (stableName.empty() && (device.empty() || device == path)) return name + " = " + path + " (" + from + ")";
    const std::string shown = device.empty() ? path : device;
    return name + " = " + shown + (stableName.empty() ? "" : " (" + stableName + ")") + "; from the " + from +
           (shown == path ? "" : " as " + path);
}

std::vector<std::string> ListSerialDevices(const std::string& devDir) {
    namespace fs = std::filesystem;
    std::vector<std::string> usb;
    std::error_code ec;
    for (fs::directory_iterator it(devDir, ec), end; !ec && it != end; it.increment(ec)) {
        const std::string leaf = it->path().filename().string();
        if (leaf.rfind("ttyUSB", 0) == 0 || leaf.rfind("ttyACM", 0) == 0) usb.push_back(leaf);
    }
    std::sort(usb.begin(), usb.end(), NaturalLess);
    std::vector<std::string> out;
    for (const auto& leaf : usb) out.push_back(devDir + "/" + leaf);
    for (int i = 0; i < 4; ++i) {
        const std::string path = devDir + "/ttyS" + std::to_string(i);
        if (fs::exists(path, ec)) out.push_back(path);
    }
    return out;
}

std::string OpenRefusalNotice(const std::string& portName, const std::string& device, const PortStatus& status) {
    if (status.code == PortStatus::Code::PermissionDenied) return status.text;
    // A server that cannot be reached is no passing silence: it is said as a refusal is.
    if (IsNetworkPath(device) && !status.ok())
        return portName + " (" + device + ")" + (status.code == PortStatus::Code::Busy ? " is in use: " : ": ") + status.text;
    if (status.code != PortStatus::Code::Busy) return {};
    return portName + " (" + device + ") is in use by another program" +
           (status.owner.empty() ? std::string() : " (" + status.owner + ")");
}

bool ParsePortOption(const std::string& text, std::string& name, std::string& path) {
    const auto eq = text.find('=');
    if (eq == std::string::npos || eq + 1 >= text.size()) return false;
    name = text.substr(0, eq);
    path = text.substr(eq + 1);
    return IsComName(name);
}

}  // namespace tessary::link
