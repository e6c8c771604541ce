#pragma once
// A folder on a full disk, but for a few bytes after chosen files: a 64 KiB
// tmpfs filled up where the test may mount one (root; in a mount namespace of
// its own, so nothing outside sees it), else a file size limit (RLIMIT_FSIZE,
// SIGXFSZ ignored) that cuts a write the same way: short, then failing.

#include "testkit/SessionRig.h"

#include <csignal>
#include <fcntl.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/resource.h>

namespace tessary::testkit {

class FullDisk {
public:
    static constexpr std::size_t kPage = 4096;
    explicit FullDisk(std::filesystem::path dir) : dir_(std::move(dir)) {
        std::filesystem::create_directories(dir_);
        mounted_ = ::unshare(CLONE_NEWNS) == 0 && ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0 &&
                   ::mount("tmpfs", dir_.c_str(), "tmpfs", 0, "size=64k") == 0;
    }
    ~FullDisk() {
        if (mounted_) ::umount2(dir_.c_str(), MNT_DETACH);
        if (!limited_) return;
        ::setrlimit(RLIMIT_FSIZE, &saved_);
        std::signal(SIGXFSZ, SIG_DFL);
    }
    FullDisk(const FullDisk&) = delete;
    FullDisk& operator=(const FullDisk&) = delete;

    // A file of one whole line that leaves `room` bytes in its page.
    std::string File(const std::string& leaf, std::size_t room) {
        const std::string path = (dir_ / leaf).string();
        std::ofstream(path, std::ios::binary) << std::string(kPage - room - 2, 'x') << "\r\n";
        before_.emplace_back(path, ReadFile(path));
        return path;
    }
    // From now on no file takes more than its room.
    void Fill() {
        if (mounted_) {
            const int fd = ::open((dir_ / "filler").c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0600);
            const std::string page(kPage, 'f');
            while (fd >= 0 && ::write(fd, page.data(), page.size()) > 0) {}
            ::close(fd);
            return;
        }
        ::getrlimit(RLIMIT_FSIZE, &saved_);
        rlimit low = saved_;
        low.rlim_cur = kPage;
        std::signal(SIGXFSZ, SIG_IGN);
        limited_ = ::setrlimit(RLIMIT_FSIZE, &low) == 0;
    }
    // Each file and what it held before.
    const std::vector<std::pair<std::string, std::string>>& Before() const { return before_; }

private:
    std::filesystem::path dir_;
    bool mounted_ = false, limited_ = false;
    rlimit saved_{};
    std::vector<std::pair<std::string, std::string>> before_;
};

}  // namespace tessary::testkit
