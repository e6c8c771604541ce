// The files of tessary-cli: names a box cannot choose, noise that is no
// reading, paths that are no regular files, and a full disk.

#include "tests/cli/CliRig.h"
#include "link/Files.h"
#include "testkit/FullDisk.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <sys/stat.h>
#include <thread>

namespace tessary::clitest {
namespace {

namespace fs = std::filesystem;
using testkit::ReadFile;
constexpr auto npos = std::string::npos;

TEST(CliFiles, ABoxNeverChoosesTheFolderAndNoiseIsFiledAsNoReading) {
    auto config = bravik::sim::demoLine();
    config.boxes[0].serial = "../../evil";
    config.boxes[1].faults.garble = true;
    CliRig rig(config);
    fs::create_directory(rig.Path("h"));
    ::setenv("HOME", rig.Path("h").c_str(), 1);  // the capture folder: h/Tessary/
    const CliRun r = rig.Run({"capture", "--count", "2", "01", "02=" + rig.Path("two.txt")});
    EXPECT_EQ(r.rc, 1);
    EXPECT_NE(r.err.find("2 of 4 readings got no answer (2 of them garbled)"), npos) << r.err;
    EXPECT_FALSE(fs::exists(rig.Path("evil.txt")));
    EXPECT_EQ(std::ranges::count(ReadFile(rig.Path("h/Tessary/____evil.txt")), '\n'), 2);
    EXPECT_EQ(ReadFile(rig.Path("two.txt")), "NoConnect\r\nNoConnect\r\n");

    const std::pair<std::string, std::string> names[] = {
        {"21040117R", "21040117R"}, {"-rf x", "rf x"}, {".profile", "profile"}, {"a/b\\c:d\x01\xe9.", "a_b_c_d__"},
        {"..", "_"}, {"", "unknown"}, {std::string(99, '7'), std::string(64, '7')}};
    for (const auto& [text, name] : names) EXPECT_EQ(link::FileNamePart(text), name) << text;
}

TEST(CliFiles, WhatIsNoRegularFileIsRefusedWithItsPathAndWhyAndNeverHangs) {
    CliRig rig;
    const std::string fifo = rig.Path("fifo"), loop = rig.Path("loop"), big = rig.Path("big.hex");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    fs::create_symlink(loop, loop);
    std::ofstream{big};
    fs::resize_file(big, 100 << 20);
    // A reader stuck on the FIFO is let go after 5 s, so a hang fails the test instead of stalling it.
    std::atomic<bool> done{false};
    std::thread release([&] {
        for (int i = 0; i < 100 && !done; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(50));
        if (const int fd = ::open(fifo.c_str(), O_WRONLY | O_NONBLOCK); fd >= 0) ::close(fd);
    });
    const struct {
        Strings args;
        std::string path, why;
    } rows[] = {
        {{"ports", "--ini", fifo}, fifo, "it is a FIFO"},
        {{"coef", "write", "--address", "1", fifo}, fifo, "it is a FIFO"},
        {{"upload", "--address", "1", fifo}, fifo, "it is a FIFO"},
        {{"upload", "--address", "1", "/dev/zero"}, "/dev/zero", "it is a device"},
        {{"upload", "--address", "1", rig.dir.string()}, rig.dir.string(), "it is a folder"},
        {{"upload", "--address", "1", big}, big, "it is larger than 64 MiB"},
        {{"upload", "--address", "1", loop}, loop, "Too many levels of symbolic links"},
    };
    for (const auto& row : rows) {
        const auto began = std::chrono::steady_clock::now();
        const CliRun r = rig.Run(row.args, row.args[0] != "ports");
        EXPECT_LT(std::chrono::steady_clock::now() - began, std::chrono::seconds(4)) << row.path;
        EXPECT_EQ(r.rc, 3) << r.err;
        EXPECT_NE(r.err.find(row.path + ": " + row.why), npos) << r.err;
        EXPECT_EQ(rig.Heard(), Strings{}) << row.path;
    }
    done = true;
    release.join();
}

TEST(CliFiles, AFullDiskLeavesWholeLinesAndEveryFileThatFailedIsNamed) {
    auto config = bravik::sim::demoLine();
    config.boxes[0].logSets = 20;
    CliRig rig(config);
    testkit::FullDisk disk(rig.dir / "full");
    const std::string slot = disk.File("slot.txt", 30), all = disk.File("all.txt", 10), dump = disk.File("dump.txt", 30);
    disk.Fill();
    CliRun r = rig.Run({"capture", "--count", "2", "--append", "--all-serial", all, "01=" + slot, "02=" + rig.Path("ok.txt")});
    EXPECT_EQ(r.rc, 3);
    for (const auto& path : {all, slot}) {  // once each, not once a cycle
        const auto at = r.err.find("Cannot write " + path + ": ");
        EXPECT_TRUE(at != npos && r.err.find("Cannot write " + path + ": ", at + 1) == npos) << r.err;
    }
    EXPECT_EQ(std::ranges::count(ReadFile(rig.Path("ok.txt")), '\n'), 2);
    r = rig.Run({"log", "dump", "--address", "1", "--out", dump});
    EXPECT_EQ(r.rc, 3);
    EXPECT_NE(r.err.find(dump + ": "), npos) << r.err;
    for (const auto& [path, before] : disk.Before()) {
        const std::string now = ReadFile(path);
        EXPECT_TRUE(now.starts_with(before) && now.ends_with("\r\n")) << path << " ends in " << now.substr(before.size());
    }
}

}  // namespace
}  // namespace tessary::clitest
