#include "firmware/ImageCheck.h"
#include "firmware/Upload.h"
#include "testkit/DeviceFixture.h"
#include "testkit/RecordingFirmwareView.h"

#include <gtest/gtest.h>

#include <deque>
#include <filesystem>
#include <unistd.h>

using namespace tessary;
using namespace tessary::testkit;
using Strings = std::vector<std::string>;

namespace {

const Strings kAbort = {"Bravik Aborting Communications"};
const std::string kGoodbye = "Sorry your having trouble. Goodbye";

Strings Join(std::initializer_list<Strings> parts) {
    Strings all;
    for (const auto& p : parts) all.insert(all.end(), p.begin(), p.end());
    return all;
}
Strings Times(int n, const std::string& s) { return Strings(static_cast<std::size_t>(n), s); }

struct Row {
    const char* name;
    std::string file;           // bytes of the image
    Strings replies;            // one per write, "" = silence
    Strings log;                // after "File Open"
    Strings sent;               // after "#01BR=57600\r\n"
    firmware::UploadEnd end;
    bool portOpen;
};

struct FirmwareUpload : DeviceFixture {
    RecordingFirmwareView view;
    std::string path = (std::filesystem::temp_directory_path() / ("tessary_fw_" + std::to_string(::getpid()) + ".hex")).string();
    std::deque<std::string> replies;

    void SetUp() override {
        DeviceFixture::SetUp();
        port->onWrite = [this](const std::string&) {
            if (replies.empty()) return;
            if (!replies.front().empty()) port->Arrive(replies.front() + "\r\n", std::chrono::milliseconds(2));
            replies.pop_front();
        };
        view.file = path;
    }
    void TearDown() override { std::filesystem::remove(path); }
    firmware::UploadEnd Run(const std::string& file, const Strings& script) {
        WriteBytes(path, file);
        replies.assign(script.begin(), script.end());
        return firmware::Uploader(*s, view).BitBtn1Click("#01");
    }
};

TEST_F(FirmwareUpload, PathsThroughTheUpload) {
    const std::string two = kRec1 + "\r\n" + kEnd + "\r\n";
    const std::string r1 = kRec1 + "\r\n", r2 = kRec2 + "\r\n", end = kEnd + "\r\n";
    const Strings start = {"Baud rate changed to 57600", "PR command sent to Bravik", "READY"};
    const Strings closing = {"T", "Please wait for Bravik to Copy........"};
    const Row rows[] = {
        {"LF-only ends and a last line without one get CR LF each", kRec1 + "\n" + kRec2 + "\n" + kEnd,
         {"57600", "READY", "OK", "OK", "OK\r\nPROGRAM OK"},
         Join({start, {"Size of file is 75", "Sending new program...", "Finished", "Bytes sent = 79"}, closing,
               {"PROGRAM OK", "T", "Baud Rate changed to 9600", "Update complete"}}),
         {"#01PR\r\n", r1, r2, end}, firmware::UploadEnd::Finished, true},
        {"no 57600 to the speed change ends silently", two, {"ERROR 1"}, {}, {}, firmware::UploadEnd::NoSpeedAnswer,
         true},
        {"not ready skips the image but still waits and goes back to 9600", two, {"57600", "ERROR 1"},
         Join({{"Baud rate changed to 57600", "PR command sent to Bravik", "ERROR 1", "Bravik not ready", "Finished",
                "Bytes sent = 0"},
               closing, {"NoConnect", "T", "Baud Rate changed to 9600", "Update complete"}}),
         {"#01PR\r\n"}, firmware::UploadEnd::Finished, true},
        {"a resend without an answer aborts without a code", two, {"57600", "READY", "SA", ""},
         Join({start, {"Size of file is 34", "Sending new program...", "Send Again!   " + r1}, kAbort,
               {"Error Code :  ", kGoodbye}}),
         {"#01PR\r\n", r1, r1}, firmware::UploadEnd::Aborted, false},
        {"endless SA gives up after the limit", two, Join({{"57600", "READY"}, Times(12, "SA")}),
         Join({start, {"Size of file is 34", "Sending new program..."}, Times(firmware::kMaxResends, "Send Again!   " + r1),
               kAbort, {"Gave up: the box asked for the same line 11 times", kGoodbye}}),
         Join({{"#01PR\r\n"}, Times(firmware::kMaxResends + 1, r1)}), firmware::UploadEnd::Aborted, false},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        view.log.clear();
        port->writes.clear();
        port->rateChanges.clear();
        if (!dl->IsOpen()) {
            ASSERT_TRUE(dl->OpenComPort());
        }
        EXPECT_EQ(Run(row.file, row.replies), row.end);
        EXPECT_EQ(view.log, Join({{"File Open"}, row.log}));
        EXPECT_EQ(port->writes, Join({{"#01BR=57600\r\n"}, row.sent}));
        EXPECT_EQ(dl->IsOpen(), row.portOpen);
        const std::vector<std::uint32_t> rates = row.log.empty() ? std::vector<std::uint32_t>{} : std::vector<std::uint32_t>{57600, 9600};
        EXPECT_EQ(port->rateChanges, rates);
        EXPECT_EQ(dl->LinkBaudRate(), 9600u);
        EXPECT_EQ(dl->ResponseTimeoutMs(), 1000u);
        EXPECT_FALSE(view.progressShown);
        EXPECT_TRUE(op.messages.empty());
    }
    EXPECT_EQ(view.filters.front(), "Bravik Hex|*.hex|All Files|*.*");
}

TEST_F(FirmwareUpload, AFileThatCannotBeReadIsNamedWithItsSizeAndNothingIsSent) {
    view.file = path + ".missing";
    EXPECT_EQ(firmware::Uploader(*s, view).BitBtn1Click("#01"), firmware::UploadEnd::FileProblem);
    EXPECT_EQ(op.messages, Strings{"Sorry, there is a problem - the File Size is 4294967295      File Name is: " +
                                   path + ".missing"});
    view.file.reset();  // Cancel
    EXPECT_EQ(firmware::Uploader(*s, view).BitBtn1Click("#01"), firmware::UploadEnd::Cancelled);
    EXPECT_TRUE(view.log.empty());
    EXPECT_TRUE(port->writes.empty());
}

TEST_F(FirmwareUpload, ABadImageIsSentOnlyWhenTheOperatorInsists) {
    const std::string bad = kRec1 + "\r\n:0400000001020304F3\r\n";  // bad checksum, no end record
    EXPECT_EQ(Run(bad, {"57600"}), firmware::UploadEnd::NotSent);
    EXPECT_EQ(view.log, (Strings{"File Open", "Not sent: the file is not a clean Intel HEX image"}));
    EXPECT_TRUE(port->writes.empty());
    ASSERT_EQ(view.asked.size(), 1u);
    EXPECT_EQ(view.asked[0],
              "This file is not a clean Intel HEX image (2 problems):\nLine 2: checksum F3, should be F2\n"
              "No end record (:00000001FF)\nA box that takes a bad image is left without a working program.\n"
              "Send it anyway?");
    view.sendUnchecked = true;
    EXPECT_EQ(Run(bad, {"57600", "NOT NOW"}), firmware::UploadEnd::Finished);
    EXPECT_EQ(port->writes.size(), 2u);
}

TEST(ImageCheck, FindsEveryKindOfBadLine) {
    const struct {
        Strings lines;
        Strings problems;
    } rows[] = {
        {{kRec1, kRec2, kEnd}, {}},
        {{"", "0400000001020304F2", ":0400000001020304F", ":04000000010203G4F2", ":0500000001020304F2", kEnd},
         {"Line 1: empty line", "Line 2: no start code ':'", "Line 3: odd number of hex digits",
          "Line 4: character 'G' at column 16 is not a hex digit",
          "Line 5: byte count 05 asks for 5 data bytes, the line holds 4"}},
        {{":0400000701020304EB", ":0100000100FE", kEnd, kRec1},
         {"Line 1: unknown record type 07", "Line 2: end record with data", "Line 4: after the end record"}},
        {{}, {"No end record (:00000001FF)"}},
    };
    for (const auto& row : rows) {
        const auto report = firmware::CheckImage(row.lines);
        EXPECT_EQ(report.problems, row.problems);
    }
    Strings many(8, "x");
    many.push_back(kEnd);
    const auto report = firmware::CheckImage(many);
    EXPECT_EQ(report.badLines, 8u);
    EXPECT_EQ(report.problems.size(), firmware::kProblemsShown);
}

}  // namespace
