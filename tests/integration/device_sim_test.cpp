// The read-out and the settings on a simulated line: the bytes the boxes hear,
// and what the window would show afterwards.

#include "app/Connect.h"
#include "device/DeviceInfo.h"
#include "device/SerialSettings.h"
#include "device/Settings.h"
#include "link/PosixPort.h"
#include "sim/Line.h"
#include "testkit/RecordingOperator.h"

#include <gtest/gtest.h>

using namespace tessary;
using Strings = std::vector<std::string>;

namespace {

struct DeviceOnSim : ::testing::Test {
    bravik::sim::Line line{Config()};
    link::PortMap ports;
    std::unique_ptr<link::DeviceLink> dl;
    testkit::RecordingOperator op;
    std::unique_ptr<app::Session> s;

    static bravik::sim::LineConfig Config() {
        bravik::sim::LineConfig cfg;
        cfg.name = "COM1";
        bravik::sim::BoxConfig digital, kestin;
        digital.address = 1;
        kestin.address = 5;
        kestin.family = bravik::sim::Family::Kestin;
        cfg.boxes = {digital, kestin};
        return cfg;
    }
    void SetUp() override {
        line.start();
        ports.SetFromCommandLine("COM1", line.slavePath());
        dl = std::make_unique<link::DeviceLink>(std::make_unique<link::PosixPort>(),
                                                [this](const std::string& n) { return ports.Resolve(n); });
        s = std::make_unique<app::Session>(*dl, ports, op, app::Options{});
        s->FormCreate();
        dl->SetLinkPortName("COM1");
        dl->SetLinkBaudRate(9600);
        ASSERT_TRUE(dl->OpenComPort());
        auto& st = s->State();
        st.AddressTable[1] = "box1";
        st.AddressTable[5] = "box5";
        app::AssignTransducerSlots(st);
        st.CurrentAddress = "#01";
    }
    void TearDown() override {
        dl->ClosePort();
        line.stop();
    }
    app::AppState& st() { return s->State(); }
    // What the boxes heard, as "text@baud", since the last call.
    Strings Heard() {
        Strings out;
        for (const auto& t : line.traffic())
            if (t.dir == bravik::sim::Traffic::Dir::FromPc) out.push_back(t.text + "@" + std::to_string(t.baud));
        line.clearTraffic();
        return out;
    }
};

TEST_F(DeviceOnSim, ReadOutOfADigitalAndAKestinBox) {
    device::ReadDeviceInfo(*s);
    const Strings digital = {"#01M",   "#01VF",  "#01VF",  "#01ID",  "#01VER", "#01GA",  "#01UN1", "#01UN2",
                             "#01UN1", "#01UN2", "#05UN1", "#05UN2", "#01UP1", "#01UP2", "#01UP3", "#01UP4",
                             "#01UP5", "#01UP6", "#01UP7", "#01UP8", "#01TM",  "#01LI",  "#01LR",  "#01LS"};
    Strings expected;
    for (const auto& c : digital) expected.push_back(c + "@9600");
    EXPECT_EQ(Heard(), expected);  // a fresh box: log not initialised, so one LI
    const auto& in = st().Info;
    EXPECT_EQ(st().DeviceType, "Digital");
    EXPECT_EQ(in.ModelNumber, "DPT6100");
    EXPECT_EQ(in.FPGA, "FP010422");
    EXPECT_EQ(in.FirmwareVersion, "V2.14");
    EXPECT_EQ(in.GateTime, "0.5");
    EXPECT_EQ(st().AddressTable[1], in.SerialNumber);
    EXPECT_EQ(in.PressUnitItems,
              (Strings{"psi", "bar", "MPa", "mH2O", "Celsius", "Kelvin", "Fahrenheit", "Rankine"}));
    EXPECT_EQ(in.ClockTime.size(), 19u);
    EXPECT_EQ(in.ClockTime.substr(2, 1) + in.ClockTime.substr(9, 2), "/  ");
    EXPECT_EQ(in.InitLog, "Not Initialized");
    EXPECT_EQ(in.LogRate, "Not Initialized");
    EXPECT_EQ(in.LogStart, "Not Initialized");

    device::DisplayOtherDevice(*s, "#05");
    EXPECT_EQ(st().DeviceType, "Kestin");
    EXPECT_EQ(st().Info.ModelNumber, "K-3000");
    EXPECT_EQ(st().Info.KestinDisplay, "Pressure");
    EXPECT_EQ(st().Info.KestinSelection, 0);
    EXPECT_EQ(Heard()[2], "#05DM@9600");
    EXPECT_TRUE(op.messages.empty());
}

TEST_F(DeviceOnSim, MeasurementSettingsAreCommittedAndReadBack) {
    op.gateTime = app::GateTimeChoice{"1.25", true};
    device::ChangeGateTime(*s);
    EXPECT_EQ(Heard(), (Strings{"#01GA=1.25@9600", "#01EW@9600"}));
    EXPECT_EQ(st().Info.GateTime, "1.25");
    EXPECT_EQ(dl->ResponseTimeoutMs(), 1875u);
    dl->SetResponseTimeoutMs(1000);

    device::SetPressUnits(*s, "bar");
    device::SetTempUnits(*s, "Kelvin");
    const Strings units = Heard();
    EXPECT_EQ(units.front(), "#01UN1=bar@9600");
    EXPECT_NE(std::find(units.begin(), units.end(), "#01UN2=K@9600"), units.end());
    EXPECT_EQ(std::count(units.begin(), units.end(), "#01EW@9600"), 2);

    device::ReadDeviceInfo(*s);
    EXPECT_EQ(st().Info.GateTime, "1.25");
    EXPECT_EQ(st().Info.PressUnits, "bar");
    EXPECT_EQ(st().Info.TempUnits, "K");
    EXPECT_EQ(st().Info.PanelPUnits[0], "bar");

    device::DisplayOtherDevice(*s, "#05");
    Heard();
    EXPECT_TRUE(device::SetDisplayMode(*s, 4));
    EXPECT_EQ(Heard(), (Strings{"#05DM=5@9600", "#05DM@9600", "#05EW@9600"}));
    EXPECT_EQ(st().Info.KestinDisplay, "Alternate Press/Temp");
    EXPECT_TRUE(op.messages.empty());
}

TEST_F(DeviceOnSim, BaudRateChangeMovesBoxAndPcTogether) {
    device::ChangeBaudRate(*s, "19200");
    EXPECT_EQ(Heard(), (Strings{"#01BR=19200@9600", "#01EW@19200"}));
    EXPECT_EQ(line.boxBaud(1), 19200u);
    EXPECT_EQ(dl->LinkBaudRate(), 19200u);
    EXPECT_TRUE(op.messages.empty());
    device::ReadDeviceInfo(*s);
    EXPECT_EQ(st().Info.ModelNumber, "DPT6100");
    EXPECT_EQ(st().BaudRateValue, "19200");
}

TEST_F(DeviceOnSim, UnechoedBaudRateLeavesThePcAtTheOldRate) {
    bravik::sim::Faults silent;
    silent.silent = true;
    line.setFaults(1, silent);
    dl->SetResponseTimeoutMs(200);
    device::ChangeBaudRate(*s, "38400");
    EXPECT_EQ(Heard(), Strings{"#01BR=38400@9600"});
    EXPECT_EQ(op.changeDlgShown, 0);
    EXPECT_EQ(dl->LinkBaudRate(), 38400u);
    EXPECT_EQ(st().BaudRateValue, "38400");
    // The PC still talks at 9600: the other box answers.
    st().CurrentAddress = "#05";
    EXPECT_EQ(device::QueryBox(*s, "M"), "K-3000");
}

TEST_F(DeviceOnSim, KestinAddressChangeWithPermanentCommitsAtTheNewAddress) {
    st().CurrentAddress = "#05";
    st().DeviceType = "Kestin";
    device::ChangeDeviceAddress(*s, "#07", true);
    EXPECT_EQ(Heard(), (Strings{"#05AD=07@9600", "#07EW@9600"}));
    EXPECT_EQ(st().AddressValue, "#07");
    EXPECT_EQ(line.addresses(), (std::vector<int>{1, 7}));
    EXPECT_TRUE(op.messages.empty());
    EXPECT_EQ(op.newConnectDlgShown, 0);
}

TEST_F(DeviceOnSim, DigitalAddressChangeAsksForANewConnect) {
    device::ReadDeviceInfo(*s);
    Heard();
    device::ChangeDeviceAddress(*s, "#09", false);
    EXPECT_EQ(Heard(), Strings{"#01AD=09@9600"});
    EXPECT_EQ(op.newConnectDlgShown, 1);
    EXPECT_EQ(st().CurrentAddress, "#09");
    EXPECT_EQ(device::QueryBox(*s, "M"), "DPT6100");
}

}  // namespace
