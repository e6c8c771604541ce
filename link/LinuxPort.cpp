#include "link/LinuxPort.h"

#include "link/Files.h"

// termios2 and BOTHER live in the kernel's header, which cannot be mixed with
// <termios.h>; everything here speaks termios2.
#include <asm/termbits.h>
#include <linux/serial.h>
#include <sys/ioctl.h>

#include <cerrno>
#include <dirent.h>
#include <fcntl.h>
#include <grp.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <system_error>
#include <thread>
#include <unistd.h>
#include <vector>

namespace tessary::link {
namespace {

std::string osText(const std::string& what, int err) {
    return what + ": " + std::generic_category().message(err);
}

PortStatus fail(PortStatus::Code code, std::string text) {
    return PortStatus{code, std::move(text)};
}

// Errors after which the descriptor will never carry a byte again.
bool isHangUpErrno(int err) {
    return err == EIO || err == ENXIO || err == ENODEV;
}

timespec toTimespec(Clock::duration d) {
    if (d < Clock::duration::zero()) d = Clock::duration::zero();
    const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(d).count();
    timespec ts{};
    ts.tv_sec = static_cast<time_t>(ns / 1'000'000'000);
    ts.tv_nsec = static_cast<long>(ns % 1'000'000'000);
    return ts;
}

// Hardware flow control (CRTSCTS) belongs to the line's owner and is kept.
// Software flow control is switched off: Linux turns IXON on for every fresh
// tty as a terminal default, not as a choice for the line, and with it an XOFF
// byte in noise (a box heard at the wrong rate) would stop our output.
void makeRaw(termios2& t) {
    t.c_iflag &= ~static_cast<tcflag_t>(IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL |
                                        IUCLC | IXON | IXOFF | IXANY | IMAXBEL | INPCK);
    t.c_oflag &= ~static_cast<tcflag_t>(OPOST | ONLCR | OCRNL | ONOCR | ONLRET | OLCUC);
    t.c_lflag &= ~static_cast<tcflag_t>(ECHO | ECHOE | ECHOK | ECHONL | ECHOCTL | ECHOKE | ICANON |
                                        ISIG | IEXTEN | TOSTOP);
    t.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | PARODD | CMSPAR | CSTOPB);
    t.c_cflag |= CS8 | CREAD | CLOCAL;
    // We poll for bytes ourselves; reads must never block in the driver.
    t.c_cc[VMIN] = 0;
    t.c_cc[VTIME] = 0;
}

// The standard rates by their own constants: BOTHER left on the device reads
// as "speed 0" to every program that uses plain termios after us.
tcflag_t speedCode(std::uint32_t baud) {
    static constexpr std::pair<std::uint32_t, tcflag_t> kCodes[] = {
        {300, B300},       {600, B600},       {1200, B1200},     {2400, B2400},     {4800, B4800},
        {9600, B9600},     {19200, B19200},   {38400, B38400},   {57600, B57600},   {115200, B115200},
        {230400, B230400}, {460800, B460800}, {921600, B921600}};
    for (const auto& [rate, code] : kCodes)
        if (rate == baud) return code;
    return BOTHER;
}

void setSpeed(termios2& t, std::uint32_t baud) {
    // Clearing CIBAUD makes the input rate follow the output rate.
    t.c_cflag &= ~static_cast<tcflag_t>(CBAUD | CIBAUD);
    t.c_cflag |= speedCode(baud);
    t.c_ispeed = baud;
    t.c_ospeed = baud;
}

// Drivers report the rate they really set; a UART divisor may miss by a little.
bool rateTaken(std::uint32_t asked, std::uint32_t got) {
    const auto diff = asked > got ? asked - got : got - asked;
    return std::uint64_t{diff} * 100 <= std::uint64_t{asked} * 3;
}

PortStatus applySettings(int fd, std::uint32_t baud, bool raw) {
    termios2 t{};
    if (::ioctl(fd, TCGETS2, &t) != 0) {
        const int err = errno;
        if (!raw) return fail(PortStatus::Code::Unreadable, osText("cannot read line settings", err));
        if (err == ENOTTY || err == EINVAL) return fail(PortStatus::Code::Refused, osText("not a serial device", err));
        return fail(PortStatus::Code::OsError, osText("cannot read line settings", err));
    }
    if (raw) makeRaw(t);
    setSpeed(t, baud);
    if (::ioctl(fd, TCSETS2, &t) != 0)
        return fail(PortStatus::Code::Refused, osText("line settings refused", errno));
    // TCSETS2 succeeds when any part of the request was taken; check the rate.
    termios2 got{};
    if (::ioctl(fd, TCGETS2, &got) != 0)
        return fail(PortStatus::Code::OsError, osText("cannot read line settings", errno));
    if (!rateTaken(baud, got.c_ospeed))
        return fail(PortStatus::Code::BadRate,
                    std::to_string(baud) + " bit/s not supported (port runs at " + std::to_string(got.c_ospeed) + ")");
    return {};
}

// "pid 1234, minicom".
std::string ProcessText(long pid) {
    std::string name = ReadRegularFile("/proc/" + std::to_string(pid) + "/comm", 4096).bytes;
    while (!name.empty() && (name.back() == '\n' || name.back() == ' ')) name.pop_back();
    return "pid " + std::to_string(pid) + (name.empty() ? "" : ", " + name);
}

// Who holds the flock on the device node: /proc/locks names the locker by
// pid, the node by its file system's device and its inode.
std::string FlockOwner(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) return {};
    const std::string locks = ReadRegularFile("/proc/locks", 1 << 20).bytes;
    long owner = 0;
    for (std::size_t at = 0; owner == 0 && at < locks.size();) {
        std::size_t end = locks.find('\n', at);
        if (end == std::string::npos) end = locks.size();
        const std::string line = locks.substr(at, end - at);
        at = end + 1;
        char kind[16] = {}, arrow[4] = {};
        long pid = 0;
        unsigned maj = 0, min = 0;
        unsigned long ino = 0;
        if (std::sscanf(line.c_str(), "%*d: %3s", arrow) == 1 && std::string(arrow) == "->") continue;  // a waiter
        if (std::sscanf(line.c_str(), "%*d: %15s %*s %*s %ld %x:%x:%lu", kind, &pid, &maj, &min, &ino) != 5) continue;
        if (std::string(kind) == "FLOCK" && maj == major(st.st_dev) && min == minor(st.st_dev) && ino == st.st_ino)
            owner = pid;
    }
    return owner > 0 ? ProcessText(owner) : std::string();
}

// "7" from a pseudo-terminal master's "tty-index:\t7" in /proc/PID/fdinfo/FD.
std::string PtyIndex(const std::string& fdinfo) {
    const std::string text = ReadRegularFile(fdinfo, 4096).bytes;
    const auto at = text.find("tty-index:");
    if (at == std::string::npos) return {};
    const auto from = text.find_first_not_of(" \t", at + 10);
    return from == std::string::npos ? std::string() : text.substr(from, text.find('\n', from) - from);
}

// The other processes with the device open: "pid 1234, minicom; pid 99, sleep".
// A holder needs no lock, and root passes TIOCEXCL, so /proc is asked. A
// pseudo-terminal's far end (the process holding its master, as a simulator
// does) is the line itself, not a user of it.
std::string HoldersOf(const std::string& path) {
    char real[PATH_MAX];
    if (!::realpath(path.c_str(), real)) return {};
    const std::string device = real;
    const std::string ptyIndex = device.rfind("/dev/pts/", 0) == 0 ? device.substr(9) : std::string();
    const long self = static_cast<long>(::getpid());
    DIR* proc = ::opendir("/proc");
    if (!proc) return {};
    std::string holders;
    while (dirent* e = ::readdir(proc)) {
        char* end = nullptr;
        const long pid = std::strtol(e->d_name, &end, 10);
        if (*end != '\0' || pid <= 0 || pid == self) continue;
        const std::string dir = "/proc/" + std::string(e->d_name);
        DIR* fds = ::opendir((dir + "/fd").c_str());
        if (!fds) continue;  // another user's process: /proc does not show it
        bool holds = false, farEnd = false;
        while (dirent* d = ::readdir(fds)) {
            char target[PATH_MAX];
            const ssize_t n = ::readlink((dir + "/fd/" + d->d_name).c_str(), target, sizeof target - 1);
            const std::string_view link(target, n > 0 ? static_cast<std::size_t>(n) : 0);
            if (link == device)
                holds = true;
            else if (!ptyIndex.empty() && link.ends_with("ptmx") && PtyIndex(dir + "/fdinfo/" + d->d_name) == ptyIndex)
                farEnd = true;
        }
        ::closedir(fds);
        if (holds && !farEnd) holders += (holders.empty() ? "" : "; ") + ProcessText(pid);
    }
    ::closedir(proc);
    return holders;
}

PortStatus busy(const std::string& path, std::string owner) {
    PortStatus s = fail(PortStatus::Code::Busy, path + ": in use by another program");
    s.owner = std::move(owner);
    return s;
}

PortStatus permissionDenied(const std::string& path) {
    char real[PATH_MAX];
    const std::string device = ::realpath(path.c_str(), real) ? std::string(real) : path;
    std::string name = "dialout";
    struct stat st {};
    const bool known = ::stat(device.c_str(), &st) == 0;
    if (known) {
        struct group entry {};
        struct group* found = nullptr;
        std::vector<char> buf(4096);
        name = ::getgrgid_r(st.st_gid, &entry, buf.data(), buf.size(), &found) == 0 && found
                   ? std::string(found->gr_name)
                   : std::to_string(st.st_gid);
    }
    // Joining the group helps only when the group may read and write.
    if (!known || (st.st_mode & (S_IRGRP | S_IWGRP)) == (S_IRGRP | S_IWGRP))
        return fail(PortStatus::Code::PermissionDenied, "Permission denied on " + device + " (group " + name +
                                                            "). Add yourself to the group: sudo usermod -aG " + name +
                                                            " $USER, then log in again");
    char mode[8];
    std::snprintf(mode, sizeof mode, "%04o", static_cast<unsigned>(st.st_mode & 07777));
    return fail(PortStatus::Code::PermissionDenied,
                "Permission denied on " + device + " (mode " + mode +
                    "): the device lets only its owner in. Give it a group that may read and write with a udev rule "
                    "(MODE=\"0660\", GROUP=\"dialout\"), then add yourself to that group; or, until it is plugged "
                    "in again: sudo chmod 0666 " +
                    device);
}

// USB serial drivers hold bytes back to fill a packet unless asked not to;
// a driver that does not know the flag (a pty) is left as it is.
void askLowLatency(int fd) {
    serial_struct ss {};
    if (::ioctl(fd, TIOCGSERIAL, &ss) != 0 || (ss.flags & ASYNC_LOW_LATENCY)) return;
    ss.flags |= ASYNC_LOW_LATENCY;
    ::ioctl(fd, TIOCSSERIAL, &ss);
}

PortStatus openError(const std::string& path, int err) {
    switch (err) {
    case EACCES:
    case EPERM:
        return permissionDenied(path);
    case ENOENT:
    case ENOTDIR:
    case ENODEV:
    case ENXIO:
        return fail(PortStatus::Code::NotFound, osText(path, err));
    case EBUSY:
        return busy(path, HoldersOf(path));
    default:
        return fail(PortStatus::Code::OsError, osText(path, err));
    }
}

}  // namespace

PosixPort::~PosixPort() { close(); }

PortStatus PosixPort::open(const std::string& path, std::uint32_t baud) {
    close();
    if (baud == 0) return fail(PortStatus::Code::BadRate, "0 bit/s would hang up the line");

    const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return openError(path, errno);
    auto give_up = [fd](PortStatus status) {
        ::close(fd);
        return status;
    };

    // Lock before TIOCEXCL so that a refused second open leaves the owner's flag alone.
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const int err = errno;
        if (err == EWOULDBLOCK) {
            ::close(fd);
            return busy(path, FlockOwner(path));
        }
        return give_up(fail(PortStatus::Code::OsError, osText(path + ": cannot lock", err)));
    }
    // Before anything touches the line: a holder without a lock is a user of it too.
    if (::isatty(fd)) {
        if (std::string holders = HoldersOf(path); !holders.empty()) return give_up(busy(path, std::move(holders)));
    }
    if (::ioctl(fd, TIOCEXCL) != 0) {
        const int err = errno;
        if (err == ENOTTY) return give_up(fail(PortStatus::Code::Refused, osText(path + ": not a serial device", err)));
        return give_up(fail(PortStatus::Code::OsError, osText(path + ": cannot make exclusive", err)));
    }
    if (PortStatus s = applySettings(fd, baud, true); !s.ok()) {
        s.text = path + ": " + s.text;
        return give_up(std::move(s));
    }
    askLowLatency(fd);
    // Whatever the line carried before we owned it is noise to us.
    if (::ioctl(fd, TCFLSH, TCIFLUSH) != 0)
        return give_up(fail(PortStatus::Code::OsError, osText(path + ": cannot flush input", errno)));

    fd_ = fd;
    hungUp_ = false;
    return {};
}

void PosixPort::close() {
    if (fd_ < 0) return;
    if (!hungUp_) {
        // A tty's close can wait up to its closing_wait (30 s) for stuck output,
        // e.g. with hardware flow control held off. Give the output a short
        // while to leave, then discard the rest so close stays prompt.
        const auto deadline = Clock::now() + std::chrono::milliseconds(250);
        int queued = 0;
        while (::ioctl(fd_, TIOCOUTQ, &queued) == 0 && queued > 0 && Clock::now() < deadline)
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        ::ioctl(fd_, TCFLSH, TCOFLUSH);
        ::ioctl(fd_, TIOCNXCL);
    }
    ::close(fd_);
    fd_ = -1;
    hungUp_ = false;
}

PortStatus PosixPort::setBaudRate(std::uint32_t baud) {
    if (fd_ < 0) return fail(PortStatus::Code::NotOpen, "port not open");
    if (baud == 0) return fail(PortStatus::Code::BadRate, "0 bit/s would hang up the line");
    return applySettings(fd_, baud, false);
}

bool PosixPort::write(std::string_view bytes, std::chrono::milliseconds limit) {
    if (fd_ < 0 || hungUp_) return false;
    const auto deadline = Clock::now() + limit;
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd_, bytes.data() + done, bytes.size() - done);
        if (n > 0) {
            done += static_cast<std::size_t>(n);
            continue;
        }
        if (n == 0) return false;
        const int err = errno;
        if (err == EINTR) continue;
        if (err != EAGAIN && err != EWOULDBLOCK) {
            if (isHangUpErrno(err)) hungUp_ = true;
            return false;
        }
        // Output buffer full: wait for room, but only until the limit.
        const auto left = deadline - Clock::now();
        if (left <= Clock::duration::zero()) return false;
        pollfd p{fd_, POLLOUT, 0};
        const timespec ts = toTimespec(left);
        const int r = ::ppoll(&p, 1, &ts, nullptr);
        if (r < 0 && errno == EINTR) continue;
        if (r <= 0) return false;
        if (p.revents & (POLLHUP | POLLERR)) {
            hungUp_ = true;
            return false;
        }
        if (p.revents & POLLNVAL) return false;
    }
    return true;
}

ReadResult PosixPort::readByte(char& byte, std::chrono::microseconds wait) {
    if (fd_ < 0) return ReadResult::Error;
    if (hungUp_) return ReadResult::HangUp;

    // With VMIN=0/VTIME=0 a tty read returns 0 both for "nothing yet" and for a
    // hung-up line, so a 0 here proves nothing; poll tells the two apart.
    ssize_t n = ::read(fd_, &byte, 1);
    if (n == 1) return ReadResult::Byte;
    if (n < 0 && errno != EAGAIN && errno != EINTR) {
        if (!isHangUpErrno(errno)) return ReadResult::Error;
        hungUp_ = true;
        return ReadResult::HangUp;
    }

    const auto deadline = Clock::now() + wait;
    for (;;) {
        pollfd p{fd_, POLLIN, 0};
        const timespec ts = toTimespec(deadline - Clock::now());
        const int r = ::ppoll(&p, 1, &ts, nullptr);
        if (r < 0) {
            if (errno == EINTR) continue;  // the next ppoll gets only what is left
            return ReadResult::Error;
        }
        if (r == 0) return ReadResult::Timeout;
        if (p.revents & POLLNVAL) return ReadResult::Error;
        if (p.revents & POLLIN) {
            n = ::read(fd_, &byte, 1);
            if (n == 1) return ReadResult::Byte;
            if (n < 0 && errno == EINTR) continue;
            if (n < 0 && errno == EAGAIN && !(p.revents & (POLLHUP | POLLERR))) continue;
            if (n < 0 && !isHangUpErrno(errno) && errno != EAGAIN) return ReadResult::Error;
            // Readable yet empty: only a hung-up descriptor does that.
            hungUp_ = true;
            return ReadResult::HangUp;
        }
        if (p.revents & (POLLHUP | POLLERR)) {
            hungUp_ = true;
            return ReadResult::HangUp;
        }
    }
}

}  // namespace tessary::link
