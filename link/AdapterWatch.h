#pragma once
// Serial adapters as the system names them: the stable names udev gives them
// (/dev/serial/by-id, /dev/serial/by-path), their USB identity from sysfs,
// and a cheap watch for an unplugged adapter's return. One implementation per
// platform (AdapterWatchLinux.cpp; AdapterWatchNone.cpp where the system has
// none of this).
//
// Threading: the free functions only read the file system. A DeviceWatch
// belongs to the thread that made it.

#include "link/PortMap.h"

#include <chrono>
#include <string>
#include <vector>

namespace tessary::link {

// Where the system shows its serial devices; tests point these at folders of their own.
struct SerialDirs {
    std::string dev = "/dev";
    std::string byId = "/dev/serial/by-id";
    std::string byPath = "/dev/serial/by-path";
    std::string sysTty = "/sys/class/tty";
};

// What the system says of the device a path leads to. Empty fields: not known.
struct AdapterInfo {
    std::string path;           // as given (a by-id link stays a link here)
    std::string device;         // the node it leads to now, "/dev/ttyUSB0"
    std::string byId, byPath;   // the leaf names of the stable links that lead to it
    std::string vendorProduct;  // USB "0403:6001"
    std::string usbSerial;      // USB "A1B2C3"
    std::string product;        // "FTDI FT232R USB UART"
    int latencyTimerMs = -1;    // FTDI's latency_timer; -1 when the driver has none
};
AdapterInfo DescribeAdapter(const std::string& path, const SerialDirs& dirs = {});

// Where the adapter `was` describes is now: its by-id name, else a device with
// its USB serial, else its own path when it has neither. Empty while it is
// not there. The path returned is the one to open.
std::string LocateAdapter(const AdapterInfo& was, const SerialDirs& dirs = {});

// "COM1 = /dev/ttyUSB0 (usb-FTDI_FT232R_USB_UART_A1B2C3-if00-port0); from the system":
// the port map's line with the device the mapping leads to and its stable name.
std::string DescribePort(const PortMap& map, const std::string& name, const SerialDirs& dirs = {});

// "; the adapter adds up to 16 ms to every exchange (latency_timer 16 ms; ...)":
// the tooltip's note for an FTDI adapter whose latency timer is above 1 ms; empty otherwise.
std::string LatencyNote(const AdapterInfo& info);

// Notices changes in the folders where an adapter's node and links appear
// (inotify); never blocks. Where the system cannot watch, Changed() is true
// every time, and the caller's own pacing makes it a poll.
class DeviceWatch {
public:
    explicit DeviceWatch(const std::vector<std::string>& folders);
    ~DeviceWatch();
    DeviceWatch(const DeviceWatch&) = delete;
    DeviceWatch& operator=(const DeviceWatch&) = delete;
    // True when something was created, removed or changed since the last call.
    bool Changed();

private:
    int fd_ = -1;
};

}  // namespace tessary::link
