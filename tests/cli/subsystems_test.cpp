// log, upload and capture on the simulated demo line: the wire and the files
// of each subcommand (coef: faults_test.cpp).

#include "CliRig.h"
#include "testkit/SessionRig.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <cstdlib>
#include <regex>
#include <spawn.h>
#include <sys/wait.h>
#include <thread>

namespace tessary::clitest {
namespace {

TEST(CliSubsystems, LogSetUpAndADumpSendTheFlowsCommandsAndKeepTheStreamWhole) {
    CliRig rig;
    const auto run = [&](Strings args) {  // `log ARGS --address #01`: what the box heard last
        args.insert(args.begin(), "log");
        args.insert(args.end(), {"--address", "#01"});
        EXPECT_EQ(rig.Run(args).rc, 0);
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

    const std::string file = rig.Path("cli.txt");
    std::ofstream(file, std::ios::binary) << "kept\r\n";
    EXPECT_EQ(rig.Run({"log", "dump", "--address", "1", "--seconds", "--comment", "bench 4", "--out", file}).rc, 0);
    // After the read-out: the set count, the time form, the whole log; the file gets every line after "LD".
    rig.line.waitForTraffic([](const auto& t) { return !t.empty() && t.back().text == "}"; }, std::chrono::seconds(1));
    std::string expected = "kept\r\nbench 4\r\n";
    Strings asked;
    for (const auto& t : rig.line.traffic()) {
        if (t.dir == bravik::sim::Traffic::Dir::FromPc) asked.push_back(t.text);
        else if (t.dir == bravik::sim::Traffic::Dir::ToPc && !asked.empty() && asked.back() == "#01LD")
            expected += t.text + "\r\n";
    }
    ASSERT_GE(asked.size(), 3u);
    EXPECT_EQ(Strings(asked.end() - 3, asked.end()), (Strings{"#01LL", "#01TS", "#01LD"}));
    EXPECT_EQ(testkit::ReadFile(file), expected);
    EXPECT_GE(std::count(expected.begin(), expected.end(), '\n'), 5) << "two sets at least";
}

TEST(CliSubsystems, UploadSendsTheImageAtTheFastRateAndLogsOnStandardOutput) {
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
    EXPECT_EQ(rig.Heard(), (Strings{"#01BR=57600@9600", "#01PR@57600",
                                    ":10000000020101042104011750363130302D410026@57600",
                                    ":1000100000000000001EF811020304041234567898@57600", ":00000001FF@57600"}));
    EXPECT_EQ(std::regex_replace(r.out, std::regex("\\d\\d:\\d\\d:\\d\\d\n"), "(time)\n"),
              "File Open\nBaud rate changed to 57600\nPR command sent to Bravik\nREADY\nSize of file is 103\n"
              "Sending new program...\nFinished\nBytes sent = 103\n(time)\nPlease wait for Bravik to Copy........\n"
              "PROGRAM OK\n(time)\nBaud Rate changed to 9600\nUpdate complete\n");

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
        EXPECT_EQ(r.out.find("Upload stopped: a second signal") == std::string::npos, signals == 1) << r.out;
    }
    // The adapter pulled while the box copies: said as such, not as a silent box.
    config.boxes[0].copyMs = 5000;
    CliRig pulled(config);
    std::thread puller([&] {
        pulled.line.waitForTraffic([](const auto& t) { return t.size() > 1 && t[t.size() - 2].text == ":00000001FF"; },
                                   std::chrono::seconds(5));
        std::this_thread::sleep_for(std::chrono::milliseconds(300));  // the "OK" on its way; the copy takes 5 s
        pulled.line.hangUp();
    });
    r = pulled.Run({"upload", "--address", "1", rig.Path("image.hex")});
    puller.join();
    EXPECT_EQ(r.rc, 1);
    EXPECT_NE(r.err.find("the adapter was unplugged while the box copied the program"), std::string::npos) << r.err;
}

TEST(CliSubsystems, ACaptureEndedBySigtermLeavesWholeLines) {
    CliRig rig;
    // The program itself, ended by SIGTERM after its second line.
    const std::string out = rig.Path("term.txt");
    std::vector<std::string> args = {TESSARY_CLI_PROGRAM, "capture", "--port", "COM1=" + rig.line.slavePath(),
                                     "--ini", rig.Path("empty.ini"), "1=" + out};
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    pid_t pid = 0;
    ASSERT_EQ(::posix_spawn(&pid, argv[0], nullptr, nullptr, argv.data(), environ), 0);
    for (int i = 0; i < 100 && std::ranges::count(testkit::ReadFile(out), '\n') < 2; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    ::kill(pid, SIGTERM);
    int status = 0;
    ASSERT_EQ(::waitpid(pid, &status, 0), pid);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    const std::string text = testkit::ReadFile(out);
    EXPECT_EQ(text.substr(text.size() - 2), "\r\n");
    for (std::size_t at = 0; at < text.size(); at = text.find("\r\n", at) + 2)
        EXPECT_EQ(text.substr(at + 4, 1) + text.substr(at + 10, 2), "/, ") << text;
}

TEST(CliSubsystems, ACaptureCountsNoPausedCycleAndAnEndWhileTheAdapterIsAwayIsSaid) {
    // Behind a link, as a by-id name: the watch finds the line when it is back.
    CliRig rig(bravik::sim::demoLine(
        (std::filesystem::temp_directory_path() / ("tessary_cli_" + std::to_string(::getpid())) / "L").string()));
    const auto unplugAfterAReading = [&](std::chrono::milliseconds away, const std::function<void()>& then) {
        rig.Heard();
        return std::thread([&rig, away, then] {
            rig.line.waitForTraffic(
                [](const auto& t) { return t.size() > 1 && t[t.size() - 2].text == "#01TM;D1;D2;D3;D4"; },
                std::chrono::seconds(5));
            std::this_thread::sleep_for(std::chrono::milliseconds(300));  // the answer on its way
            rig.line.hangUp();
            std::this_thread::sleep_for(away);
            then();
        });
    };
    const std::string gap = R"(Gap: adapter unplugged [0-9/, :]+ - )", reading = R"(\d{4}/[^\r\n]*\r\n)";
    std::thread back = unplugAfterAReading(std::chrono::milliseconds(1500), [&] { rig.line.restore(); });
    CliRun r = rig.Run({"capture", "--count", "3", "01=" + rig.Path("m.txt")});
    back.join();
    EXPECT_EQ(r.rc, 0) << r.err;
    EXPECT_TRUE(std::regex_match(testkit::ReadFile(rig.Path("m.txt")),
                                 std::regex(reading + gap + "back [0-9/, :]+\r\n" + reading + reading)));

    std::thread signal = unplugAfterAReading(std::chrono::milliseconds(1500), [&] { rig.signals = 1; });
    r = rig.Run({"capture", "01=" + rig.Path("n.txt")});
    signal.join();
    EXPECT_EQ(r.rc, 1);
    EXPECT_NE(r.err.find("Capture stopped while the adapter was unplugged: each file ends with a Gap line"),
              std::string::npos) << r.err;
    EXPECT_EQ(r.err.find("skipped"), std::string::npos) << r.err;
    EXPECT_TRUE(std::regex_match(testkit::ReadFile(rig.Path("n.txt")),
                                 std::regex("(" + reading + ")+" + gap + "capture stopped [0-9/, :]+\r\n")));

    // The files charted: the gap breaks the lines, adds no row; a PNG of the asked size, with no display.
    r = rig.Run({"plot", rig.Path("m.txt"), rig.Path("n.txt"), "--csv", "-"}, false);
    EXPECT_EQ(r.rc, 0) << r.err;
    EXPECT_EQ(r.out.substr(0, r.out.find('\r')), "time,m pressure,m temperature,n pressure,n temperature");
    EXPECT_GE(std::ranges::count(r.out, '\n'), 4);
    EXPECT_TRUE(std::regex_search(r.out, std::regex(R"(\n\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d,[0-9.]+,[0-9.]+,,\r\n)")));
    // Exactly the second asked, in both forms, among rows a second apart.
    std::ofstream(rig.Path("s.txt")) << "2007/05/17, 12:30:00,1,2\n2007/05/17, 12:30:01,3,4\n2007/05/17, 12:30:02,5,6\n";
    r = rig.Run({"plot", rig.Path("s.txt"), "--csv", "-", "--from", "2007-05-17T12:30:01", "--to", "2007/05/17, 12:30:01"},
                false);
    EXPECT_EQ(r.out, "time,s pressure,s temperature\r\n2007-05-17T12:30:01,3,4\r\n") << r.err;
    r = rig.Run({"plot", rig.Path("m.txt"), "--png", rig.Path("m.png")}, false);
    EXPECT_EQ(r.rc, 2);
    EXPECT_NE(r.err.find("PNG is not in this build"), std::string::npos);
#ifdef TESSARY_CLI_DRAWS_PNG
    const std::string png = rig.Path("m.png"), size = "640x480";
    const std::string command = "env -u DISPLAY -u WAYLAND_DISPLAY " TESSARY_CLI_PROGRAM " plot --png " + png +
                                " --size " + size + " " + rig.Path("m.txt") + " 2>/dev/null";
    ASSERT_EQ(std::system(command.c_str()), 0);
    const std::string header = testkit::ReadFile(png).substr(0, 24);
    ASSERT_EQ(header.size(), 24u);
    EXPECT_EQ(header.substr(1, 3), "PNG");
    EXPECT_EQ(header.substr(16, 8), std::string("\0\0\x02\x80\0\0\x01\xe0", 8));  // 640, 480
#endif
}

}  // namespace
}  // namespace tessary::clitest
