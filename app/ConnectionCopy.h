#pragma once
// What the window may see of the connection: the constants, and the copy the
// line thread publishes after each job. The state itself is the line's own
// (app/private/AppState.h), out of the window's reach.

#include "link/DeviceLink.h"

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace tessary::app {

inline constexpr std::array<std::uint32_t, 9> kBaudSearchOrder = {9600, 1200, 57600, 2400, 4800,
                                                                  14400, 19200, 38400, 115200};
using link::kNoConnect;

// What the information read-out and the settings last showed. Later flows
// read these back (gate time, log rate, serial number); labels mirror them.
struct InfoValues {
    std::string ModelNumber, FPGA, KestinDisplay, SerialNumber, FirmwareVersion, GateTime;
    std::string PressUnits, TempUnits, ClockTime;
    std::string InitLog, LogRate, LogStart, LogStop;
    std::string PUnits, TUnits;                      // single-device panel
    std::array<std::string, 4> PanelPUnits{}, PanelTUnits{};  // Readings panels 1..4
    // Grow by eight per read-out; never emptied (the selectors address items by position).
    std::vector<std::string> PressUnitItems, TempUnitItems;
    int KestinSelection = -1;  // item of KestinComboBox, -1: none
    // Rows of the information panel: both shown until the family is known.
    bool FpgaRowVisible = true;
    bool KestinRowVisible = true;
    bool KestinButtonVisible = true;
    // Bumped each time a read-out fixes DeviceType, so the Coefficients page
    // rearranges itself only then (its own buttons change it in between).
    unsigned DeviceTypeSerial = 0;
};

// A slot that holds a box: neither empty (no search yet) nor "NoConnect".
inline bool SlotFilled(const std::string& caption) { return !caption.empty() && caption != kNoConnect; }

// What the window shows of the connection and the port, copied by the line
// thread (the state's owner) after each job and whenever a flow shows its
// state. The window draws from the latest copy and never reads the state.
struct ConnectionCopy {
    std::array<std::string, 4> TransducerCaption{};
    std::array<std::string, 4> TransducerAddress{};
    std::array<std::string, 4> CapturePath{};
    std::string CurrentAddress;
    std::string DeviceType;
    InfoValues Info;
    std::string GateTime;  // the gate time last shown (Info's, for the capture)
    std::string BaudRateValue, ComPortValue, AddressValue, DataPrecisionValue;  // the Serial panel
    int DataPrecision = 3;
    std::string GetReadingsLabel = "Get Readings ->", EZGetReadingsLabel = "Get Readings ->";
    std::string IniFilePath;
    bool TryIniFirst = true;  // the connect dialog's next showing tries the INI file's addresses
    // The console's command line is set to this once (the copy that carries it).
    std::optional<std::string> CommandLineText;
    std::string PortName;
    std::uint32_t BaudRate = 9600;
    bool PortOpening = false;     // the start-up's open is under way
    bool PortOpen = false;
    std::string PortNotOpenText;  // why not, when it is not open
    std::string PortRefusal;      // the notice for a busy or forbidden port, else empty
    std::string PortDescription;  // the device and where the mapping came from
    std::string PortNote;         // about the open adapter (its latency), else empty
};

}  // namespace tessary::app
