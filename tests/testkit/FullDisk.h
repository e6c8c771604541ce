#pragma once
// A full disk but for `room` bytes after chosen files: a filled 64 KiB tmpfs where the test may mount
// one (root, own mount namespace), else RLIMIT_FSIZE, which cuts a write the same way: short, then failing.

#include "testkit/SessionRig.h"

#include <csignal>
#include <sched.h>
#include <sys/mount.h>
#include <sys/resource.h>

namespace tessary::testkit {

struct FullDisk {
    static constexpr std::size_t kPage = 4096;
    std::filesystem::path dir;
    bool mounted = false;
    rlimit saved{};  // restored at the end
    std::vector<std::pair<std::string, std::string>> before;  // each file and what it held

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
    std::string File(const std::string& leaf, std::size_t room) {
        const std::string path = (dir / leaf).string();
        std::ofstream(path, std::ios::binary) << std::string(kPage - room - 2, 'x') << "\r\n";
        before.emplace_back(path, ReadFile(path));
        return path;
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

}  // namespace tessary::testkit
