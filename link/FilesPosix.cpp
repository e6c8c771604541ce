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
        const int err = errno;
        error = std::strerror(err);
        errno = err;  // the caller tells a missing file from the rest
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
    errno = 0;  // a folder or a device is not a missing file
    if (!RegularFileSize(path, size, out.error)) {
        out.missing = errno == ENOENT;
        return out;
    }
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

bool AnythingAt(const std::string& path) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0;
}

std::string ParentFolder(const std::string& path) {
    const auto slash = path.find_last_of('/');
    if (slash == std::string::npos) return {};
    return slash == 0 ? "/" : path.substr(0, slash);
}

std::string MakeFolders(const std::string& path) {
    std::string part;
    std::size_t from = 0;
    for (;;) {
        const auto slash = path.find('/', from);
        part = path.substr(0, slash);
        from = slash + 1;
        if (!part.empty() && ::mkdir(part.c_str(), 0777) != 0 && errno != EEXIST) return std::strerror(errno);
        if (slash == std::string::npos) break;
    }
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) return std::strerror(errno);
    return S_ISDIR(st.st_mode) ? std::string() : KindOf(st.st_mode);
}

InPlaceWrite WriteInPlace(const std::string& path, std::string_view bytes, bool onlyIntoEmpty) {
    using Code = InPlaceWrite::Code;
    auto result = [](Code code, std::string why) { return InPlaceWrite{code, std::move(why)}; };
    Fd out(::open(path.c_str(), O_WRONLY | O_CREAT | O_NONBLOCK | O_NOCTTY | O_CLOEXEC, 0666));
    if (out.fd < 0) {
        const int err = errno;
        const bool denied = err == EACCES || err == EPERM || err == EROFS || err == ETXTBSY;
        return result(denied ? Code::Denied : Code::Failed, std::strerror(err));
    }
    struct stat st {};
    if (::fstat(out.fd, &st) != 0) return result(Code::Failed, std::strerror(errno));
    if (!S_ISREG(st.st_mode)) return result(Code::NotRegular, KindOf(st.st_mode));
    if (onlyIntoEmpty && st.st_size > 0) return result(Code::NotEmpty, "it was made by someone else meanwhile");
    if (static_cast<std::size_t>(st.st_size) < bytes.size()) {
        const int err = ::posix_fallocate(out.fd, 0, static_cast<off_t>(bytes.size()));
        if (err != 0 && err != EINVAL && err != EOPNOTSUPP) return result(Code::Failed, std::strerror(err));
    }
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::pwrite(out.fd, bytes.data() + done, bytes.size() - done, static_cast<off_t>(done));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return result(Code::Failed, std::strerror(n < 0 ? errno : EIO));
        done += static_cast<std::size_t>(n);
    }
    if (::ftruncate(out.fd, static_cast<off_t>(bytes.size())) != 0 || ::fsync(out.fd) != 0)
        return result(Code::Failed, std::strerror(errno));
    const int fd = std::exchange(out.fd, -1);
    if (::close(fd) != 0) return result(Code::Failed, std::strerror(errno));
    return {};
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
