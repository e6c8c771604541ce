#pragma once
// The connection state: the line thread's own. Its header is on the include
// path of the work layers only (see tessary_layer), so the window cannot read
// or change it; it draws from the ConnectionCopy the line publishes.

#include "app/ConnectionCopy.h"

#include <array>
#include <optional>
#include <string>

namespace tessary::app {

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

    InfoValues Info;

    // Text the console's command line is to show; consumed by the window.
    std::optional<std::string> CommandLineText;
};

}  // namespace tessary::app
