// coef, log, upload and capture on the simulated demo line: the wire and the
// files of each subcommand against the window's flow doing the same.

#include "coef/CoefTransfer.h"
#include "device/DeviceInfo.h"
#include "tests/cli/CliRig.h"
#include "testkit/SessionRig.h"

#include <gtest/gtest.h>

#include <cstdlib>

namespace tessary::clitest {
namespace {

namespace fs = std::filesystem;

// Files under `dir`, each file's bytes, in name order.
Strings FilesUnder(const fs::path& dir) {
    std::vector<fs::path> paths;
    for (const auto& e : fs::recursive_directory_iterator(dir))
        if (e.is_regular_file()) paths.push_back(e.path());
    std::sort(paths.begin(), paths.end());
    Strings out;
    for (const auto& p : paths) out.push_back(testkit::ReadFile(p.string()));
    return out;
}

struct WindowCoefView final : coef::CoefView {
    std::string openPath, savePath;
    std::optional<std::string> PickCoefFile(const std::string&) override { return openPath; }
    Strings PickQuickLoadFiles(const std::string&, const std::string&) override { return {}; }
    std::optional<std::string> PickSaveFile(const std::string&, const std::string&, const std::string&,
                                            const std::string&) override {
        return savePath;
    }
    bool AskGoOn(const std::string&) override { return true; }
    void ShowHexLines(const Strings&) override {}
    void ShowMemoLines(const Strings&) override {}
    void ShowHexBox(bool) override {}
    void ShowWriteButton() override {}
    void ShowProgress(const std::string&) override {}
    void ShowBackup(const std::string&) override {}
};

TEST(CliSubsystems, CoefReadAndCommittedWriteAreTheWindowsFlows) {
    CliRig rig;
    ::setenv("HOME", rig.Path("home").c_str(), 1);  // the backups' folder
    CliRun r = rig.Run({"coef", "read", "--address", "1", "--out", rig.Path("cli.hex")});
    ASSERT_EQ(r.rc, 0) << r.err;
    const Strings cliRead = rig.Heard();
    EXPECT_EQ(rig.Run({"coef", "read", "--address", "1", "--out", rig.Path("cli.hex")}).rc, 2) << "exists";
    EXPECT_EQ(rig.Heard(), Strings{});
    r = rig.Run({"coef", "write", "--address", "1", "--commit", rig.Path("cli.hex")});
    EXPECT_EQ(r.rc, 0) << r.err;
    const Strings cliWrite = rig.Heard();
    ASSERT_FALSE(cliWrite.empty());
    EXPECT_EQ(cliWrite.back(), "#01CW@9600");

    auto window = rig.OpenWindow();
    WindowCoefView view;
    view.savePath = rig.Path("window.hex");
    coef::CoefTransfer transfer(window->s, view);
    window->s.State().CurrentAddress = "#01";
    device::ReadDeviceInfo(window->s);
    transfer.btReadTempClick();
    transfer.SaveCoefClick();
    EXPECT_EQ(cliRead, rig.Heard());
    const std::string saved = testkit::ReadFile(rig.Path("cli.hex"));
    EXPECT_EQ(saved, testkit::ReadFile(rig.Path("window.hex")));
    EXPECT_EQ(saved.substr(saved.size() - 13), ":00000001FF\r\n");
    // Read, the write's echo, and the window's read: each backed up whole.
    EXPECT_EQ(FilesUnder(rig.dir / "home/Tessary/backups"), (Strings{saved, saved, saved}));

    view.openPath = rig.Path("cli.hex");
    device::ReadDeviceInfo(window->s);
    transfer.OpenCoefClick();
    transfer.btWriteMemClick();
    EXPECT_EQ(cliWrite, rig.Heard());
    EXPECT_TRUE(window->op.messages.empty());
}

}  // namespace
}  // namespace tessary::clitest
