#pragma once
// The connection state: one struct, owned by the main window, passed by reference.

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

struct AppState {
    std::string IniFilePath;
    std::string DefaultFolder;
    std::array<std::string, 100> AddressTable{};      // index = bus address
    std::array<std::string, 4> TransducerCaption{};   // slots 1..4 at 0..3
    std::array<std::string, 4> TransducerAddress{};
    std::string CurrentAddress;
    std::string DeviceType;
    std::string CommandText;
    std::string ReplyText;
    std::string LogStartText = "START";
    int DataPrecision = 3;
    bool TryIniFirst = true;
    bool ConnectionFound = false;
    bool IniConnectOk = false;
    bool PanelPollStopped = true;
    bool SinglePollStopped = true;
    // Captions of lbGetReadings / lbEZGetReadings beside the loops' switches.
    std::string GetReadingsLabel = "Get Readings ->";
    std::string EZGetReadingsLabel = "Get Readings ->";

    // Values the Serial panel's labels mirror (lbBaudRateValue, lbComPortValue,
    // lbAddressValue); set by the connect flows and the serial settings.
    std::string BaudRateValue;
    // Proposed per-transducer capture files (edPath1..edPath4).
    std::array<std::string, 4> CapturePath{};
    std::string ComPortValue;
    std::string AddressValue;
    std::string DataPrecisionValue;  // lbDataPrecisionValue

    // What the information read-out and the settings last showed. Later flows
    // read these back (gate time, log rate, serial number); labels mirror them.
    struct DeviceInfo {
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
    } Info;

    // Text the console's command line is to show; consumed by the window.
    std::optional<std::string> CommandLineText;
};

// A slot that holds a box: neither empty (no search yet) nor "NoConnect".
inline bool SlotFilled(const std::string& caption) { return !caption.empty() && caption != kNoConnect; }

// What the window shows of the connection and the port, copied by the thread
// that owns the state (the line thread while an operation runs), so the
// window never reads the state while that thread writes it.
struct ConnectionCopy {
    std::array<std::string, 4> TransducerCaption{};
    std::array<std::string, 4> TransducerAddress{};
    std::array<std::string, 4> CapturePath{};
    std::string CurrentAddress;
    std::string GateTime;  // the gate time last shown
    std::string PortName;
    std::uint32_t BaudRate = 9600;
    bool PortOpen = false;
    std::string PortNotOpenText;  // why not, when it is not open
    std::string PortRefusal;      // the notice for a busy or forbidden port, else empty
    std::string PortDescription;  // the device and where the mapping came from
    std::string PortNote;         // about the open adapter (its latency), else empty
};

}  // namespace tessary::app
