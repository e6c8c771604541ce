// The read-out and the settings against the simulated boxes: an independent
// check of what the scripted unit tests assume about the boxes' answers.

#include "SimSession.h"
#include "app/Connect.h"
#include "device/DeviceInfo.h"
#include "device/SerialSettings.h"
#include "testkit/RecordingSettingsView.h"

#include <gtest/gtest.h>

using namespace tessary;
using test::Strings;

namespace {

bravik::sim::LineConfig DigitalAt1KestinAt5() {
    bravik::sim::LineConfig cfg;
    cfg.name = "COM1";
    bravik::sim::BoxConfig digital, kestin;
    digital.address = 1;
    kestin.address = 5;
    kestin.family = bravik::sim::Family::Kestin;
    cfg.boxes = {digital, kestin};
    return cfg;
}

struct DeviceOnSim : ::testing::Test, test::SimSession {
    testkit::RecordingSettingsView view;

    DeviceOnSim() : SimSession(DigitalAt1KestinAt5()) {}
    void SetUp() override {
        ASSERT_TRUE(opened);
        st().AddressTable[1] = "box1";
        st().AddressTable[5] = "box5";
        app::AssignTransducerSlots(st());
        st().CurrentAddress = "#01";
    }
    Strings Heard() { return test::Heard(line, true); }
};

TEST_F(DeviceOnSim, ReadOutOfADigitalAndAKestinBox) {
    device::ReadDeviceInfo(s);
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

    device::DisplayOtherDevice(s, "#05");
    EXPECT_EQ(st().DeviceType, "Kestin");
    EXPECT_EQ(st().Info.ModelNumber + " " + st().Info.KestinDisplay, "K-3000 Pressure");
    EXPECT_TRUE(op.messages.empty());
}

// An echoed rate change moves box and PC together; the commit goes at the new rate.
TEST_F(DeviceOnSim, RateChangeMovesBoxAndPcTogether) {
    device::ChangeBaudRate(s, view, "19200");
    EXPECT_EQ(Heard(), (Strings{"#01BR=19200@9600", "#01EW@19200"}));
    EXPECT_EQ(line.boxBaud(1), 19200u);
    EXPECT_EQ(device::QueryBox(s, "M"), "DPT6100");
    EXPECT_TRUE(op.messages.empty());
}

}  // namespace
