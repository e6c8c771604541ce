// The read-out and the settings against the simulated boxes: an independent
// check of what the scripted unit tests assume about the boxes' answers.

#include "app/Connect.h"
#include "device/DeviceInfo.h"
#include "device/SerialSettings.h"
#include "device/Settings.h"
#include "link/PosixPort.h"
#include "sim/Line.h"
#include "testkit/RecordingOperator.h"
#include "testkit/RecordingSettingsView.h"

#include <gtest/gtest.h>

using namespace tessary;
using Strings = std::vector<std::string>;

namespace {

struct DeviceOnSim : ::testing::Test {
    bravik::sim::Line line{Config()};
    link::PortMap ports;
    std::unique_ptr<link::DeviceLink> dl;
    testkit::RecordingOperator op;
    testkit::RecordingSettingsView view;
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
    const Strings heard = Heard();
    ASSERT_EQ(heard.size(), 24u);  // a fresh box: log not initialised, so one LI
    EXPECT_EQ((Strings{heard[0], heard[10], heard[23]}), (Strings{"#01M@9600", "#05UN1@9600", "#01LS@9600"}));
    const auto& in = st().Info;
    EXPECT_EQ(st().DeviceType, "Digital");
    EXPECT_EQ(in.ModelNumber + " " + in.FPGA + " " + in.FirmwareVersion + " " + in.GateTime, "DPT6100 FP010422 V2.14 0.5");
    EXPECT_EQ(st().AddressTable[1], in.SerialNumber);
    EXPECT_EQ(in.PressUnitItems, (Strings{"psi", "bar", "MPa", "mH2O", "Celsius", "Kelvin", "Fahrenheit", "Rankine"}));
    EXPECT_EQ(in.ClockTime.substr(2, 1) + in.ClockTime.substr(9, 2), "/  ");
    EXPECT_EQ(in.InitLog, "Not Initialized");

    device::DisplayOtherDevice(*s, "#05");
    EXPECT_EQ(st().DeviceType, "Kestin");
    EXPECT_EQ(st().Info.ModelNumber + " " + st().Info.KestinDisplay, "K-3000 Pressure");
    EXPECT_TRUE(op.messages.empty());
}

TEST_F(DeviceOnSim, SettingsAreCommittedAndReadBack) {
    view.gateTime = device::GateTimeChoice{"1.25", true};
    device::ChangeGateTime(*s, view);
    EXPECT_EQ(Heard(), (Strings{"#01GA=1.25@9600", "#01EW@9600"}));
    dl->SetResponseTimeoutMs(1000);
    device::SetPressUnits(*s, view, "bar");
    device::ReadDeviceInfo(*s);
    EXPECT_EQ(st().Info.GateTime + " " + st().Info.PressUnits, "1.25 bar");

    // An echoed rate change moves box and PC together; the commit goes at the new rate.
    Heard();
    device::ChangeBaudRate(*s, view, "19200");
    EXPECT_EQ(Heard(), (Strings{"#01BR=19200@9600", "#01EW@19200"}));
    EXPECT_EQ(line.boxBaud(1), 19200u);
    EXPECT_EQ(device::QueryBox(*s, "M"), "DPT6100");
    EXPECT_TRUE(op.messages.empty());
}

TEST_F(DeviceOnSim, UnechoedRateLeavesThePcAtTheOldRateAndAddressChangesCommitAtTheNewAddress) {
    bravik::sim::Faults silent;
    silent.silent = true;
    line.setFaults(1, silent);
    dl->SetResponseTimeoutMs(200);
    device::ChangeBaudRate(*s, view, "38400");
    EXPECT_EQ(Heard(), Strings{"#01BR=38400@9600"});
    st().CurrentAddress = "#05";
    EXPECT_EQ(device::QueryBox(*s, "M"), "K-3000") << "the PC still talks at 9600";

    st().DeviceType = "Kestin";
    Heard();
    device::ChangeDeviceAddress(*s, view, "#07", true);
    EXPECT_EQ(Heard(), (Strings{"#05AD=07@9600", "#07EW@9600"}));
    EXPECT_EQ(line.addresses(), (std::vector<int>{1, 7}));
    EXPECT_EQ(view.newConnectDlgShown, 0);
}

}  // namespace
