#include "device/DeviceInfo.h"
#include "device/DeviceTime.h"
#include "device/SerialSettings.h"
#include "device/Settings.h"
#include "testkit/DeviceFixture.h"

#include <gtest/gtest.h>

using namespace tessary;
using Strings = std::vector<std::string>;

namespace {

using SettingsTest = testkit::DeviceFixture;

TEST_F(SettingsTest, EepromCommitReportsAnythingButZero) {
    box["EW"] = "0";
    device::CommitToEeprom(*s);
    box["EW"] = "3";
    device::CommitToEeprom(*s);
    box.erase("EW");
    device::CommitToEeprom(*s);
    EXPECT_EQ(op.messages, (Strings{"Bravik Reported error 3 when writing to the EEprom.",
                                    "Bravik Reported error NoConnect when writing to the EEprom."}));
    EXPECT_EQ(st().ReplyText, "NoConnect");

    op.messages.clear();
    st().CurrentAddress = "#00";
    device::CommitToEeprom(*s);
    EXPECT_EQ(Sent(), (Strings{"#01EW", "#01EW", "#01EW", "#00EW"}));
    EXPECT_TRUE(op.messages.empty());
}

TEST_F(SettingsTest, GateTimeSetsTheBoxCommitsAndFollowsTheTimeout) {
    box.insert({{"GA=0.5", "0.5"}, {"GA=2", "2"}, {"EW", "0"}});
    info().GateTime = "1";
    // Sent as typed, no range test; the box's "NoConnect" is shown and still committed.
    const std::tuple<const char*, bool, Strings, const char*, std::uint32_t> rows[] = {
        {"0.5", true, {"#01GA=0.5", "#01EW"}, "0.5", 1000}, {"2", false, {"#01GA=2"}, "2", 3000},
        {"abc", true, {"#01GA=abc", "#01EW"}, "NoConnect", 1000}};
    for (const auto& [typed, commit, sent, shown, timeout] : rows) {
        view.gateTime = device::GateTimeChoice{typed, commit};
        device::ChangeGateTime(*s, view);
        EXPECT_EQ(Sent(), sent) << typed;
        EXPECT_EQ(info().GateTime + " " + std::to_string(dl->ResponseTimeoutMs()), shown + (" " + std::to_string(timeout)));
    }
    EXPECT_EQ(view.gateTimeShownWith.front(), "1");
    view.gateTime.reset();  // Cancel
    device::ChangeGateTime(*s, view);
    EXPECT_TRUE(Sent().empty());
}

TEST_F(SettingsTest, NothingWithoutAConnection) {
    st().CurrentAddress.clear();
    view.gateTime = device::GateTimeChoice{"0.5", true};
    view.clockTime = app::DateTimeFields{};
    device::ChangeGateTime(*s, view);
    device::SetDeviceClock(*s, view);
    device::SetPressUnits(*s, view, "bar");
    device::SetTempUnits(*s, view, "Kelvin");
    EXPECT_TRUE(Sent().empty() && view.gateTimeShownWith.empty() && view.clockDlgShown == 0);
    EXPECT_EQ(op.messages, (Strings{"Please Auto Connect first.", "Please Auto Connect first.",
                                    "Please select an address first.", "Please select an address first."}));
}

TEST_F(SettingsTest, UnitChoicesSendNamesRefreshPanelsAndOfferCommit) {
    answering = {"#01", "#03"};
    st().TransducerCaption = {"NoConnect", "#03    K-77", "NoConnect", "NoConnect"};
    box.insert({{"UN1=mH2O", "mH2O"}, {"UN1", "mH2O"}, {"UN2=C", "C"}, {"UN2", "C"}, {"EW", "0"}});
    view.makePermanent = true;
    device::SetPressUnits(*s, view, "mH2O");
    EXPECT_EQ(Sent(), (Strings{"#01UN1=mH2O", "#03UN1", "#03UN2", "#01EW"}));
    EXPECT_EQ(info().PressUnits + info().PUnits + info().PanelPUnits[1], "mH2OmH2OmH2O");

    view.makePermanent = false;
    device::SetTempUnits(*s, view, "Celsius");
    EXPECT_EQ(Sent(), (Strings{"#01UN2=C", "#03UN1", "#03UN2"}));
    EXPECT_EQ(info().TempUnits + info().TUnits, "CC");
    EXPECT_EQ(view.changeDlgShown, 2);
}

TEST_F(SettingsTest, DisplayModeChangeIsReadBackAndCommittedOnlyWhenConfirmed) {
    box["DM"] = "3";
    info().KestinDisplay = device::ReadDisplayMode(*s);
    Sent();
    EXPECT_FALSE(device::SetDisplayMode(*s, view, 2));  // the mode already shown
    EXPECT_TRUE(Sent().empty());

    box.insert({{"DM=4", "4"}, {"EW", "0"}});
    BeforeAnswer([&](const std::string& cmd) { if (cmd == "#01DM=4\r\n") box["DM"] = "4"; });
    EXPECT_TRUE(device::SetDisplayMode(*s, view, 3));
    EXPECT_EQ(Sent(), (Strings{"#01DM=4", "#01DM", "#01EW"}));
    EXPECT_EQ(info().KestinDisplay + " " + std::to_string(info().KestinSelection), "Temp Counts 3");

    // A box that does not read back a mode gets no commit, whatever was ticked.
    box.erase("DM");
    EXPECT_TRUE(device::SetDisplayMode(*s, view, 0));
    EXPECT_EQ(Sent(), (Strings{"#01DM=1", "#01DM"}));
    EXPECT_EQ(info().KestinDisplay, "NoConnect");
    EXPECT_EQ(view.changeDlgShown, 2);
}

TEST_F(SettingsTest, ClockDialogCancelledKeepsTheTimeAndBroadcastShowsTheAddress) {
    info().ClockTime = "kept";  // the dialog is cancelled
    device::SetDeviceClock(*s, view);
    EXPECT_TRUE(Sent().empty());
    EXPECT_EQ(info().ClockTime, "kept");

    view.clockTime = app::DateTimeFields{2008, 1, 5, 7, 3, 9};
    st().CurrentAddress = "#00";
    device::SetDeviceClock(*s, view);
    EXPECT_EQ(info().ClockTime, "#00");
}

TEST_F(SettingsTest, BaudRateChangeFollowsTheEchoAndNeedsAnAddressForTheBox) {
    box.insert({{"BR=19200", "19200"}, {"EW", "0"}});
    device::ChangeBaudRate(*s, view, "19200");
    // The rate in use a second time: nothing sent, only shown again.
    device::ChangeBaudRate(*s, view, "19200");
    EXPECT_EQ(Sent(), (Strings{"#01BR=19200", "#01EW"}));
    EXPECT_EQ(port->rateChanges, std::vector<std::uint32_t>{19200});

    // No echo: the PC stays at the old rate, the link and label hold the new one.
    box.erase("BR=38400");
    device::ChangeBaudRate(*s, view, "38400");
    EXPECT_EQ(Sent(), Strings{"#01BR=38400"});
    EXPECT_EQ(std::to_string(port->baud) + " " + std::to_string(dl->LinkBaudRate()) + " " + st().BaudRateValue, "19200 38400 38400");
    EXPECT_EQ(view.changeDlgShown, 1) << "no commit offered without the echo";

    // Without an address only the PC switches; "#00" is refused.
    st().CurrentAddress.clear();
    EXPECT_TRUE(device::BeginBaudRateChange(*s));
    device::ChangeBaudRate(*s, view, "4800");
    EXPECT_TRUE(Sent().empty());
    EXPECT_EQ(port->baud, 4800u);

    st().CurrentAddress = "#00";
    EXPECT_FALSE(device::BeginBaudRateChange(*s));
    EXPECT_EQ(op.messages, Strings{"Please select an address first."});
}

TEST_F(SettingsTest, AddressDialogStartsAtTheCurrentAddressAndReconnectsOrDisplaysAnother) {
    st().CurrentAddress.clear();
    device::ChangeAddress(*s, view);  // cancelled
    EXPECT_EQ(st().CurrentAddress, "#01");
    st().CurrentAddress = "#97";
    device::ChangeAddress(*s, view);
    EXPECT_EQ(view.addressShownAt, (std::vector<int>{1, -1}));

    view.address = device::AddressChoice{2, "#07", false};
    device::ChangeAddress(*s, view);
    EXPECT_EQ(st().AddressValue + st().TransducerAddress[0] + st().CurrentAddress, "#07#07#97");
    EXPECT_TRUE(Sent().empty());

    // "Display another device": only where a box was found.
    answering = {"#02"};
    DigitalBox();
    st().AddressTable[2] = "D02";
    st().CurrentAddress = "#01";
    view.address = device::AddressChoice{0, "#07", false};
    device::ChangeAddress(*s, view);
    EXPECT_EQ(op.messages, Strings{"Sorry.  No device at that address."});
    EXPECT_TRUE(st().CurrentAddress == "#01" && Sent().empty());

    view.address = device::AddressChoice{0, "#02", false};
    device::ChangeAddress(*s, view);
    EXPECT_EQ(st().CurrentAddress + " " + info().ModelNumber + " " + Sent().front(), "#02 DPT6100 #02M");
    EXPECT_GE(op.statesShown, 1);

    device::DisplayOtherDevice(*s, "#00");  // always allowed
    EXPECT_TRUE(Sent().empty());
    EXPECT_EQ(info().SerialNumber, "#00");
}

TEST_F(SettingsTest, AddressChangeOfAKestinBoxCommitsAtTheNewAddressAndNeverTo00) {
    answering = {"#01", "#05"};
    box.insert({{"AD=05", "05"}, {"EW", "0"}});
    st().DeviceType = "Kestin";
    st().AddressTable[1] = "K-1";
    view.address = device::AddressChoice{1, "#05", true};
    device::ChangeAddress(*s, view);
    EXPECT_EQ(Sent(), (Strings{"#01AD=05", "#05EW"}));
    EXPECT_EQ(st().AddressValue + st().CurrentAddress, "#05#05");
    EXPECT_EQ(st().TransducerCaption[0], "#01    K-1");  // the table itself is not changed
    EXPECT_EQ(view.newConnectDlgShown, 0);

    device::ChangeDeviceAddress(*s, view, "#00", true);
    EXPECT_EQ(op.messages, Strings{"Sorry.  You can not change the address to #00"});
    EXPECT_TRUE(Sent().empty());
}

}  // namespace
