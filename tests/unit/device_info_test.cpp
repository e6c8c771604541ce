#include "device/DeviceInfo.h"
#include "device/DeviceTime.h"
#include "testkit/DeviceFixture.h"

#include <gtest/gtest.h>

using namespace tessary;
using Strings = std::vector<std::string>;

namespace {

struct DeviceInfoTest : testkit::DeviceFixture {
    void SetUp() override {
        DeviceFixture::SetUp();
        for (auto& c : st().TransducerCaption) c = app::kNoConnect;
    }
};

const Strings kTail = {"UP1", "UP2", "UP3", "UP4", "UP5", "UP6", "UP7", "UP8", "TM", "LI", "LI", "LR", "LS"};

Strings Prefixed(const std::string& address, Strings words) {
    for (auto& w : words) w = address + w;
    return words;
}

TEST_F(DeviceInfoTest, DigitalBoxWireSequenceAndFields) {
    DigitalBox();
    answering = {"#01", "#02"};
    st().TransducerCaption[0] = "#01    D01-4711";
    st().TransducerCaption[2] = "#02    D02-4712";
    device::ReadDeviceInfo(*s);

    Strings expected = Prefixed("#01", {"M", "VF", "VF", "ID", "VER", "GA", "UN1", "UN2"});
    for (auto w : {"#01UN1", "#01UN2", "#02UN1", "#02UN2"}) expected.push_back(w);
    for (auto& w : Prefixed("#01", kTail)) expected.push_back(w);
    EXPECT_EQ(Sent(), expected);  // 21 exchanges + two per connected panel

    EXPECT_EQ(st().DeviceType, "Digital");
    EXPECT_EQ(info().ModelNumber, "DPT6100");
    EXPECT_EQ(info().FPGA, "FP010422");
    EXPECT_EQ(info().SerialNumber, "D01-4711");
    EXPECT_EQ(st().AddressTable[1], "D01-4711");
    EXPECT_EQ(info().FirmwareVersion, "V2.14");
    EXPECT_EQ(info().GateTime, "0.5");
    EXPECT_EQ(info().PressUnits, "psi");
    EXPECT_EQ(info().PUnits, "psi");
    EXPECT_EQ(info().TUnits, "C");
    EXPECT_EQ(info().PanelPUnits[2], "psi");
    EXPECT_EQ(info().PanelTUnits[1], "");  // "NoConnect" panel: not asked
    EXPECT_EQ(info().ClockTime, "14/May/07  13:45:00");
    EXPECT_EQ(info().InitLog, "TM,D1,D2");
    EXPECT_EQ(info().LogRate, "60");
    EXPECT_EQ(info().LogStart, "14/May/07  13:45:00");
    EXPECT_EQ(info().LogStop, "15/May/07  08:00:00");
    EXPECT_EQ(st().LogStartText, "2007:05:14:13:45:00");
    EXPECT_EQ(info().PressUnitItems,
              (Strings{"psi", "bar", "MPa", "mH2O", "Celsius", "Kelvin", "Fahrenheit", "Rankine"}));
    EXPECT_EQ(info().TempUnitItems, info().PressUnitItems);
    EXPECT_TRUE(info().FpgaRowVisible);
    EXPECT_FALSE(info().KestinRowVisible);
    EXPECT_FALSE(info().KestinButtonVisible);
    EXPECT_EQ(st().CommandLineText, "#01");
    EXPECT_EQ(st().AddressValue, "#01");
    EXPECT_EQ(st().BaudRateValue, "9600");
    EXPECT_EQ(st().ComPortValue, "COM1");
    EXPECT_EQ(st().DataPrecisionValue, "3");
    EXPECT_EQ(op.busyCount, 1);
    EXPECT_EQ(op.busyDepth, 0);
    EXPECT_TRUE(op.messages.empty());
}

TEST_F(DeviceInfoTest, KestinBoxAsksDisplayModeAndKeepsFpgaHidden) {
    KestinBox();
    box["LI"] = "ERROR 13";
    device::ReadDeviceInfo(*s);
    const Strings expected = Prefixed("#01", {"M", "VF", "DM", "ID", "VER", "GA", "UN1", "UN2", "UP1", "UP2", "UP3",
                                              "UP4", "UP5", "UP6", "UP7", "UP8", "TM", "LI", "LR", "LS"});
    EXPECT_EQ(Sent(), expected);  // one LI only: 20 exchanges
    EXPECT_EQ(st().DeviceType, "Kestin");
    EXPECT_EQ(info().KestinDisplay, "Press Counts");
    EXPECT_EQ(info().KestinSelection, 2);
    EXPECT_EQ(info().InitLog, "Not Initialized");
    EXPECT_FALSE(info().FpgaRowVisible);
    EXPECT_TRUE(info().KestinRowVisible);
    EXPECT_TRUE(info().KestinButtonVisible);  // the older family never hides it
}

TEST_F(DeviceInfoTest, SilentBoxIsKestinWithNoConnectEverywhere) {
    st().AddressTable[1] = "was here";
    device::ReadDeviceInfo(*s);
    const Strings sent = Sent();
    EXPECT_EQ(sent.size(), 21u);  // every query still goes out; "NoConnect" is not "ERROR 13"
    EXPECT_EQ(sent[2], "#01DM");
    EXPECT_EQ(st().DeviceType, "Kestin");
    EXPECT_EQ(info().KestinDisplay, "NoConnect");
    EXPECT_EQ(st().AddressTable[1], "NoConnect");
    EXPECT_EQ(info().ModelNumber, "NoConnect");
    EXPECT_EQ(info().LogStart, "NoConnect");
    EXPECT_EQ(info().LogStop, "NoConnect");
    EXPECT_EQ(info().PressUnitItems, Strings(8, ""));
    EXPECT_TRUE(op.messages.empty());
}

TEST_F(DeviceInfoTest, FpgaAnswerLengthDecidesTheFamily) {
    for (const auto& [vf, family] : std::vector<std::pair<std::string, std::string>>{
             {"FP01042", "Kestin"}, {"FP010422", "Digital"}, {"FP0104223", "Kestin"}}) {
        DigitalBox();
        box["VF"] = vf;
        device::ReadDeviceInfo(*s);
        EXPECT_EQ(st().DeviceType, family) << vf;
    }
    EXPECT_EQ(info().DeviceTypeSerial, 3u);
}

TEST_F(DeviceInfoTest, NoAddressOrBroadcastSendsNothing) {
    DigitalBox();
    st().CurrentAddress.clear();
    st().DeviceType = "Digital";
    dl->SetLinkBaudRate(19200);
    device::ReadDeviceInfo(*s);
    EXPECT_TRUE(Sent().empty());
    EXPECT_EQ(st().BaudRateValue, "19200");
    EXPECT_EQ(info().ModelNumber, "");
    EXPECT_EQ(st().AddressValue, "");
    EXPECT_FALSE(st().CommandLineText);

    st().CurrentAddress = "#00";
    device::ReadDeviceInfo(*s);
    EXPECT_TRUE(Sent().empty());
    for (auto* f : {&info().ModelNumber, &info().FPGA, &info().KestinDisplay, &info().SerialNumber, &info().GateTime,
                    &info().FirmwareVersion, &info().ClockTime, &info().InitLog, &info().LogRate, &info().LogStart,
                    &info().LogStop, &info().PressUnits, &info().TempUnits, &st().DataPrecisionValue})
        EXPECT_EQ(*f, "#00");
    EXPECT_EQ(st().CommandLineText, "#00");
    EXPECT_EQ(st().DeviceType, "Digital");
    EXPECT_TRUE(info().PressUnitItems.empty());
    EXPECT_EQ(info().DeviceTypeSerial, 0u);
}

TEST_F(DeviceInfoTest, AbortedSearchChangesNothing) {
    DigitalBox();
    dl->SearchAborted = true;
    device::ReadDeviceInfo(*s);
    EXPECT_TRUE(Sent().empty());
    EXPECT_EQ(st().BaudRateValue, "");
    EXPECT_EQ(op.pumps, 1);
    EXPECT_EQ(op.busyCount, 0);
}

TEST_F(DeviceInfoTest, LogAnswerForms) {
    struct Row {
        std::string ls, start, stop, startText;
    };
    const std::vector<Row> rows = {
        {"2007:05:14:13:45:00,2007:05:15:08:00:00", "14/May/07  13:45:00", "15/May/07  08:00:00", "2007:05:14:13:45:00"},
        {"1999:12:31:23:59:59", "31/Dec/99  23:59:59", "(kept)", "1999:12:31:23:59:59"},
        {"ERROR 14", "Log is Full", "Log is Full", "START"},
        {"ERROR 13", "Not Initialized", "Not Initialized", "START"},
        {"NoConnect", "NoConnect", "NoConnect", "START"},
    };
    for (const auto& r : rows) {
        DigitalBox();
        if (r.ls == "NoConnect") box.erase("LS"); else box["LS"] = r.ls;
        st().LogStartText = "START";
        info().LogStop = "(kept)";
        device::ReadDeviceInfo(*s);
        EXPECT_EQ(info().LogStart, r.start) << r.ls;
        EXPECT_EQ(info().LogStop, r.stop) << r.ls;
        EXPECT_EQ(st().LogStartText, r.startText) << r.ls;
    }
    box["LR"] = "ERROR 4";
    device::ReadDeviceInfo(*s);
    EXPECT_EQ(info().LogRate, "Not Initialized");
}

TEST_F(DeviceInfoTest, SecondLiAnswerIsShown) {
    DigitalBox();
    int li = 0;
    auto inner = port->onWrite;
    port->onWrite = [&](const std::string& cmd) {
        if (cmd == "#01LI\r\n") box["LI"] = ++li == 1 ? "first" : "TM,D3";
        inner(cmd);
    };
    device::ReadDeviceInfo(*s);
    EXPECT_EQ(li, 2);
    EXPECT_EQ(info().InitLog, "TM,D3");
}

TEST_F(DeviceInfoTest, UnitListsGrowByEightPerReadOut) {
    DigitalBox();
    box["UP1"] = "psi";  // no comma: empty name
    device::ReadDeviceInfo(*s);
    box["UP1"] = "psi,1";
    device::ReadDeviceInfo(*s);
    const auto& items = info().PressUnitItems;
    ASSERT_EQ(items.size(), 16u);
    EXPECT_EQ(items[0], "");
    EXPECT_EQ(items[4], "Celsius");
    EXPECT_EQ(items[8], "psi");
    EXPECT_EQ(items[15], "Rankine");
}

TEST(UnitItemName, TextBeforeFirstCommaWithTemperatureNames) {
    EXPECT_EQ(device::UnitItemName("psi,1.0"), "psi");
    EXPECT_EQ(device::UnitItemName("C,1,0"), "Celsius");
    EXPECT_EQ(device::UnitItemName("K,"), "Kelvin");
    EXPECT_EQ(device::UnitItemName("F,x"), "Fahrenheit");
    EXPECT_EQ(device::UnitItemName("R,x,y"), "Rankine");
    EXPECT_EQ(device::UnitItemName("c,1"), "c");  // case matters
    EXPECT_EQ(device::UnitItemName("NoConnect"), "");
    EXPECT_EQ(device::UnitItemName(",x"), "");
}

TEST_F(DeviceInfoTest, DisplayModeAnswers) {
    struct Row {
        std::string answer, text;
        int selection;
    };
    const std::vector<Row> rows = {{"1", "Pressure", 0},          {"3", "Press Counts", 2},
                                   {"7", "All Data in Sequence", 6}, {"0", "0", -1},
                                   {"8", "0", -1},                {"x", "0", -1},
                                   {"", "0", -1}};
    for (const auto& r : rows) {
        box["DM"] = r.answer;
        info().KestinSelection = 4;
        if (r.answer.empty()) {
            // An empty line is no answer at all; the selection survives.
            box.erase("DM");
            EXPECT_EQ(device::ReadDisplayMode(*s), "NoConnect");
            EXPECT_EQ(info().KestinSelection, 4);
            continue;
        }
        EXPECT_EQ(device::ReadDisplayMode(*s), r.text) << r.answer;
        EXPECT_EQ(info().KestinSelection, r.selection) << r.answer;
    }
    box["DM"] = "ERROR 1";
    EXPECT_EQ(device::ReadDisplayMode(*s), "NoConnect");
    Sent();
    st().CurrentAddress = "#00";
    EXPECT_EQ(device::ReadDisplayMode(*s), "#00");
    EXPECT_TRUE(Sent().empty());
}

TEST(TimeoutFromGateTime, FollowsTheGateTime) {
    EXPECT_EQ(device::TimeoutFromGateTime("0.5"), 1000u);
    EXPECT_EQ(device::TimeoutFromGateTime("0.99"), 1000u);
    EXPECT_EQ(device::TimeoutFromGateTime("1"), 1500u);
    EXPECT_EQ(device::TimeoutFromGateTime("1.0"), 1500u);
    EXPECT_EQ(device::TimeoutFromGateTime("1.333"), 1999u);  // fraction dropped
    EXPECT_EQ(device::TimeoutFromGateTime("2"), 3000u);
    // Not a number: back to the start value rather than a guess.
    for (auto text : {"NoConnect", "", "ERROR 2", "2s", " 2", "nan", "inf"})
        EXPECT_EQ(device::TimeoutFromGateTime(text), 1000u) << text;
    EXPECT_EQ(device::TimeoutFromGateTime("1e9"), 60000u);  // bounded
}

TEST(FormatDeviceTime, DisplayForm) {
    const std::vector<std::pair<std::string, std::string>> rows = {
        {"2007:05:14:13:45:00", "14/May/07  13:45:00"},
        {"1999:12:31:23:59:59", "31/Dec/99  23:59:59"},
        {"2007:01:01:00:00:00", "01/Jan/07  00:00:00"},
        {"2007:00:14:13:45:00", "14//07  13:45:00"},
        {"2007-05-14T13:45:00", "14/May/07  13:45:00"},  // separators are not checked
        // Month out of range or garbled: its two characters, never a wrong name.
        {"2007:13:14:13:45:00", "14/13/07  13:45:00"},
        {"2007:x5:14:13:45:00", "14/x5/07  13:45:00"},
        {"2007:-1:14:13:45:00", "14/-1/07  13:45:00"},
        // Any other length passes through.
        {"2007:05:14:13:45:0", "2007:05:14:13:45:0"},
        {"2007:05:14:13:45:000", "2007:05:14:13:45:000"},
        {"NoConnect", "NoConnect"},
        {"#00", "#00"},
        {"", ""},
    };
    for (const auto& [in, out] : rows) EXPECT_EQ(device::FormatDeviceTime(in), out) << in;
}

TEST(DeviceTimeText, TwoDigitFields) {
    EXPECT_EQ(device::DeviceTimeText({2008, 1, 5, 7, 3, 9}), "2008:01:05:07:03:09");
    EXPECT_EQ(device::DeviceTimeText({2007, 12, 31, 23, 59, 59}), "2007:12:31:23:59:59");
}

}  // namespace
