// coef, log, upload and capture on the simulated demo line: the wire and the
// files of each subcommand against the window's flow doing the same.

#include "capture/CaptureText.h"
#include "coef/CoefTransfer.h"
#include "device/DeviceInfo.h"
#include "firmware/Upload.h"
#include "tests/cli/CliRig.h"
#include "testkit/SessionRig.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
#include <spawn.h>
#include <sys/wait.h>
#include <thread>

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
    bool AskMakePermanent() override { return true; }
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


TEST(CliSubsystems, LogSetUpAndADumpSendTheFlowsCommandsAndKeepTheStreamWhole) {
    CliRig rig;
    const Strings base = {"log", "--address", "#01"};
    auto run = [&](Strings args) {
        args.insert(args.begin() + 1, base.begin() + 1, base.end());
        args.insert(args.begin(), base[0]);
        const CliRun r = rig.Run(args);
        EXPECT_EQ(r.rc, 0) << r.err;
        const Strings heard = rig.Heard();
        return heard.empty() ? std::string() : heard.back();
    };
    EXPECT_EQ(run({"init", "--items", "pressure,temperature-counts"}), "#01LI=TM,D1,D4@9600");
    EXPECT_EQ(run({"rate", "--rate", "1"}), "#01LR=1@9600");
    EXPECT_EQ(run({"start", "--now"}), "#01LS=START@9600");
    // A stop at a time carries the start time the read-out found.
    const std::string at = run({"stop", "--at", "2030-02-03 04:05:06"});
    EXPECT_EQ(at.substr(0, 8) + at.substr(25), "#01LS=20,2030:02:03:04:05:06@9600") << at;
    std::this_thread::sleep_for(std::chrono::milliseconds(2500));
    EXPECT_EQ(run({"stop", "--now"}), "#01LS=STOP@9600");

    std::ofstream(rig.Path("cli.txt"), std::ios::binary) << "kept\r\n";
    const CliRun r = rig.Run({"log", "dump", "--address", "1", "--seconds", "--comment", "bench 4", "--out",
                              rig.Path("cli.txt")});
    EXPECT_EQ(r.rc, 0) << r.err;
    // After the read-out: the set count, the time form, the whole log; the file gets every line after "LD".
    rig.line.waitForTraffic([](const auto& t) { return !t.empty() && t.back().text == "}"; }, std::chrono::seconds(1));
    const auto traffic = rig.line.traffic();
    std::string expected = "kept\r\nbench 4\r\n";
    Strings asked;
    bool streaming = false;
    for (const auto& t : traffic) {
        if (t.dir == bravik::sim::Traffic::Dir::FromPc) asked.push_back(t.text);
        streaming = streaming || t.text == "#01LD";
        if (streaming && t.dir == bravik::sim::Traffic::Dir::ToPc) expected += t.text + "\r\n";
    }
    ASSERT_GE(asked.size(), 3u);
    EXPECT_EQ(Strings(asked.end() - 3, asked.end()), (Strings{"#01LL", "#01TS", "#01LD"}));
    const std::string dumped = testkit::ReadFile(rig.Path("cli.txt"));
    EXPECT_EQ(dumped, expected);
    EXPECT_EQ(dumped.substr(dumped.size() - 3), "}\r\n");
    EXPECT_GE(std::count(dumped.begin(), dumped.end(), '\n'), 5) << "two sets at least";
}

struct WindowFirmwareView final : firmware::FirmwareView {
    std::string path;
    Strings logged;
    std::optional<std::string> PickImageFile(const std::string&) override { return path; }
    bool AskSendUncheckedImage(const std::string&) override { return false; }
    void Log(const std::string& line) override { logged.push_back(line); }
    void ShowProgress(std::uint32_t) override {}
    void SetProgress(std::uint32_t) override {}
    void HideProgress() override {}
    std::string TimeOfDay() override { return "(time)"; }
};

TEST(CliSubsystems, UploadIsTheWindowsFlowWithItsStatusOnStandardOutput) {
    auto config = bravik::sim::demoLine();
    config.boxes[0].copyMs = 300;
    CliRig rig(config);
    std::ofstream(rig.Path("bad.hex")) << ":10000000020101042104011750363130302D410027\r\n";
    CliRun r = rig.Run({"upload", "--address", "1", rig.Path("bad.hex")});
    EXPECT_EQ(r.rc, 2);
    EXPECT_NE(r.err.find("upload needs --yes to send it anyway"), std::string::npos) << r.err;
    EXPECT_EQ(rig.Heard(), Strings{});

    std::ofstream(rig.Path("image.hex")) << ":10000000020101042104011750363130302D410026\r\n"
                                            ":1000100000000000001EF811020304041234567898\r\n:00000001FF\r\n";
    r = rig.Run({"upload", "--address", "1", rig.Path("image.hex")});
    EXPECT_EQ(r.rc, 0) << r.err;
    const Strings cli = rig.Heard();
    EXPECT_EQ(cli.size(), 5u);  // BR=57600, PR and the three lines
    EXPECT_EQ(cli.at(2), ":10000000020101042104011750363130302D410026@57600");

    auto window = rig.OpenWindow();
    WindowFirmwareView view;
    view.path = rig.Path("image.hex");
    EXPECT_EQ(firmware::Uploader(window->s, view).BitBtn1Click("#01"), firmware::UploadEnd::Finished);
    EXPECT_EQ(cli, rig.Heard());
    std::istringstream out(r.out);
    std::string line;
    for (const auto& logged : view.logged) {
        std::getline(out, line);
        EXPECT_TRUE(logged == "(time)" || line == logged) << line << " / " << logged;
    }
    EXPECT_EQ(view.logged.back(), "Update complete");
    window.reset();

    // Signals that come once the first image line went out: one is let pass, two stop it before the next line.
    bravik::sim::Faults slow;
    slow.lateMs = 100;
    rig.line.setFaults(1, slow);
    for (int signals : {1, 2}) {
        std::thread signaller([&] {
            rig.line.waitForTraffic([](const auto& t) { return !t.empty() && t.back().text.rfind(":10", 0) == 0; },
                                    std::chrono::seconds(5));
            rig.signals = signals;
        });
        r = rig.Run({"upload", "--address", "1", rig.Path("image.hex")});
        signaller.join();
        rig.signals = 0;
        EXPECT_EQ(r.rc, signals == 1 ? 0 : 1) << r.err;
        EXPECT_EQ(rig.Heard().size(), signals == 1 ? 5u : 3u) << r.err;
    }
}

TEST(CliSubsystems, CaptureFilesHoldTheBoxesAnswersAndASigtermLeavesWholeLines) {
    CliRig rig;
    const CliRun r = rig.Run({"capture", "--duration", "3", "1=" + rig.Path("one.txt"), "#02=" + rig.Path("two.txt")});
    EXPECT_EQ(r.rc, 0) << r.err;
    // Each cycle asks #01 then #02; each file gets the answers of its box, date made readable.
    std::map<std::string, std::string> files;
    Strings asked;
    rig.line.waitForTraffic([](const auto& t) { return t.back().dir == bravik::sim::Traffic::Dir::ToPc; },
                            std::chrono::seconds(1));
    const auto traffic = rig.line.traffic();
    for (std::size_t i = 0; i + 1 < traffic.size(); ++i) {
        if (traffic[i].text.find("TM;D1;D2;D3;D4") == std::string::npos) continue;
        asked.push_back(traffic[i].text);
        files[traffic[i].text.substr(1, 2)] += capture::FormatCaptureTime(traffic[i + 1].text) + "\r\n";
    }
    EXPECT_EQ(asked, (Strings{"#01TM;D1;D2;D3;D4", "#02TM;D1;D2;D3;D4", "#01TM;D1;D2;D3;D4", "#02TM;D1;D2;D3;D4",
                              "#01TM;D1;D2;D3;D4", "#02TM;D1;D2;D3;D4"}));
    EXPECT_EQ(testkit::ReadFile(rig.Path("one.txt")), files["01"]);
    EXPECT_EQ(testkit::ReadFile(rig.Path("two.txt")), files["02"]);

    // The program itself, ended by SIGTERM after its second line.
    const std::string out = rig.Path("term.txt");
    std::vector<std::string> args = {TESSARY_CLI_PROGRAM, "capture", "--port", "COM1=" + rig.line.slavePath(),
                                     "--ini", rig.Path("empty.ini"), "1=" + out};
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    pid_t pid = 0;
    ASSERT_EQ(::posix_spawn(&pid, argv[0], nullptr, nullptr, argv.data(), environ), 0);
    const auto lines = [&] {
        const std::string text = testkit::ReadFile(out);
        return std::count(text.begin(), text.end(), '\n');
    };
    for (int i = 0; i < 100 && lines() < 2; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(50));
    ::kill(pid, SIGTERM);
    int status = 0;
    ASSERT_EQ(::waitpid(pid, &status, 0), pid);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    const std::string text = testkit::ReadFile(out);
    ASSERT_GE(text.size(), 2u);
    EXPECT_EQ(text.substr(text.size() - 2), "\r\n");
    for (std::size_t at = 0; at < text.size(); at = text.find("\r\n", at) + 2)
        EXPECT_EQ(text.substr(at + 4, 1) + text.substr(at + 10, 2), "/, ") << text;
}

}  // namespace
}  // namespace tessary::clitest
