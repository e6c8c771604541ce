// Coefficient transfer against the simulated boxes: the read, the files, the
// comparison and the write with its commit, down to the bytes on the wire.

#include "SimSession.h"
#include "coef/CoefTransfer.h"
#include "device/DeviceInfo.h"
#include "testkit/ScriptCoefView.h"
#include "testkit/SessionRig.h"

#include <gtest/gtest.h>

using namespace tessary;
using test::Strings;

namespace {

std::string Joined(const Strings& lines) {
    std::string out;
    for (const auto& l : lines) out += l + "\r\n";
    return out;
}

struct CoefOnSim : ::testing::Test, test::SimSession {
    testkit::ScriptCoefView view;
    coef::CoefTransfer coef{s, view};
    std::filesystem::path dir = std::filesystem::temp_directory_path() / ("tessary_coef_" + std::to_string(::getpid()));

    CoefOnSim() : SimSession([] { auto c = bravik::sim::demoLine(); return c.pacing = false, c; }()) {}  // #01 Digital, #05 Kestin
    void SetUp() override {
        ASSERT_TRUE(opened);
        std::filesystem::create_directories(dir);
        st().DefaultFolder = dir.string() + "/";
    }
    void TearDown() override { std::filesystem::remove_all(dir); }
    void Connect(const std::string& address) {
        st().CurrentAddress = address;
        device::ReadDeviceInfo(s);
        line.clearTraffic();
    }
    std::string Wire() { return Joined(test::Heard(line)); }
};

TEST_F(CoefOnSim, DigitalReadSaveOpenCompareWrite) {
    Connect("#01");
    coef.ReadTemperatureCoefficients();
    EXPECT_EQ(Wire(), "#01CAL\r\n");
    ASSERT_EQ(view.hex.size(), 17u);
    ASSERT_EQ(view.memo.size(), 71u);
    EXPECT_EQ((Strings{view.memo[2], view.memo[3], view.memo[6], view.memo[10], view.memo[14]}),
              (Strings{"Serial#: \t21040117", "Part No: \tP6100-A", "TMin\xB0" "C: \t-40", "N1: \t4", "OFS2: \t-1250"}));
    EXPECT_EQ(view.memo[44], "S1: \t0x00ABCDEF");
    EXPECT_EQ(testkit::ReadFile(coef.LastBackup()), Joined(view.hex));
    EXPECT_EQ(coef.LastBackup().substr(0, dir.string().size() + 18), dir.string() + "/backups/21040117-");

    view.savePath = (dir / "saved.HEX").string();
    coef.SaveCoefficientFile();
    EXPECT_EQ(view.saveProposals, Strings{".HEX|.HEX|All Files|*.* 21040117 HEX"});
    const Strings listing = view.memo, lines = view.hex;
    view.memo.clear();
    view.openPath = view.savePath;
    coef.OpenCoefficientFile();
    EXPECT_EQ(view.memo, listing);

    coef.WriteCoefficients();
    ASSERT_EQ(view.asked.size(), 1u);
    EXPECT_EQ(view.asked[0].substr(0, 42), "The box already holds these coefficients: ");
    EXPECT_EQ(Wire(), "#01CAL={" + Joined(lines) + "}\r\n#01CW\r\n");
    EXPECT_EQ(view.changeDlgShown, 1);
    EXPECT_TRUE(op.messages.empty()) << op.messages.front();

    // One bad checksum: one message, the listing all the same, and a field comparison before a write.
    std::string text = testkit::ReadFile(view.savePath);
    text[20] = text[20] == '0' ? '1' : '0';
    std::ofstream(view.openPath, std::ios::binary) << text;
    coef.OpenCoefficientFile();
    ASSERT_EQ(op.messages.size(), 1u);
    EXPECT_EQ(op.messages[0].substr(0, 58), "Checksum Line Error! Checksum at address 0000Should be: 00");
    EXPECT_EQ(view.memo.size(), 71u);
    // Asked first whether to send a file that fails the check, then the comparison.
    view.goOn = false;
    view.sendUnchecked = true;
    coef.WriteCoefficients();
    ASSERT_EQ(view.asked.size(), 3u);
    EXPECT_EQ(view.asked[1].substr(view.asked[1].find('\n')), "\nLine 1: checksum 26, should be 2A\nLoad it into the box anyway?");
    EXPECT_NE(view.asked.back().find("differ from the CAL block read from the box (serial "), std::string::npos);
    EXPECT_EQ(Wire(), "");
}

TEST_F(CoefOnSim, KestinBlocksRoundTripWithTheEepromCommit) {
    Connect("#05");
    for (const std::string word : {"CAL1", "CAL2"}) {
        word == "CAL1" ? coef.ReadPressureCoefficients() : coef.ReadTemperatureCoefficients();
        EXPECT_EQ(Wire(), "#05" + word + "\r\n");
        ASSERT_EQ(view.memo.size(), 9u);
        const Strings block = view.memo;
        const std::string ext = word == "CAL1" ? "CRF" : "CRT";
        view.savePath = view.openPath = (dir / ("b." + ext)).string();
        coef.SaveCoefficientFile();
        EXPECT_EQ(view.saveProposals.back(), "." + ext + "|." + ext + "|All Files|*.* 19980505 " + ext);
        coef.OpenCoefficientFile();
        EXPECT_EQ(coef.CoefCommand(), word);
        coef.WriteCoefficients();
        EXPECT_EQ(Wire(), "#05" + word + "={" + Joined(block) + "}\r\n#05EW\r\n");
        EXPECT_EQ(view.memo, block);  // the box's echo
    }
    EXPECT_TRUE(op.messages.empty()) << op.messages.front();
}

}  // namespace
