#pragma once
// The connection state: one struct, owned by the main window, passed by reference.

#include <array>
#include <cstdint>
#include <string>

namespace tessary::app {

inline constexpr std::array<std::uint32_t, 9> kBaudSearchOrder = {9600, 1200, 57600, 2400, 4800,
                                                                  14400, 19200, 38400, 115200};
inline constexpr const char* kNoConnect = "NoConnect";

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

    // Values the Serial panel's labels mirror (lbBaudRateValue, lbComPortValue,
    // lbAddressValue); set by the connect flows and the serial settings.
    std::string BaudRateValue;
    std::string ComPortValue;
    std::string AddressValue;
};

}  // namespace tessary::app
