#include "device/DeviceInfo.h"
#include "device/DeviceTime.h"
#include "testkit/DeviceFixture.h"

#include <gtest/gtest.h>

using namespace tessary;
using Strings = std::vector<std::string>;

namespace {

using DeviceInfoTest = testkit::DeviceFixture;

Strings Prefixed(const std::string& address, Strings words) {
    for (auto& w : words) w = w[0] == '#' ? w : address + w;
    return words;
}

TEST_F(DeviceInfoTest, DigitalBoxWireSequenceAndFields) {
    DigitalBox();
    answering = {"#01", "#02"};
    st().TransducerCaption = {"#01    D01-4711", "NoConnect", "#02    D02-4712", ""};
    // LI goes out twice; the second answer is the one shown.
    int li = 0;
    BeforeAnswer([&](const std::string& cmd) { if (cmd == "#01LI\r\n") box["LI"] = ++li == 1 ? "first" : "TM,D1,D2"; });
    device::ReadDeviceInfo(*s);

    EXPECT_EQ(Sent(), Prefixed("#01", {"M", "VF", "VF", "ID", "VER", "GA", "UN1", "UN2", "UN1", "UN2", "#02UN1", "#02UN2", "UP1",
                                       "UP2", "UP3", "UP4", "UP5", "UP6", "UP7", "UP8", "TM", "LI", "LI", "LR", "LS"}));

    // Model, FPGA, version and the unit list are also checked against the simulated box.
    const std::pair<std::string, const char*> fields[] = {
        {info().SerialNumber, "D01-4711"}, {info().PressUnits, "psi"}, {info().PUnits, "psi"}, {info().TUnits, "C"},
        {info().PanelPUnits[2], "psi"},    {info().PanelTUnits[1], ""},  // "NoConnect" panel: not asked
        {info().ClockTime, "14/May/07  13:45:00"}, {info().InitLog, "TM,D1,D2"}, {info().LogRate, "60"},
        {st().CommandLineText.value_or("-"), "#01"}, {st().AddressValue, "#01"}, {st().BaudRateValue, "9600"},
        {st().ComPortValue, "COM1"},       {st().DataPrecisionValue, "3"}};
    for (const auto& [got, want] : fields) EXPECT_EQ(got, want);
    EXPECT_EQ(info().TempUnitItems, info().PressUnitItems);
    EXPECT_EQ(std::tuple(op.busyCount, op.busyDepth, op.messages.size()), std::tuple(1, 0, 0u));
}

TEST_F(DeviceInfoTest, KestinBoxAsksDisplayModeAndOneLogItemsQuery) {
    DigitalBox();  // then the older family's answers; an FPGA answer of 7 or 9 characters means Kestin
    for (auto [word, answer] : {std::pair{"M", "K-3000"}, {"VF", "ERROR 1"}, {"DM", "3"}, {"LI", "ERROR 13"}})
        box[word] = answer;
    device::ReadDeviceInfo(*s);
    EXPECT_EQ(Sent(), Prefixed("#01", {"M", "VF", "DM", "ID", "VER", "GA", "UN1", "UN2", "UP1", "UP2", "UP3", "UP4",
                                       "UP5", "UP6", "UP7", "UP8", "TM", "LI", "LR", "LS"}));  // one LI only
    EXPECT_EQ(st().DeviceType + " " + info().InitLog, "Kestin Not Initialized");
}

TEST_F(DeviceInfoTest, SilentBoxIsKestinWithNoConnectEverywhere) {
    st().AddressTable[1] = "was here";
    device::ReadDeviceInfo(*s);
    const Strings sent = Sent();
    ASSERT_EQ(sent.size(), 21u);  // every query still goes out; "NoConnect" is not "ERROR 13"
    EXPECT_EQ(sent[2] + " " + st().DeviceType, "#01DM Kestin");
    for (auto* f : {&info().KestinDisplay, &st().AddressTable[1], &info().ModelNumber, &info().LogStart, &info().LogStop})
        EXPECT_EQ(*f, "NoConnect");
    EXPECT_EQ(info().PressUnitItems, Strings(8, ""));
    EXPECT_TRUE(op.messages.empty());
}

TEST_F(DeviceInfoTest, NoAddressOrBroadcastSendNothing) {
    DigitalBox();
    st().CurrentAddress.clear();
    st().DeviceType = "Digital";
    dl->SetLinkBaudRate(19200);
    device::ReadDeviceInfo(*s);
    EXPECT_TRUE(Sent().empty() && info().ModelNumber.empty() && !st().CommandLineText);
    EXPECT_EQ(st().BaudRateValue, "19200");

    st().CurrentAddress = "#00";
    device::ReadDeviceInfo(*s);
    EXPECT_TRUE(Sent().empty());
    for (auto* f : {&info().ModelNumber, &info().FPGA, &info().KestinDisplay, &info().SerialNumber, &info().GateTime,
                    &info().FirmwareVersion, &info().ClockTime, &info().InitLog, &info().LogRate, &info().LogStart,
                    &info().LogStop, &info().PressUnits, &info().TempUnits, &st().DataPrecisionValue})
        EXPECT_EQ(*f, "#00");
    EXPECT_TRUE(st().DeviceType == "Digital" && info().PressUnitItems.empty() && info().DeviceTypeSerial == 0u);
}

TEST_F(DeviceInfoTest, LogAnswerForms) {
    // LS answer -> log start, log stop, the start text kept for later flows.
    const std::vector<std::array<std::string, 4>> rows = {
        {"2007:05:14:13:45:00,2007:05:15:08:00:00", "14/May/07  13:45:00", "15/May/07  08:00:00", "2007:05:14:13:45:00"},
        {"1999:12:31:23:59:59", "31/Dec/99  23:59:59", "(kept)", "1999:12:31:23:59:59"},
        {"ERROR 14", "Log is Full", "Log is Full", "START"},
        {"ERROR 13", "Not Initialized", "Not Initialized", "START"},
        {"NoConnect", "NoConnect", "NoConnect", "START"},
    };
    for (const auto& [ls, start, stop, startText] : rows) {
        DigitalBox();
        if (ls == "NoConnect") box.erase("LS"); else box["LS"] = ls;
        st().LogStartText = "START";
        info().LogStop = "(kept)";
        device::ReadDeviceInfo(*s);
        EXPECT_EQ(info().LogStart + "|" + info().LogStop + "|" + st().LogStartText, start + "|" + stop + "|" + startText);
    }
    box["LR"] = "ERROR 4";
    device::ReadDeviceInfo(*s);
    EXPECT_EQ(info().LogRate, "Not Initialized");
}

TEST_F(DeviceInfoTest, UnitListsGrowByEightPerReadOut) {
    DigitalBox();
    box["UP1"] = "psi";  // no comma: empty name
    device::ReadDeviceInfo(*s);
    box["UP1"] = "psi,1";
    device::ReadDeviceInfo(*s);
    const auto& items = info().PressUnitItems;
    ASSERT_EQ(items.size(), 16u);
    EXPECT_EQ(items[0] + "|" + items[4] + "|" + items[8] + "|" + items[15], "|Celsius|psi|Rankine");
}

TEST_F(DeviceInfoTest, DisplayModeAnswers) {
    // No answer ("") or an error: "NoConnect", and the selection survives.
    const std::vector<std::tuple<std::string, std::string, int>> rows = {
        {"1", "Pressure", 0}, {"3", "Press Counts", 2}, {"", "NoConnect", 2}, {"ERROR 1", "NoConnect", 2},
        {"7", "All Data in Sequence", 6}, {"0", "0", -1}, {"8", "0", -1}, {"x", "0", -1}};
    for (const auto& [answer, text, selection] : rows) {
        if (answer.empty()) box.erase("DM"); else box["DM"] = answer;
        const std::string shown = device::ReadDisplayMode(*s);
        EXPECT_EQ(shown + " " + std::to_string(info().KestinSelection), text + " " + std::to_string(selection));
    }
}

TEST(FormatDeviceTime, DisplayForm) {
    const std::vector<std::pair<std::string, std::string>> rows = {
        {"2007:01:01:00:00:00", "01/Jan/07  00:00:00"}, {"2007:00:14:13:45:00", "14//07  13:45:00"},
        {"2007-05-14T13:45:00", "14/May/07  13:45:00"},  // separators are not checked
        // Month out of range or garbled: its two characters, never a wrong name; any other length passes through.
        {"2007:13:14:13:45:00", "14/13/07  13:45:00"}, {"2007:-1:14:13:45:00", "14/-1/07  13:45:00"},
        {"2007:05:14:13:45:0", "2007:05:14:13:45:0"}, {"2007:05:14:13:45:000", "2007:05:14:13:45:000"}, {"", ""}};
    for (const auto& [in, out] : rows) EXPECT_EQ(device::FormatDeviceTime(in), out) << in;

    EXPECT_EQ(device::DeviceTimeText({2008, 1, 5, 7, 3, 9}), "2008:01:05:07:03:09");
    const int g = 1'000'000'000, m = -2'000'000'000;  // fields wider than the box's text
    EXPECT_EQ(device::DeviceTimeText({g, g, g, g, g, g}), "1000000000:1000000000:1000000000:1000000000:1000000000:1000000000");
    EXPECT_EQ(device::DeviceTimeText({m, m, m, m, m, m}).size(), 6u * 11 + 5);
}

}  // namespace
