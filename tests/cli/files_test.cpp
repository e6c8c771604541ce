// The files of tessary-cli: names a box cannot choose, noise, paths that are no regular files, a full disk.

#include "tests/cli/CliRig.h"
#include "link/Files.h"
#include "testkit/FullDisk.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <regex>
#include <sys/stat.h>

namespace tessary::clitest {
namespace {

namespace fs = std::filesystem;
using testkit::ReadFile;

TEST(CliFiles, ABoxTextIsMadeAPlainFileName) {
    const std::pair<std::string, std::string> names[] = {
        {"21040117R", "21040117R"}, {"-rf x", "rf x"}, {".profile", "profile"}, {"a/b\\c:d\x01\xe9..", "a_b_c_d___"},
        {"", "unknown"}, {std::string(99, '7'), std::string(64, '7')}};
    for (const auto& [text, name] : names) EXPECT_EQ(link::FileNamePart(text), name) << text;
}

TEST(CliFiles, WhatIsNoRegularFileIsRefusedWithItsPathAndWhyAndNeverHangs) {
    CliRig rig;
    const std::string fifo = rig.Path("fifo"), loop = rig.Path("loop"), big = rig.Path("big.hex");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    fs::create_symlink(loop, loop);
    std::ofstream{big};
    fs::resize_file(big, 100 << 20);  // sparse
    const std::pair<Strings, std::string> rows[] = {  // the command, and what it says
        {{"ports", "--ini", fifo}, fifo + ": it is a FIFO"},
        {{"coef", "write", "--address", "1", fifo}, fifo + ": it is a FIFO"},
        {{"upload", "--address", "1", fifo}, fifo + ": it is a FIFO"},
        {{"upload", "--address", "1", "/dev/zero"}, "/dev/zero: it is a device"},
        {{"upload", "--address", "1", rig.dir.string()}, rig.dir.string() + ": it is a folder"},
        {{"upload", "--address", "1", big}, big + ": it is larger than 64 MiB"},
        {{"upload", "--address", "1", loop}, loop + ": Too many levels of symbolic links"},
    };
    for (const auto& [args, says] : rows) {
        const CliRun r = rig.Run(args, args[0] != "ports");  // a hang fails by the test's time-out
        EXPECT_EQ(r.rc, 3) << r.err;
        EXPECT_NE(r.err.find(says), std::string::npos) << r.err;
    }
}

TEST(CliFiles, ABoxNeverNamesTheFolderNoiseIsNoReadingAndAFullDiskLeavesWholeLines) {
    auto config = bravik::sim::demoLine();
    config.boxes[0].serial = "../../evil";
    config.boxes[0].logSets = 20;
    config.boxes[1].faults.garble = true;
    CliRig rig(config);
    ::setenv("HOME", rig.Path("dev").c_str(), 1);  // a folder that is there: the capture folder is dev/Tessary/
    CliRun r = rig.Run({"capture", "--count", "2", "01", "02=" + rig.Path("two.txt")});
    EXPECT_EQ(r.rc, 1);
    EXPECT_NE(r.err.find("2 of 4 readings got no answer (2 of them garbled)"), std::string::npos) << r.err;
    EXPECT_FALSE(fs::exists(rig.Path("evil.txt")));
    EXPECT_TRUE(std::regex_match(ReadFile(rig.Path("dev/Tessary/____evil.txt")),
                                 std::regex(R"((\d{4}/\d\d/\d\d, \d\d:\d\d:\d\d,[-0-9.]+,[-0-9.]+,\d+,\d+\r\n){2})")));
    EXPECT_EQ(ReadFile(rig.Path("two.txt")), "NoConnect\r\nNoConnect\r\n");

    testkit::FullDisk disk(rig.dir / "full");
    const std::string slot = disk.File("slot.txt", 30), all = disk.File("all.txt", 10), dump = disk.File("dump.txt", 30);
    disk.Fill();
    r = rig.Run({"capture", "--count", "2", "--append", "--all-serial", all, "01=" + slot, "02=" + rig.Path("ok.txt")});
    EXPECT_EQ(r.rc, 3);
    for (const auto& x : {"Cannot write " + all + ": ", "Cannot write " + slot + ": "})  // once each, not once a cycle
        EXPECT_TRUE(r.err.find(x) != std::string::npos && r.err.find(x) == r.err.rfind(x)) << r.err;
    EXPECT_EQ(std::ranges::count(ReadFile(rig.Path("ok.txt")), '\n'), 2);
    r = rig.Run({"log", "dump", "--address", "1", "--out", dump});
    EXPECT_EQ(r.rc, 3);
    EXPECT_NE(r.err.find(dump + ": "), std::string::npos) << r.err;
    for (const auto& [path, before] : disk.before) {
        const std::string now = ReadFile(path);
        EXPECT_TRUE(now.starts_with(before) && now.ends_with("\r\n")) << path << " ends in " << now.substr(before.size());
    }
}

}  // namespace
}  // namespace tessary::clitest
