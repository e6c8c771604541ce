#include "app/Session.h"

#include "app/IniFile.h"
#include "app/private/AppState.h"
#include "app/ShownText.h"
#include "link/AdapterWatch.h"
#include "link/System.h"

#include <algorithm>
#include <cstdio>
#include <utility>

namespace tessary::app {

namespace {
constexpr const char* kSection = "Communication";
}

Session::Session(link::DeviceLink& link, link::PortMap& ports, Operator& op, Options options)
    : link_(link),
      ports_(ports),
      op_(op),
      options_(std::move(options)),
      defaultFolder_(DefaultCaptureFolder()),
      state_(std::make_unique<AppState>()) {
    state_->DefaultFolder = defaultFolder_;
}

Session::~Session() = default;

void Session::Reset() {
    state_->PanelPollStopped = true;
    state_->SinglePollStopped = true;
    state_->AddressTable[0].clear();
    for (std::size_t a = 1; a < state_->AddressTable.size(); ++a) state_->AddressTable[a] = kNoConnect;
    state_->CurrentAddress.clear();
    state_->TryIniFirst = true;
    state_->ConnectionFound = false;
    state_->IniConnectOk = false;
}

void Session::Open() {
    state_->CurrentAddress.clear();
    SelectIniFile();
    ReadIniFile();
    if (Stopping()) return;  // closed while the INI file's notice was up
    opening_ = true;
    PublishConnection();  // "Opening COM1…" while the open (a busy port's holder looked up) runs
    link_.OpenComPort();
    opening_ = false;
}

void Session::SelectIniFile() {
    state_->IniFilePath = options_.iniPath.empty() ? DefaultIniPath() : options_.iniPath;
}

void Session::ReadIniFile() {
    const IniFile ini = IniFile::Load(state_->IniFilePath);
    if (ini.From() == IniFile::Origin::Unreadable)
        op_.ShowMessageBox("The INI file " + ShownText(state_->IniFilePath) + " was not read (" + ini.Problem() +
                           "). The defaults are used, and the file will be left as it is.");
    // Out-of-range values are loaded as they are and never written back; a rate
    // that is no rate at all falls back like a value that is no number.
    const int baud = ini.ReadInteger(kSection, "BaudRate", 9600);
    link_.SetLinkBaudRate(static_cast<std::uint32_t>(baud > 0 ? baud : 9600));
    link_.SetLinkPortName(ini.ReadString(kSection, "ComPort", "COM1"));
    for (int k = 0; k < 4; ++k)
        state_->TransducerAddress[k] = ini.ReadString(kSection, "Addr" + std::to_string(k + 1), "");
    for (const char* name : link::kComPortNames) ports_.SetFromIni(name, ini.ReadString("Ports", name, ""));
}

bool Session::WriteIniFile() {
    IniFile ini = IniFile::Load(state_->IniFilePath);
    const std::string port = link_.LinkPortName();
    if (std::find(link::kComPortNames.begin(), link::kComPortNames.end(), port) != link::kComPortNames.end())
        ini.WriteString(kSection, "ComPort", port);
    const std::uint32_t baud = link_.LinkBaudRate();
    if (std::find(kBaudSearchOrder.begin(), kBaudSearchOrder.end(), baud) != kBaudSearchOrder.end())
        ini.WriteInteger(kSection, "BaudRate", static_cast<int>(baud));
    for (int k = 0; k < 4; ++k) ini.WriteString(kSection, "Addr" + std::to_string(k + 1), state_->TransducerAddress[k]);
    std::string reason;
    switch (ini.Save(state_->IniFilePath, &reason)) {
    case IniFile::SaveResult::Saved:
        return true;
    case IniFile::SaveResult::LeftAlone:
        // The operator's choice (a read-only file) or already told at start: a
        // line on the way out, not a dialog that holds the exit.
        if (ini.From() != IniFile::Origin::Unreadable)
            std::fprintf(stderr, "tessary: the INI file %s was left as it is: %s\n",
                         ShownText(state_->IniFilePath).c_str(), reason.c_str());
        return false;
    case IniFile::SaveResult::Failed:
        break;
    }
    op_.ShowMessageBox("Could not write the INI file " + ShownText(state_->IniFilePath) + ": " + reason);
    return false;
}

void Session::Close() {
    if (closed_) return;
    closed_ = true;
    RequestStop();
    if (state_->ConnectionFound) WriteIniFile();
    link_.ClosePort();
    StopLoops();
}

void Session::StopLoops() {
    state_->PanelPollStopped = true;
    state_->SinglePollStopped = true;
}

void Session::PublishConnection() {
    if (!connectionObserver_) return;
    connectionObserver_(CopyConnection());
    state_->CommandLineText.reset();
}

ConnectionCopy Session::CopyConnection() const {
    ConnectionCopy c;
    c.TransducerCaption = state_->TransducerCaption;
    c.TransducerAddress = state_->TransducerAddress;
    c.CapturePath = state_->CapturePath;
    c.CurrentAddress = state_->CurrentAddress;
    c.DeviceType = state_->DeviceType;
    c.Info = state_->Info;
    c.GateTime = state_->Info.GateTime;
    c.BaudRateValue = state_->BaudRateValue;
    c.ComPortValue = state_->ComPortValue;
    c.AddressValue = state_->AddressValue;
    c.DataPrecisionValue = state_->DataPrecisionValue;
    c.DataPrecision = state_->DataPrecision;
    c.GetReadingsLabel = state_->GetReadingsLabel;
    c.EZGetReadingsLabel = state_->EZGetReadingsLabel;
    c.IniFilePath = state_->IniFilePath;
    c.TryIniFirst = state_->TryIniFirst;
    c.CommandLineText = state_->CommandLineText;
    c.PortOpening = opening_;
    c.PortName = link_.LinkPortName();
    c.BaudRate = link_.LinkBaudRate();
    c.PortOpen = link_.IsOpen();
    const link::PortStatus status = link_.LastOpenStatus();
    c.PortRefusal = link::OpenRefusalNotice(c.PortName, link_.DevicePath(), status);
    if (!c.PortOpen) c.PortNotOpenText = c.PortRefusal.empty() ? status.text : c.PortRefusal;
    c.PortDescription = link::DescribePort(ports_, c.PortName);
    if (c.PortOpen) c.PortNote = link::LatencyNote(link::DescribeAdapter(link_.DevicePath()));
    return c;
}

link::Reply Session::ConsoleCommand(const std::string& text) {
    state_->CommandText = text + "\r\n";
    return link_.Exchange(state_->CommandText);
}

std::string VersionDateText(const std::string& formattedDateTime) {
    const auto blank = formattedDateTime.find(' ');
    if (blank == std::string::npos) return {};
    return formattedDateTime.substr(0, blank + 1);
}

std::string FormatFileDateTime(std::time_t t) {
    const std::tm tm = link::LocalTime(t);
    char buf[64];
    const bool midnight = tm.tm_hour == 0 && tm.tm_min == 0 && tm.tm_sec == 0;
    const std::size_t n = std::strftime(buf, sizeof buf, midnight ? "%x" : "%x %X", &tm);
    return std::string(buf, n);
}

}  // namespace tessary::app
