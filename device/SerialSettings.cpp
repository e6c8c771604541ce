#include "device/SerialSettings.h"

#include "app/Connect.h"
#include "app/Session.h"
#include "app/private/AppState.h"
#include "device/DeviceInfo.h"
#include "device/Settings.h"

#include <algorithm>
#include <charconv>

namespace tessary::device {

int BaudRateItemIndex(std::uint32_t baud) {
    const std::string text = std::to_string(baud);
    for (std::size_t i = 0; i < kBaudRateItems.size(); ++i)
        if (text == kBaudRateItems[i]) return static_cast<int>(i);
    return -1;
}

int ComPortItemIndex(const std::string& port) {
    for (std::size_t i = 0; i < kComPortItems.size(); ++i)
        if (port == kComPortItems[i]) return static_cast<int>(i);
    return -1;
}

std::string BeginPortNameChange(app::Session& session) {
    return session.State().ComPortValue = session.Link().LinkPortName();
}

bool BeginBaudRateChange(app::Session& session) {
    auto& st = session.State();
    if (st.CurrentAddress == "#00") {
        session.Op().ShowMessageBox("Please select an address first.");
        return false;
    }
    st.BaudRateValue = std::to_string(session.Link().LinkBaudRate());
    return true;
}

void ChangeBaudRate(app::Session& session, SettingsView& view, const std::string& item) {
    auto& st = session.State();
    auto& link = session.Link();
    std::uint32_t rate = 0;
    const auto [end, ec] = std::from_chars(item.data(), item.data() + item.size(), rate);
    const bool number = ec == std::errc() && end == item.data() + item.size() && rate > 0;
    // Shown once the link is free again.
    auto apply = [&session, &link] {
        const link::BaudRateChange change = link.ApplyBaudRate();
        for (const auto& text : change.failures) session.Op().ShowMessageBox(text);
        return change.applied;
    };
    if (number && rate != link.LinkBaudRate()) {
        link.SetLinkBaudRate(rate);
        if (st.CurrentAddress.empty()) {
            apply();
        } else {
            st.ReplyText = QueryBox(session, "BR=" + item);
            // Without the exact echo the box may still be at the old rate: the
            // PC stays there too, so the operator can still reach it.
            if (st.ReplyText == item && apply()) AskMakePermanent(session, view);
        }
    }
    st.BaudRateValue = item;
}

void ChangePortName(app::Session& session, const std::string& item) {
    session.Link().SetLinkPortName(item);
    session.State().ComPortValue = item;
}

void ChangeAddress(app::Session& session, SettingsView& view) {
    auto& st = session.State();
    if (st.CurrentAddress.empty()) st.CurrentAddress = "#01";
    const auto n = app::AddressNumber(st.CurrentAddress);
    const auto choice = view.AskAddress(n && *n <= 96 ? *n : -1);
    if (!choice) return;
    switch (choice->change) {
    case 0:
        DisplayOtherDevice(session, choice->address);
        break;
    case 1:
        ChangeDeviceAddress(session, view, choice->address, choice->permanent);
        break;
    case 2:
        // Only remembered: written as Addr1 at shutdown, tried at the next start.
        st.AddressValue = choice->address;
        st.TransducerAddress[0] = choice->address;
        break;
    default:
        break;
    }
}

void DisplayOtherDevice(app::Session& session, const std::string& address) {
    auto& st = session.State();
    const auto n = app::AddressNumber(address);
    if (!n) return;
    if (*n != 0 && st.AddressTable[static_cast<std::size_t>(*n)] == app::kNoConnect) {
        session.Op().ShowMessageBox("Sorry.  No device at that address.");
        return;
    }
    st.CurrentAddress = address;
    st.AddressValue = address;
    session.Op().ShowState();  // the new address shows before the read-out blocks the window
    ReadDeviceInfo(session);
}

void ChangeDeviceAddress(app::Session& session, SettingsView& view, const std::string& address, bool permanent) {
    auto& st = session.State();
    if (address == "#00") {
        session.Op().ShowMessageBox("Sorry.  You can not change the address to #00");
        return;
    }
    if (address.size() < 3) return;
    const std::string answer = QueryBox(session, "AD=" + address.substr(1, 2));
    st.AddressValue = "#" + answer;
    st.CurrentAddress = address;  // the box moved if it heard us; a silent box shows "#NoConnect"
    if (permanent) CommitToEeprom(session);
    if (st.DeviceType == kDigital)
        view.ShowNewConnectDlg();
    else
        app::AssignTransducerSlots(st);
}

}  // namespace tessary::device
