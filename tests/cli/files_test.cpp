// The files of tessary-cli: names a box cannot choose, noise, paths that are no regular files, a full disk.

#include "CliRig.h"
#include "link/Files.h"
#include "testkit/SessionRig.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <regex>
#include <sched.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>

namespace tessary::clitest {
namespace {

namespace fs = std::filesystem;
using testkit::ReadFile;

// A full disk but for `room` bytes after chosen files: a filled 64 KiB tmpfs where the test may mount
// one (root, own mount namespace), else RLIMIT_FSIZE, which cuts a write the same way: short, then failing.
struct FullDisk {
    static constexpr std::size_t kPage = 4096;
    std::filesystem::path dir;
    bool mounted = false;
    rlimit saved{};  // restored at the end

    explicit FullDisk(std::filesystem::path folder) : dir(std::move(folder)) {
        std::filesystem::create_directories(dir);
        mounted = ::unshare(CLONE_NEWNS) == 0 && ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0 &&
                  ::mount("tmpfs", dir.c_str(), "tmpfs", 0, "size=64k") == 0;
        ::getrlimit(RLIMIT_FSIZE, &saved);
    }
    ~FullDisk() {
        if (mounted) ::umount2(dir.c_str(), MNT_DETACH);
        ::setrlimit(RLIMIT_FSIZE, &saved);
    }
    // A file of one whole line that leaves `room` bytes in its page.
    static std::string Line(std::size_t room) { return std::string(kPage - room - 2, 'x') + "\r\n"; }
    std::string File(const std::string& leaf, std::size_t room) {
        std::ofstream((dir / leaf), std::ios::binary) << Line(room);
        return (dir / leaf).string();
    }
    // From now on no file takes more than its room.
    void Fill() {
        std::ofstream filler(dir / "filler", std::ios::binary);
        for (const std::string page(kPage, 'f'); mounted && filler.write(page.data(), kPage) && filler.flush();) {}
        const rlimit low{kPage, saved.rlim_max};
        std::signal(SIGXFSZ, SIG_IGN);
        if (!mounted) ::setrlimit(RLIMIT_FSIZE, &low);
    }
};

TEST(CliFiles, WhatIsNoRegularFileIsRefusedWithItsPathAndWhyAndNeverHangs) {
    CliRig rig;
    const std::string fifo = rig.Path("fifo"), big = rig.Path("big.hex");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    std::ofstream{big};
    fs::resize_file(big, 100 << 20);  // sparse
    const std::pair<Strings, std::string> rows[] = {  // the command, and what it says
        {{"ports", "--ini", fifo}, fifo + ": it is a FIFO"},
        {{"coef", "write", "--address", "1", fifo}, fifo + ": it is a FIFO"},
        {{"upload", "--address", "1", fifo}, fifo + ": it is a FIFO"},
        {{"upload", "--address", "1", "/dev/zero"}, "/dev/zero: it is a device"},
        {{"upload", "--address", "1", big}, big + ": it is larger than 64 MiB"},
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
    EXPECT_EQ(link::FileNamePart("-.a\\b:c\x01\xe9.." + std::string(99, '7')), "a_b_c___" + std::string(56, '7'));
    EXPECT_EQ(link::FileNamePart(""), "unknown");
    EXPECT_TRUE(std::regex_match(ReadFile(rig.Path("dev/Tessary/____evil.txt")),
                                 std::regex(R"((\d{4}/\d\d/\d\d, \d\d:\d\d:\d\d,[-0-9.]+,[-0-9.]+,\d+,\d+\r\n){2})")));
    EXPECT_EQ(ReadFile(rig.Path("two.txt")), "NoConnect\r\nNoConnect\r\n");

    FullDisk disk(rig.dir / "full");
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
    // No new line fitted whole: each file is cut back to its last whole line.
    for (const auto& [path, room] : std::vector<std::pair<std::string, std::size_t>>{{slot, 30}, {all, 10}, {dump, 30}})
        EXPECT_EQ(ReadFile(path), FullDisk::Line(room)) << path;
}

}  // namespace
}  // namespace tessary::clitest
