// Uploads to the simulated box: what crosses the wire, at which speed, and
// what the status box says.

#include "firmware/Upload.h"
#include "link/LinuxPort.h"
#include "sim/Line.h"
#include "testkit/UnpacedPort.h"
#include "testkit/RecordingOperator.h"

#include <gtest/gtest.h>

#include <algorithm>

#include <filesystem>
#include <fstream>

using namespace tessary;
using Strings = std::vector<std::string>;
using Dir = bravik::sim::Traffic::Dir;

namespace {

// Records the box takes: a short data record, a full one, the end record.
const std::string kRec1 = ":0400000001020304F2", kRec2 = ":10001000000102030405060708090A0B0C0D0E0F68",
                  kEnd = ":00000001FF", kThree = kRec1 + "\r\n" + kRec2 + "\r\n" + kEnd + "\r\n";

// Picks `file`, answers the image question with `sendUnchecked`, records the log ("T": a time of day).
struct View final : firmware::FirmwareView {
    std::string file = std::filesystem::temp_directory_path() / ("tessary_fw_" + std::to_string(::getpid()) + ".hex");
    bool sendUnchecked = false;
    Strings log, asked;
    ~View() override { std::filesystem::remove(file); }
    std::optional<std::string> PickImageFile(const std::string&) override { return file; }
    bool AskSendUncheckedImage(const std::string& report) override {
        asked.push_back(report);
        return sendUnchecked;
    }
    void Log(const std::string& line) override { log.push_back(line); }
    void ShowProgress(std::uint32_t) override {}
    void SetProgress(std::uint32_t) override {}
    void HideProgress() override {}
    std::string TimeOfDay() override { return "T"; }
};

struct UploadOnSimLine : ::testing::Test {
    std::unique_ptr<bravik::sim::Line> line;
    link::PortMap ports;
    link::DeviceLink dl{std::make_unique<testkit::UnpacedPort>(std::make_unique<link::PosixPort>()),  // unpaced line
                        [this](const std::string&) { return line->slavePath(); }};
    testkit::RecordingOperator op;
    app::Session s{dl, ports, op, app::Options{}};
    View view;

    // A new line with one box at #01 and these faults, then the upload of `file`.
    app::Outcome Run(const std::string& file, const bravik::sim::Faults& faults = {},
                     const std::function<bool()>& stop = {}) {
        line = std::make_unique<bravik::sim::Line>(bravik::sim::LineConfig{"", "", false, false, {{}}, "", ""});
        line->start();
        line->setFaults(1, faults);
        view.log.clear();
        EXPECT_TRUE(dl.OpenComPort());
        std::ofstream(view.file, std::ios::binary) << file;
        return firmware::Uploader(s, view).Upload("#01", stop);
    }
    Strings Wire(Dir dir) const {  // "text@baud"
        Strings out;
        for (const auto& t : line->traffic())
            if (t.dir == dir) out.push_back(t.text + "@" + std::to_string(t.baud));
        return out;
    }
};

TEST_F(UploadOnSimLine, TwoResendsOfTheSecondRecord) {
    bravik::sim::Faults f;
    f.saTimes = 2;
    f.saLine = 2;
    EXPECT_TRUE(Run(kThree, f).Ok());
    const std::string again = "Send Again!   " + kRec2 + "\r\n", r2 = kRec2 + "@57600";
    EXPECT_EQ(view.log, (Strings{"File Open", "Baud rate changed to 57600", "PR command sent to Bravik", "READY",
                                 "Size of file is 79", "Sending new program...", again, again, "Finished",
                                 "Bytes sent = 79", "T", "Please wait for Bravik to Copy........", "PROGRAM OK", "T",
                                 "Baud Rate changed to 9600", "Update complete"}));
    EXPECT_EQ(Wire(Dir::FromPc),
              (Strings{"#01BR=57600@9600", "#01PR@57600", kRec1 + "@57600", r2, r2, r2, kEnd + "@57600"}));
    // The box notes what it sent just after sending it.
    line->waitForTraffic(
        [](const auto& t) {
            return std::any_of(t.begin(), t.end(), [](const auto& x) { return x.text == "PROGRAM OK"; });
        },
        std::chrono::seconds(2));
    EXPECT_EQ(Wire(Dir::ToPc), (Strings{"57600@9600", "READY@57600", "OK@57600", "SA@57600", "SA@57600", "OK@57600",
                                        "OK@57600", "PROGRAM OK@57600"}));
    EXPECT_EQ(s.ConsoleCommand("#01ID").text, "21040117");  // both back at 9600
}

// How the status log ends; after an abort the port is closed.
TEST_F(UploadOnSimLine, LastLineSilenceAfterAResendEndlessResendsAndAnAbort) {
    const std::string again = "Send Again!   " + kRec1 + "\r\n", abort = "Bravik Aborting Communications";
    const std::string bye = "Sorry your having trouble. Goodbye";
    Strings endless(10, again);
    endless.insert(endless.end(), {abort, "Gave up: the box asked for the same line 11 times", bye});
    const struct {
        std::string file;
        int sa, drop;  // line 1 answered "SA" this often; every Nth answer lost
        std::string abortCode;
        Strings log;
    } rows[] = {
        {kRec1 + "\n" + kEnd, 0, 0, "", {"Bytes sent = 34", "T", "Please wait for Bravik to Copy........", "PROGRAM OK",
                                         "T", "Baud Rate changed to 9600", "Update complete"}},
        {kThree, 1, 4, "", {again, abort, "Error Code :  ", bye}},
        {kThree, 12, 0, "", endless},
        {kThree, 0, 0, "07", {"Sending new program...", abort, "Error Code : 07", bye}},
    };
    for (const auto& row : rows) {
        bravik::sim::Faults f;
        f.saTimes = row.sa;
        f.dropEvery = row.drop;
        f.abortCode = row.abortCode;
        Run(row.file, f);
        EXPECT_EQ(Strings(view.log.end() - static_cast<long>(row.log.size()), view.log.end()), row.log);
        EXPECT_EQ(dl.IsOpen(), row.log.back() != bye);
    }
    // The box that aborted went back to 9600 by itself: a new connect finds it.
    ASSERT_TRUE(dl.OpenComPort());
    EXPECT_EQ(s.ConsoleCommand("#01ID").text, "21040117");
}

TEST_F(UploadOnSimLine, ABadFileGoesOnlyWhenTheOperatorInsists) {
    const std::string bad = kRec1 + "\r\n:0400000701020304EB\r\n" + kEnd + "\r\n:0400000001020304F3\r\n";
    EXPECT_EQ(Run(bad).ending, app::Ending::Cancelled);
    EXPECT_TRUE(Wire(Dir::FromPc).empty());
    EXPECT_EQ(view.asked, Strings{"This file is not a clean Intel HEX image (2 problems):\nLine 2: unknown record type "
                                  "07\nLine 4: checksum F3, should be F2\nA box that takes a bad image is left without "
                                  "a working program.\nSend it anyway?"});
    view.sendUnchecked = true;
    EXPECT_EQ(Run(bad).ending, app::Ending::BoxError);  // the line after the end record finds no box listening
}

// A stop asked before the upload began is not forgotten as it begins.
TEST_F(UploadOnSimLine, AStopAskedBeforeTheStartSendsNothing) {
    EXPECT_EQ(Run(kThree, {}, [] { return true; }).ending, app::Ending::Cancelled);
    EXPECT_EQ(Wire(Dir::FromPc), Strings{});
    EXPECT_EQ(view.log.back(), view.StoppedText());
}

}  // namespace
