#include "link/System.h"

#include "link/NetPort.h"
#include "link/Win32Port.h"
#include "link/Win32Text.h"

#include <windows.h>
// After windows.h: these need its types.
#include <devguid.h>
#include <setupapi.h>

#include <algorithm>
#include <map>

namespace tessary::link {
namespace {

// 3 for "COM3"; 0 for anything else.
unsigned ComNumber(const std::string& name) {
    if (name.size() < 4 || name.size() > 6 || name.compare(0, 3, "COM") != 0) return 0;
    unsigned n = 0;
    for (std::size_t i = 3; i < name.size(); ++i) {
        if (name[i] < '0' || name[i] > '9') return 0;
        n = n * 10 + static_cast<unsigned>(name[i] - '0');
    }
    return n >= 1 && n <= 256 ? n : 0;
}

std::wstring RegistryText(HKEY key, const wchar_t* value) {
    wchar_t text[256]{};
    DWORD type = 0, size = sizeof text - sizeof(wchar_t);
    if (::RegQueryValueExW(key, value, nullptr, &type, reinterpret_cast<BYTE*>(text), &size) != ERROR_SUCCESS ||
        type != REG_SZ)
        return {};
    return text;
}

// The ports' names for people, by COM name, from the Ports class of SetupAPI;
// a port it does not know (a virtual one) simply has none.
std::map<std::string, std::string> FriendlyNames() {
    std::map<std::string, std::string> names;
    const HDEVINFO set = ::SetupDiGetClassDevsW(&GUID_DEVCLASS_PORTS, nullptr, nullptr, DIGCF_PRESENT);
    if (set == INVALID_HANDLE_VALUE) return names;
    SP_DEVINFO_DATA device{};
    device.cbSize = sizeof device;
    for (DWORD i = 0; i < 1024 && ::SetupDiEnumDeviceInfo(set, i, &device); ++i) {
        const HKEY key = ::SetupDiOpenDevRegKey(set, &device, DICS_FLAG_GLOBAL, 0, DIREG_DEV, KEY_READ);
        if (key == INVALID_HANDLE_VALUE) continue;
        const std::string port = Narrow(RegistryText(key, L"PortName"));
        ::RegCloseKey(key);
        wchar_t text[256]{};
        DWORD type = 0;
        if (!ComNumber(port) ||
            !::SetupDiGetDeviceRegistryPropertyW(set, &device, SPDRP_FRIENDLYNAME, &type, reinterpret_cast<BYTE*>(text),
                                                 sizeof text - sizeof(wchar_t), nullptr))
            continue;
        names[port] = Narrow(text);
    }
    ::SetupDiDestroyDeviceInfoList(set);
    return names;
}

}  // namespace

std::unique_ptr<Port> MakeSystemPort() { return std::make_unique<AnyPort>(std::make_unique<Win32Port>()); }

std::vector<SystemSerialPort> ListSystemSerialPorts(const std::string&) {
    std::vector<SystemSerialPort> out;
    HKEY key = nullptr;
    if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"HARDWARE\\DEVICEMAP\\SERIALCOMM", 0, KEY_READ, &key) != ERROR_SUCCESS)
        return out;
    // Each value is one port: its name is the driver's, its data "COM3".
    for (DWORD i = 0; i < 4096; ++i) {
        wchar_t value[256]{};
        wchar_t data[64]{};
        DWORD valueSize = 255, dataSize = sizeof data - sizeof(wchar_t), type = 0;
        const LONG r = ::RegEnumValueW(key, i, value, &valueSize, nullptr, &type, reinterpret_cast<BYTE*>(data),
                                       &dataSize);
        if (r == ERROR_NO_MORE_ITEMS) break;
        if (r != ERROR_SUCCESS || type != REG_SZ) continue;
        const std::string name = Narrow(data);
        if (ComNumber(name)) out.push_back({name, "\\\\.\\" + name, {}});
    }
    ::RegCloseKey(key);
    std::sort(out.begin(), out.end(), [](const auto& a, const auto& b) { return ComNumber(a.name) < ComNumber(b.name); });
    out.erase(std::unique(out.begin(), out.end(), [](const auto& a, const auto& b) { return a.name == b.name; }),
              out.end());
    const auto names = FriendlyNames();
    for (auto& port : out)
        if (auto it = names.find(port.name); it != names.end()) port.description = it->second;
    return out;
}

void MapSystemPorts(PortMap& map, const std::string& devDir) {
    for (const auto& port : ListSystemSerialPorts(devDir))
        if (ComNumber(port.name) <= kComPortNames.size()) map.SetSystemDevice(port.name, port.path);
}

std::tm LocalTime(std::time_t t) {
    std::tm local{};
    ::localtime_s(&local, &t);
    return local;
}

}  // namespace tessary::link
