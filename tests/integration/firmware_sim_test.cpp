// Firmware uploads against the simulated box: what crosses the wire, at which
// speed, and what the status box says.

#include "app/Session.h"
#include "firmware/Upload.h"
#include "link/PosixPort.h"
#include "sim/Line.h"
#include "testkit/RecordingFirmwareView.h"
#include "testkit/RecordingOperator.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <unistd.h>

using namespace tessary;
using namespace tessary::testkit;
using Strings = std::vector<std::string>;
using bravik::sim::Traffic;

namespace {

struct UploadOnSimLine : ::testing::Test {
    bravik::sim::Line line{Config()};
    link::PortMap ports;
    link::DeviceLink dl{std::make_unique<link::PosixPort>(), [this](const std::string& n) { return ports.Resolve(n); }};
    RecordingOperator op;
    app::Session s{dl, ports, op, app::Options{}};
    RecordingFirmwareView view;
    std::string path =
        (std::filesystem::temp_directory_path() / ("tessary_fw_sim_" + std::to_string(::getpid()) + ".hex")).string();

    static bravik::sim::LineConfig Config() {
        bravik::sim::BoxConfig box;
        box.copyMs = 50;
        bravik::sim::LineConfig cfg;
        cfg.pacing = false;
        cfg.boxes = {box};
        return cfg;
    }
    void SetUp() override {
        line.start();
        ports.SetFromCommandLine("COM1", line.slavePath());
        ASSERT_TRUE(dl.OpenComPort());
        view.file = path;
    }
    void TearDown() override { std::filesystem::remove(path); }
    // "text@baud" of one direction of the traffic.
    Strings Wire(Traffic::Dir dir) const {
        Strings out;
        for (const auto& t : line.traffic())
            if (t.dir == dir) out.push_back(t.text + "@" + std::to_string(t.baud));
        return out;
    }
};

TEST_F(UploadOnSimLine, TwoResendsOfTheSecondRecord) {
    bravik::sim::Faults f;
    f.saTimes = 2;
    f.saLine = 2;
    line.setFaults(1, f);
    WriteBytes(path, kRec1 + "\r\n" + kRec2 + "\r\n" + kEnd + "\r\n");

    EXPECT_EQ(firmware::Uploader(s, view).BitBtn1Click("#01"), firmware::UploadEnd::Finished);

    const std::string again = "Send Again!   " + kRec2 + "\r\n";
    EXPECT_EQ(view.log, (Strings{"File Open", "Baud rate changed to 57600", "PR command sent to Bravik", "READY",
                                 "Size of file is 79", "Sending new program...", again, again, "Finished",
                                 "Bytes sent = 79", "T", "Please wait for Bravik to Copy........", "PROGRAM OK", "T",
                                 "Baud Rate changed to 9600", "Update complete"}));
    EXPECT_EQ(Wire(Traffic::Dir::FromPc),
              (Strings{"#01BR=57600@9600", "#01PR@57600", kRec1 + "@57600", kRec2 + "@57600", kRec2 + "@57600",
                       kRec2 + "@57600", kEnd + "@57600"}));
    EXPECT_EQ(Wire(Traffic::Dir::ToPc), (Strings{"57600@9600", "READY@57600", "OK@57600", "SA@57600", "SA@57600",
                                                 "OK@57600", "OK@57600", "PROGRAM OK@57600"}));
    EXPECT_EQ(dl.LinkBaudRate(), 9600u);
    EXPECT_EQ(s.ConsoleCommand("#01ID"), "21040117");
    EXPECT_TRUE(op.messages.empty());
}

TEST_F(UploadOnSimLine, AnAbortClosesThePortAndANewConnectWorks) {
    bravik::sim::Faults f;
    f.abortCode = "07";
    f.abortLine = 2;
    line.setFaults(1, f);
    WriteBytes(path, kRec1 + "\r\n" + kRec2 + "\r\n" + kEnd + "\r\n");

    EXPECT_EQ(firmware::Uploader(s, view).BitBtn1Click("#01"), firmware::UploadEnd::Aborted);

    EXPECT_EQ(view.log, (Strings{"File Open", "Baud rate changed to 57600", "PR command sent to Bravik", "READY",
                                 "Size of file is 79", "Sending new program...", "Bravik Aborting Communications",
                                 "Error Code : 07", "Sorry your having trouble. Goodbye"}));
    EXPECT_FALSE(dl.IsOpen());
    EXPECT_FALSE(view.progressShown);
    EXPECT_EQ(Wire(Traffic::Dir::ToPc).back(), "AB07@57600");
    EXPECT_EQ(dl.LinkBaudRate(), 9600u);
    ASSERT_TRUE(dl.OpenComPort());
    EXPECT_EQ(s.ConsoleCommand("#01ID"), "21040117");
}

}  // namespace
