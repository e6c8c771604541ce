#include "app/Connect.h"

#include "app/ShownText.h"
#include "app/private/AppState.h"
#include "link/Files.h"

#include <algorithm>
#include <chrono>

namespace tessary::app {

namespace {
// The search's own time-outs, given to each exchange: the link's setting is the
// operator's and stays as it is.
constexpr std::chrono::milliseconds kProbeTimeout{500}, kScanTimeout{200}, kIniTimeout{500};

// The search's answer: noise (bytes outside printable ASCII) counts as none, so
// a box heard at the wrong rate does not stop the search at that rate.
std::string SearchAnswer(link::DeviceLink& link, const std::string& command, std::chrono::milliseconds timeout) {
    const link::Reply reply = link.Exchange(command, {timeout});
    return reply.outcome == link::ExchangeOutcome::Garbled ? std::string(kNoConnect) : reply.text;
}
}  // namespace

std::string AddressText(int address) {
    if (address < 1 || address > 99) return {};
    return (address < 10 ? "#0" : "#") + std::to_string(address);
}

std::optional<int> AddressNumber(const std::string& text) {
    if (text.size() != 3 || text[0] != '#') return std::nullopt;
    if (text[1] < '0' || text[1] > '9' || text[2] < '0' || text[2] > '9') return std::nullopt;
    return (text[1] - '0') * 10 + (text[2] - '0');
}

void AssignTransducerSlots(AppState& st) {
    for (auto& c : st.TransducerCaption) c = kNoConnect;
    std::size_t slot = 0;
    for (int a = 1; a <= 99 && slot < st.TransducerCaption.size(); ++a) {
        if (st.AddressTable[a] == kNoConnect) continue;
        st.TransducerCaption[slot] = AddressText(a) + "    " + st.AddressTable[a];
        st.TransducerAddress[slot] = st.TransducerCaption[slot].substr(0, 3);
        ++slot;
    }
    // Slots after the last box keep the address they had (the INI file's).
}

void NameCaptureFiles(AppState& st) {
    for (std::size_t k = 0; k < st.CapturePath.size(); ++k) {
        const std::string& caption = st.TransducerCaption[k];
        // The box's text never chooses the folder: it is made a safe name.
        const std::string id = caption.size() > 7 ? link::FileNamePart(caption.substr(7)) : std::string();
        st.CapturePath[k] = st.DefaultFolder + id + ".txt";
    }
}

void Connector::ResetTables() {
    auto& st = s_.State();
    for (auto& c : st.TransducerCaption) c = kNoConnect;
    for (std::size_t a = 1; a < st.AddressTable.size(); ++a) st.AddressTable[a] = kNoConnect;
}

void Connector::BeginNewConnect() {
    aborted_ = s_.Stopping();
    ResetTables();
}

bool Connector::OpenPort() {
    s_.Op().ProcessEvents();
    return !Aborted() && s_.Link().OpenComPort();
}

void Connector::ReadOut() {
    s_.Op().ProcessEvents();
    if (!Aborted()) s_.ReadDeviceInfo();
}

void Connector::FinishNewConnect() {
    AssignTransducerSlots(s_.State());
    ReadOut();
    NameCaptureFiles(s_.State());
}

void Connector::StepProgress() {
    ++progressDone_;
    view_.ShowProgress(std::min(progressDone_, progressTotal_), progressTotal_);
}

void Connector::ShowFound() {
    auto& st = s_.State();
    st.BaudRateValue = std::to_string(s_.Link().LinkBaudRate());
    st.ComPortValue = s_.Link().LinkPortName();
    st.ConnectionFound = true;
}

bool Connector::ProbePortBaud() {
    auto& link = s_.Link();
    view_.ShowProbe(link.LinkPortName(), link.LinkBaudRate());
    bool answered = false;
    for (int a = 1; a < 99; a += 3) {
        s_.Op().ProcessEvents();
        if (Aborted()) return false;
        const std::string address = AddressText(a);
        view_.ShowProbeAddress(address);
        s_.State().ReplyText = SearchAnswer(link, address + "VER\r\n", kProbeTimeout);
        StepProgress();
        if (s_.State().ReplyText != kNoConnect) {
            answered = true;
            break;
        }
    }
    view_.HideProbe();
    return answered;
}

void Connector::SearchForBox() {
    auto& link = s_.Link();
    auto& st = s_.State();
    ResetTables();
    notAskedFrom_ = 0;
    // One probe here, then at most every other rate on each of the four ports.
    progressDone_ = 0;
    progressTotal_ = kProbeAddresses * (1 + static_cast<int>(link::kComPortNames.size()) *
                                                (static_cast<int>(kBaudSearchOrder.size()) - 1));
    view_.ShowProgress(0, progressTotal_);

    OpenPort();
    bool found = ProbePortBaud();
    std::vector<std::string> fixedRates;  // said when nothing is found: the rates not tried there
    if (found) {
        ShowFound();
    } else {
        progressDone_ = kProbeAddresses;
        const std::uint32_t startRate = link.LinkBaudRate();
        const std::string startPort = link.LinkPortName();
        for (std::size_t p = 0; p < link::kComPortNames.size() && !found; ++p) {
            const int portBase = kProbeAddresses * (1 + static_cast<int>(p) * (static_cast<int>(kBaudSearchOrder.size()) - 1));
            link.SetLinkPortName(link::kComPortNames[p]);
            if (!OpenPort()) continue;
            // Every other rate is skipped on a line whose rate the server fixes.
            if (!link.CanChangeRate()) {
                fixedRates.push_back(std::string(link::kComPortNames[p]) + " (" + link.DevicePath() +
                                     ") keeps the rate its server sets: only " + std::to_string(startRate) +
                                     " baud was tried there");
                link.SetLinkBaudRate(startRate);
                progressDone_ = portBase;
                if (link.LinkPortName() != startPort && ProbePortBaud()) {
                    ShowFound();
                    found = true;
                }
                continue;
            }
            int step = 0;
            for (std::uint32_t rate : kBaudSearchOrder) {
                link.SetLinkBaudRate(rate);
                if (rate == startRate) continue;
                progressDone_ = portBase + kProbeAddresses * step++;
                for (const auto& text : link.ApplyBaudRate().failures) s_.Op().ShowMessageBox(text);
                if (ProbePortBaud()) {
                    ShowFound();
                    found = true;
                    break;
                }
            }
        }
    }
    view_.ShowProgress(progressTotal_, progressTotal_);

    if (!st.ConnectionFound) {
        st.BaudRateValue.clear();
        st.ComPortValue.clear();
        link.SetLinkPortName("COM1");
        link.SetLinkBaudRate(9600);
        for (const auto& text : fixedRates) s_.Op().ShowMessageBox(text);
        s_.Op().ShowMessageBox("  Sorry.  Can not find device.");
        return;
    }
    ScanAddresses();
}

void Connector::ScanAddresses() {
    auto& link = s_.Link();
    auto& st = s_.State();
    st.CurrentAddress.clear();
    notAskedFrom_ = 0;
    int count = 0;
    for (int a = 1; a <= 99; ++a) {
        s_.Op().ProcessEvents();
        // Abort leads from scanning to done, as it does from probing.
        if (Aborted()) break;
        const std::string address = AddressText(a);
        view_.ShowScanAddress(address);
        const link::Reply reply = link.Exchange(address + "ID\r\n", {kScanTimeout});
        if (reply.outcome == link::ExchangeOutcome::HangUp || reply.outcome == link::ExchangeOutcome::NotOpen) {
            // The boxes not asked are not absent: the result must not pass for a whole one.
            notAskedFrom_ = a;
            s_.Op().ShowMessageBox("The search stopped at " + address + ": the adapter was unplugged. " +
                                   (a == 99 ? "#99 was" : address + " to #99 were") +
                                   " not asked; search again once it is back.");
            break;
        }
        st.AddressTable[a] = reply.outcome == link::ExchangeOutcome::Garbled ? std::string(kNoConnect) : reply.text;
        view_.ShowProgress(a, 99);
        if (st.AddressTable[a] == kNoConnect) continue;
        ++count;
        if (count == 1) st.CurrentAddress = address;
        bool last = count == 4;
        if (!st.TryIniFirst &&
            view_.AskStopSearching(std::to_string(link.LinkBaudRate()) + " BR", link.LinkPortName(), address)) {
            last = true;
            view_.HideConnectDialog();
        }
        if (last) break;
    }
    AssignTransducerSlots(st);
    ReadOut();
    NameCaptureFiles(st);
}

bool Connector::ConnectFromIni() {
    auto& link = s_.Link();
    auto& st = s_.State();
    ResetTables();
    if (!OpenPort()) {
        // Another program's port or a forbidden one is said once, before the addresses fail.
        const std::string refusal = link::OpenRefusalNotice(link.LinkPortName(), link.DevicePath(), link.LastOpenStatus());
        if (!refusal.empty()) s_.Op().ShowMessageBox(refusal);
    }
    for (std::size_t k = 0; k < st.TransducerAddress.size(); ++k) {
        if (s_.Stopping()) break;
        const std::string address = st.TransducerAddress[k];
        if (address.empty()) continue;
        const int n = AddressNumber(address).value_or(0);
        // An address that is not #01..#99 is not asked: #00 would "answer" as a
        // broadcast, and anything else has no place in the table.
        if (n != 0) st.ReplyText = link.Exchange(address + "ID\r\n", {kIniTimeout}).text;
        if (n != 0 && st.ReplyText != kNoConnect) {
            if (!st.ConnectionFound) {
                st.ConnectionFound = true;
                st.BaudRateValue = std::to_string(link.LinkBaudRate());
                st.ComPortValue = link.LinkPortName();
                st.AddressValue = address;
                st.CurrentAddress = address;
            }
            st.IniConnectOk = true;
            st.AddressTable[n] = link.Exchange(address + "ID\r\n", {kIniTimeout}).text;
        } else {
            s_.Op().ShowMessageBox("Could not to connect with parameters found in INI file " + ShownText(address) + ", " +
                                   std::to_string(link.LinkBaudRate()) + ", " + ShownText(link.LinkPortName()));
            st.TransducerAddress[k].clear();
        }
    }
    if (s_.Stopping()) return st.ConnectionFound;
    if (st.ConnectionFound) {
        AssignTransducerSlots(st);
        ReadOut();
        NameCaptureFiles(st);
    } else {
        s_.Op().ShowMessageBox("Can't connect using INI paramaters");
    }
    st.TryIniFirst = false;
    return st.ConnectionFound;
}

}  // namespace tessary::app
