#include "link/Files.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace tessary::link {

namespace {

std::string KindOf(mode_t mode) {
    if (S_ISDIR(mode)) return "it is a folder";
    if (S_ISFIFO(mode)) return "it is a FIFO";
    if (S_ISCHR(mode) || S_ISBLK(mode)) return "it is a device";
    if (S_ISSOCK(mode)) return "it is a socket";
    return "it is not a regular file";
}

std::string TooBig(std::size_t maxBytes) {
    if (maxBytes >= 1024 * 1024 && maxBytes % (1024 * 1024) == 0)
        return "it is larger than " + std::to_string(maxBytes / 1024 / 1024) + " MiB";
    return "it is larger than " + std::to_string(maxBytes) + " bytes";
}

struct Fd {
    int fd;
    explicit Fd(int f) : fd(f) {}
    ~Fd() {
        if (fd >= 0) ::close(fd);
    }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
};

}  // namespace

std::string SystemErrorText(int code) { return std::strerror(code); }

bool RegularFileSize(const std::string& path, std::uint64_t& size, std::string& error) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) {
        error = std::strerror(errno);
        return false;
    }
    if (!S_ISREG(st.st_mode)) {
        error = KindOf(st.st_mode);
        return false;
    }
    size = static_cast<std::uint64_t>(st.st_size);
    return true;
}

FileText ReadRegularFile(const std::string& path, std::size_t maxBytes) {
    FileText out;
    // Looked at before it is opened: opening a FIFO blocks, a device may act on it.
    std::uint64_t size = 0;
    if (!RegularFileSize(path, size, out.error)) return out;
    if (size > maxBytes) {
        out.error = TooBig(maxBytes);
        return out;
    }
    Fd in(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
    struct stat st {};
    if (in.fd < 0) {
        out.error = std::strerror(errno);
        return out;
    }
    if (::fstat(in.fd, &st) != 0 || !S_ISREG(st.st_mode)) {  // swapped since the stat
        out.error = "it is not a regular file";
        return out;
    }
    // Sized by what fstat said, grown should the file grow meanwhile, never past the bound.
    std::string text(std::min(static_cast<std::size_t>(st.st_size), maxBytes) + 1, '\0');
    std::size_t got = 0;
    for (;;) {
        if (got == text.size()) {
            if (text.size() > maxBytes) break;
            text.resize(std::min(text.size() * 2, maxBytes + 1));
        }
        const ssize_t n = ::read(in.fd, text.data() + got, text.size() - got);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            out.error = std::strerror(errno);
            return out;
        }
        if (n == 0) break;
        got += static_cast<std::size_t>(n);
    }
    if (got > maxBytes) {
        out.error = TooBig(maxBytes);
        return out;
    }
    text.resize(got);
    out.bytes = std::move(text);
    out.ok = true;
    return out;
}

LineFile::LineFile(LineFile&& other) noexcept : handle_(std::exchange(other.handle_, kNone)) {}

LineFile& LineFile::operator=(LineFile&& other) noexcept {
    if (this != &other) {
        Close();
        handle_ = std::exchange(other.handle_, kNone);
    }
    return *this;
}

std::string LineFile::Open(const std::string& path, Mode mode) {
    Close();
    // Looked at first: a FIFO without a reader would say only "No such device
    // or address", and opening a device may act on it.
    struct stat st {};
    if (mode != Mode::CreateNew && ::stat(path.c_str(), &st) == 0 && !S_ISREG(st.st_mode)) return KindOf(st.st_mode);
    // O_APPEND: each line lands at the end even if another program appends too.
    int flags = O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC | O_NOCTTY | O_NONBLOCK;
    if (mode == Mode::Truncate) flags |= O_TRUNC;
    if (mode == Mode::CreateNew) flags |= O_EXCL;
    const int fd = ::open(path.c_str(), flags, 0644);
    if (fd < 0) return std::strerror(errno);
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {  // swapped since the stat
        const std::string why = KindOf(st.st_mode);
        ::close(fd);
        return why;
    }
    // Back to blocking: a regular file's writes are whole unless the disk is full.
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    handle_ = fd;
    return {};
}

std::string LineFile::Write(std::string_view bytes) {
    if (handle_ == kNone) return std::strerror(EBADF);
    const int fd = static_cast<int>(handle_);
    const off_t start = ::lseek(fd, 0, SEEK_END);
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            const int err = n < 0 ? errno : ENOSPC;
            // Whole or not at all: a cut line would read as a reading.
            if (done > 0 && start >= 0) (void)!::ftruncate(fd, start);
            return std::strerror(err);
        }
        done += static_cast<std::size_t>(n);
    }
    return {};
}

std::string LineFile::Close() {
    if (handle_ == kNone) return {};
    const int fd = static_cast<int>(std::exchange(handle_, kNone));
    return ::close(fd) == 0 ? std::string() : std::strerror(errno);
}

}  // namespace tessary::link
