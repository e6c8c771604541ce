#pragma once
// The program shows and stores "COM1".."COM4"; this map turns each name into a
// device path or a network line (link/NetPort.h). Precedence: command line, then
// the INI file's [Ports] section, then the serial devices the system has (USB
// adapters first, then ttyS0..3).

#include "link/Port.h"

#include <array>
#include <map>
#include <string>
#include <vector>

namespace tessary::link {

inline constexpr std::array<const char*, 4> kComPortNames = {"COM1", "COM2", "COM3", "COM4"};

class PortMap {
public:
    enum class Source { None, CommandLine, IniFile, System };

    void SetFromCommandLine(const std::string& name, const std::string& path);
    void SetFromIni(const std::string& name, const std::string& path);
    void SetSystemDevices(const std::vector<std::string>& paths);  // COM1 = paths[0], ...
    void SetSystemDevice(const std::string& name, const std::string& path);  // Windows: COMn is itself

    std::string Resolve(const std::string& name) const;  // empty when unmapped
    Source SourceOf(const std::string& name) const;
    // "COM1 = /dev/ttyUSB0 (system)", for tooltips and --help. With the device
    // the mapping leads to (a by-id path leads to a node) and its stable name:
    // "COM1 = /dev/ttyUSB0 (usb-FTDI_FT232R_USB_UART_A1B2C3-if00-port0); from the system".
    std::string Describe(const std::string& name, const std::string& device = {},
                         const std::string& stableName = {}) const;

private:
    std::map<std::string, std::string> cli_, ini_, system_;
};

// USB adapters (ttyUSB*, ttyACM*) in natural order, then ttyS0..ttyS3, all
// under `devDir`; only paths that exist.
std::vector<std::string> ListSerialDevices(const std::string& devDir = "/dev");

// The operator's notice for a port that another program holds or the system
// refuses: "COM1 (/dev/ttyUSB0) is in use by another program (pid 1234, minicom)",
// or the permission text with its fix. Empty for any other outcome.
std::string OpenRefusalNotice(const std::string& portName, const std::string& device, const PortStatus& status);

// "COM1=/dev/pts/3" -> name and path; false when it is not of that form or the
// name is not COM1..COM4.
bool ParsePortOption(const std::string& text, std::string& name, std::string& path);

}  // namespace tessary::link
