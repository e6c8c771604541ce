#pragma once
// What the line needs from the operating system besides the files: its port
// and its list of serial ports; and the local time, for everyone. One file per
// platform: SystemLinux.cpp and SystemWin32.cpp.

#include "link/Port.h"
#include "link/PortMap.h"

#include <ctime>
#include <memory>
#include <string>
#include <vector>

namespace tessary::link {

// PosixPort on Linux, Win32Port on Windows; NetPort for a line on the network.
std::unique_ptr<Port> MakeSystemPort();

// The machine's serial ports into the map's system layer. Linux has no COM
// names: its devices (USB adapters first, under `devDir`) become COM1 to COM4
// in order. Windows names its own ports, so COMn is \\.\COMn when the system
// lists it.
void MapSystemPorts(PortMap& map, const std::string& devDir);

// Every serial port the system lists, with a name for people where it has one
// ("USB Serial Port (COM3)" from SetupAPI). Linux lists its devices as above
// and leaves `description` to the caller, which reads sysfs.
struct SystemSerialPort {
    std::string name;  // "COM3", or the device path on Linux
    std::string path;  // what Port::open takes
    std::string description;
};
std::vector<SystemSerialPort> ListSystemSerialPorts(const std::string& devDir);

// `t` in the system's time zone. The one conversion: the platforms' own
// thread-safe calls differ.
std::tm LocalTime(std::time_t t);
// Whether a port is there at `path` (the watch's look for a returned adapter).
// Windows opens it to see: a COM port is no file to the file system.
bool PortPresent(const std::string& path);

}  // namespace tessary::link
