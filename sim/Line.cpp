#include "sim/Line.h"

#include <filesystem>

#include "sim/PtySpeed.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/prctl.h>
#include <sys/eventfd.h>
#include <sys/stat.h>
#include <system_error>
#include <termios.h>
#include <unistd.h>

namespace bravik::sim {
namespace {

using SteadyClock = std::chrono::steady_clock;
using namespace std::chrono_literals;

constexpr std::size_t kMaxTraffic = 100000;
constexpr std::size_t kMaxPending = 4096;  // bytes without a line end before they count as noise

// Noise of the same length; never a line end, so the PC still sees one line.
std::string garbled(const std::string& s) {
    std::string out(s);
    for (std::size_t i = 0; i < out.size(); ++i) {
        auto c = static_cast<unsigned char>(out[i]);
        auto g = static_cast<unsigned char>((c * 37u + 0x5Bu + i * 11u) & 0xFFu);
        if (g == '\r' || g == '\n' || g == '}') g = 0xFF;
        out[i] = static_cast<char>(g);
    }
    return out;
}

std::chrono::nanoseconds byteTime(unsigned baud) {
    return std::chrono::nanoseconds(baud == 0 ? 0 : 10'000'000'000LL / baud);
}

void closeFd(int& fd) {
    if (fd >= 0) ::close(fd);
    fd = -1;
}

}  // namespace

struct Line::Job {
    std::size_t box = 0;
    std::deque<OutLine> lines;
    SteadyClock::time_point notBefore;  // of the next line
    bool garble = false;
    // the line being sent
    bool started = false;
    bool paced = true;
    std::string bytes;
    std::size_t sent = 0;
    SteadyClock::time_point lineStart;
    std::chrono::nanoseconds bt{0};
};

LineConfig demoLine(const std::string& linkPath) {
    LineConfig c;
    c.name = "demo";
    c.linkPath = linkPath;
    c.pacing = true;
    BoxConfig a;
    a.address = 1;
    BoxConfig b;
    b.address = 2;
    BoxConfig k;
    k.address = 5;
    k.family = Family::Kestin;
    c.boxes = {a, b, k};
    return c;
}

Line::Line(LineConfig config)
    : name_(config.name), linkPath_(config.linkPath), pacing_(config.pacing),
      garbleOnMismatch_(config.garbleOnMismatch) {
    for (auto& b : config.boxes) boxes_.push_back(std::make_unique<Box>(b));
    if (!linkPath_.empty()) links_.push_back(linkPath_);
    if (!config.byIdDir.empty() && !config.byIdName.empty()) {
        std::error_code ec;
        std::filesystem::create_directories(config.byIdDir, ec);
        links_.push_back(config.byIdDir + "/" + config.byIdName);
    }
    answerCount_.assign(boxes_.size(), 0);
}

Line::~Line() { stop(); }

bool Line::running() const {
    std::lock_guard lk(mu_);
    return running_;
}

std::string Line::slavePath() const {
    std::lock_guard lk(mu_);
    return linkPath_.empty() ? ptyName_ : linkPath_;
}

std::string Line::ptyName() const {
    std::lock_guard lk(mu_);
    return ptyName_;
}

void Line::openPty() {
    auto fail = [this](const char* what) {
        int e = errno;
        closeFd(slaveHold_);
        closeFd(master_);
        closeFd(stopFd_);
        throw std::system_error(e, std::generic_category(), what);
    };
    master_ = posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (master_ < 0) fail("posix_openpt");
    if (grantpt(master_) != 0 || unlockpt(master_) != 0) fail("grantpt/unlockpt");
    char name[128];
    if (ptsname_r(master_, name, sizeof name) != 0) fail("ptsname_r");
    slaveHold_ = ::open(name, O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (slaveHold_ < 0) fail("open slave");
    termios t{};
    if (tcgetattr(slaveHold_, &t) != 0) fail("tcgetattr");
    cfmakeraw(&t);
    cfsetispeed(&t, B9600);
    cfsetospeed(&t, B9600);
    if (tcsetattr(slaveHold_, TCSANOW, &t) != 0) fail("tcsetattr");
    stopFd_ = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    if (stopFd_ < 0) fail("eventfd");
    for (const auto& link : links_) {
        struct stat st {};
        if (lstat(link.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) ::unlink(link.c_str());
        if (::symlink(name, link.c_str()) != 0) fail("symlink");
    }
    std::lock_guard lk(mu_);
    ptyName_ = name;
}

void Line::closePty() {
    closeFd(slaveHold_);
    closeFd(master_);
    closeFd(stopFd_);
    const std::string pty = ptyName();
    for (const auto& link : links_) {
        char target[256];
        ssize_t n = ::readlink(link.c_str(), target, sizeof target - 1);
        if (n > 0 && std::string(target, static_cast<std::size_t>(n)) == pty) ::unlink(link.c_str());
    }
}

void Line::start() {
    {
        std::lock_guard lk(mu_);
        if (running_) return;
    }
    openPty();
    rx_.clear();
    rxSpeed_.clear();
    jobs_.clear();
    current_.reset();
    blockedOnWrite_ = false;
    txFree_ = SteadyClock::now();
    {
        std::lock_guard lk(mu_);
        running_ = true;
    }
    thread_ = std::thread([this] { run(); });
}

void Line::stop() {
    {
        std::lock_guard lk(mu_);
        if (!running_) return;
    }
    std::uint64_t one = 1;
    if (::write(stopFd_, &one, sizeof one) < 0) { /* the thread still ends at its next wake-up */ }
    if (thread_.joinable()) thread_.join();
    closePty();
    jobs_.clear();
    current_.reset();
    std::lock_guard lk(mu_);
    running_ = false;
}

void Line::hangUp() {
    if (!running()) return;
    stop();
    {
        std::lock_guard lk(mu_);
        record({SteadyClock::now(), Traffic::Dir::Event, -1, 0, "line hung up"});
    }
    flushSink();
}

void Line::restore(bool otherBoxes) {
    if (otherBoxes && !running()) {
        std::lock_guard lk(mu_);
        for (auto& b : boxes_) {
            std::string serial = b->serial();
            if (!serial.empty()) serial[0] = serial[0] == '9' ? '8' : '9';
            b->setSerial(serial);
        }
    }
    start();
    {
        std::lock_guard lk(mu_);
        record({SteadyClock::now(), Traffic::Dir::Event, -1, 0, "line back on " + ptyName_});
    }
    flushSink();
}

bool Line::setFaults(int address, const Faults& f) {
    std::lock_guard lk(mu_);
    bool any = false;
    for (auto& b : boxes_)
        if (b->answersAt(address)) {
            b->setFaults(f);
            any = true;
            break;
        }
    return any;
}

std::optional<Faults> Line::faults(int address) const {
    std::lock_guard lk(mu_);
    for (auto& b : boxes_)
        if (b->answersAt(address)) return b->faults();
    return std::nullopt;
}

void Line::setLineFaults(const Faults& f) {
    std::lock_guard lk(mu_);
    for (auto& b : boxes_) b->setFaults(f);
}

void Line::setPacing(bool on) {
    std::lock_guard lk(mu_);
    pacing_ = on;
}

void Line::setGarbleOnMismatch(bool on) {
    std::lock_guard lk(mu_);
    garbleOnMismatch_ = on;
}

std::vector<int> Line::addresses() const {
    std::lock_guard lk(mu_);
    std::vector<int> a;
    for (auto& b : boxes_) a.push_back(b->address());
    return a;
}

unsigned Line::boxBaud(int address) const {
    std::lock_guard lk(mu_);
    for (auto& b : boxes_)
        if (b->address() == address) return b->baud();
    return 0;
}

std::vector<Traffic> Line::traffic() const {
    std::lock_guard lk(mu_);
    return traffic_;
}

void Line::clearTraffic() {
    std::lock_guard lk(mu_);
    traffic_.clear();
}

bool Line::waitForTraffic(const std::function<bool(const std::vector<Traffic>&)>& pred,
                          std::chrono::milliseconds timeout) const {
    std::unique_lock lk(mu_);
    return trafficCv_.wait_for(lk, timeout, [&] { return pred(traffic_); });
}

void Line::setTraceSink(std::function<void(const Traffic&)> sink) {
    std::lock_guard lk(mu_);
    sink_ = std::move(sink);
}

void Line::record(Traffic t) {
    if (traffic_.size() >= kMaxTraffic) traffic_.erase(traffic_.begin(), traffic_.begin() + kMaxTraffic / 2);
    if (sink_) toSink_.push_back(t);
    traffic_.push_back(std::move(t));
    trafficCv_.notify_all();
}

void Line::flushSink() {
    std::vector<Traffic> items;
    std::function<void(const Traffic&)> sink;
    {
        std::lock_guard lk(mu_);
        items.swap(toSink_);
        sink = sink_;
    }
    if (sink)
        for (const auto& t : items) sink(t);
}

void Line::run() {
    // A UART has no timer slack: the default 50 us would make each paced byte,
    // and so each answer's end, late by that much.
    ::prctl(PR_SET_TIMERSLACK, 1UL, 0UL, 0UL, 0UL);
    for (;;) {
        auto now = SteadyClock::now();
        auto wake = pump(now);
        flushSink();
        now = SteadyClock::now();
        auto wait = std::clamp(wake - now, std::chrono::nanoseconds(0), std::chrono::nanoseconds(500ms));
        timespec ts{static_cast<time_t>(wait.count() / 1'000'000'000), static_cast<long>(wait.count() % 1'000'000'000)};
        pollfd fds[2] = {{stopFd_, POLLIN, 0}, {master_, static_cast<short>(POLLIN | (blockedOnWrite_ ? POLLOUT : 0)), 0}};
        // After a hang-up report the master would poll ready at once; look at it again a little later.
        nfds_t nfds = now < hupUntil_ ? 1 : 2;
        int rc = ppoll(fds, nfds, &ts, nullptr);
        if (rc < 0 && errno != EINTR) return;
        if (rc <= 0) continue;
        if (fds[0].revents & POLLIN) return;
        if (nfds < 2) continue;
        if (fds[1].revents & POLLOUT) blockedOnWrite_ = false;
        if (fds[1].revents & POLLIN) {
            char buf[4096];
            ssize_t n = ::read(master_, buf, sizeof buf);
            if (n > 0) onInput(buf, static_cast<std::size_t>(n));
            else if (n < 0 && errno != EAGAIN && errno != EINTR) hupUntil_ = SteadyClock::now() + 50ms;
        } else if (fds[1].revents & (POLLHUP | POLLERR)) {
            hupUntil_ = SteadyClock::now() + 50ms;
        }
    }
}

void Line::onInput(const char* data, std::size_t n) {
    const auto at = SteadyClock::now();
    const unsigned speed = ptySpeed(master_);
    rx_.append(data, n);
    rxSpeed_.insert(rxSpeed_.end(), n, speed);
    for (;;) {
        auto pos = rx_.find("\r\n");
        if (pos == std::string::npos) break;
        unsigned s = rxSpeed_.front();
        for (std::size_t i = 0; i < pos + 2; ++i)
            if (rxSpeed_[i] != s) s = 0;  // the speed changed while the line came: garbage for everyone
        std::string line = rx_.substr(0, pos);
        rx_.erase(0, pos + 2);
        rxSpeed_.erase(rxSpeed_.begin(), rxSpeed_.begin() + static_cast<std::ptrdiff_t>(pos + 2));
        dispatch(line, s, at);
    }
    if (rx_.size() > kMaxPending) {
        rx_.erase(0, rx_.size() - kMaxPending / 2);
        rxSpeed_.erase(rxSpeed_.begin(), rxSpeed_.end() - static_cast<std::ptrdiff_t>(rx_.size()));
    }
}

void Line::dispatch(const std::string& line, unsigned speed, SteadyClock::time_point at) {
    std::unique_lock lk(mu_);
    const auto wallNow = WallClock::now();
    int address = -1;
    if (line.size() >= 3 && line[0] == '#' && std::isdigit(static_cast<unsigned char>(line[1])) &&
        std::isdigit(static_cast<unsigned char>(line[2])))
        address = (line[1] - '0') * 10 + (line[2] - '0');
    record({at, Traffic::Dir::FromPc, address, speed, line});

    // The wire would have taken this long to bring the command.
    const auto arrived = at + (pacing_ ? byteTime(speed) * static_cast<long>(line.size() + 2) : 0ns);

    auto hear = [&](std::size_t i, auto&& handle) {
        Box& box = *boxes_[i];
        if (box.faults().silent) return;
        if (speed != box.baud()) {
            record({at, Traffic::Dir::Event, box.address(), speed,
                    "speed mismatch: PC " + std::to_string(speed) + ", box " + std::to_string(box.baud())});
            if (garbleOnMismatch_) {
                std::vector<OutLine> noise{{0ms, line.substr(std::min<std::size_t>(3, line.size())), {}}};
                enqueue(i, std::move(noise), arrived, true);
            }
            return;
        }
        Reply r = handle(box);
        if (r.lines.empty()) return;
        const Faults& f = box.faults();
        if (f.dropEvery > 0 && ++answerCount_[i] % static_cast<unsigned>(f.dropEvery) == 0) {
            // The box did the work; only its answer is lost.
            for (auto& l : r.lines)
                if (l.after) l.after(box);
            record({at, Traffic::Dir::Event, box.address(), speed, "answer dropped"});
            return;
        }
        r.lines.front().gap += std::chrono::milliseconds(f.lateMs);
        enqueue(i, std::move(r.lines), arrived, f.garble);
    };

    for (std::size_t i = 0; i < boxes_.size(); ++i)
        if (boxes_[i]->takesAllLines()) {
            hear(i, [&](Box& b) { return b.rawLine(line, wallNow); });
            return;
        }
    if (address < 0) return;
    std::string body = line.substr(3);
    while (!body.empty() && body.back() == '\r') body.pop_back();
    if (address == 0) {
        for (auto& b : boxes_) {
            if (b->faults().silent || speed != b->baud()) continue;
            Reply r = b->command(body, wallNow, true);
            for (auto& l : r.lines)
                if (l.after) l.after(*b);
        }
        return;
    }
    for (std::size_t i = 0; i < boxes_.size(); ++i)
        if (boxes_[i]->answersAt(address)) hear(i, [&](Box& b) { return b.command(body, wallNow); });
}

void Line::enqueue(std::size_t box, std::vector<OutLine> lines, SteadyClock::time_point notBefore, bool garble) {
    auto job = std::make_unique<Job>();
    job->box = box;
    job->garble = garble;
    job->lines.assign(std::make_move_iterator(lines.begin()), std::make_move_iterator(lines.end()));
    job->notBefore = notBefore + job->lines.front().gap;
    auto pos = std::upper_bound(jobs_.begin(), jobs_.end(), job->notBefore,
                                [](auto t, const std::unique_ptr<Job>& j) { return t < j->notBefore; });
    jobs_.insert(pos, std::move(job));
}

SteadyClock::time_point Line::pump(SteadyClock::time_point now) {
    for (;;) {
        if (!current_) {
            if (jobs_.empty()) return now + 500ms;
            if (jobs_.front()->notBefore > now) return jobs_.front()->notBefore;
            current_ = std::move(jobs_.front());
            jobs_.erase(jobs_.begin());
        }
        Job& j = *current_;
        if (!j.started) {
            unsigned baud;
            {
                std::lock_guard lk(mu_);
                baud = boxes_[j.box]->baud();
                j.paced = pacing_;
            }
            const OutLine& l = j.lines.front();
            j.bytes = (j.garble ? garbled(l.text) : l.text) + "\r\n";
            j.sent = 0;
            j.bt = j.paced ? byteTime(baud) : 0ns;
            j.lineStart = j.paced ? std::max(j.notBefore, txFree_) : j.notBefore;
            j.started = true;
        }
        std::size_t due = j.bytes.size();
        if (j.bt > 0ns) {
            auto elapsed = now - j.lineStart;
            due = elapsed < j.bt ? 0 : std::min<std::size_t>(due, static_cast<std::size_t>(elapsed / j.bt));
        }
        if (due > j.sent) {
            if (blockedOnWrite_) return now + 50ms;
            ssize_t n = ::write(master_, j.bytes.data() + j.sent, due - j.sent);
            if (n > 0) {
                j.sent += static_cast<std::size_t>(n);
            } else if (n < 0 && (errno == EAGAIN || errno == EINTR)) {
                blockedOnWrite_ = true;  // the PC is not reading; wait for room
                return now + 50ms;
            } else {
                current_.reset();  // the pty is gone; the answer with it
                continue;
            }
        }
        if (j.sent < j.bytes.size()) {
            if (j.bt == 0ns || j.sent < due) return now + 1ms;
            return j.lineStart + j.bt * static_cast<long>(j.sent + 1);
        }
        // The whole line is out.
        txFree_ = j.paced ? j.lineStart + j.bt * static_cast<long>(j.bytes.size()) : now;
        {
            std::lock_guard lk(mu_);
            Box& box = *boxes_[j.box];
            record({SteadyClock::now(), Traffic::Dir::ToPc, box.address(), box.baud(),
                    j.bytes.substr(0, j.bytes.size() - 2)});
            if (j.lines.front().after) {
                const unsigned oldBaud = box.baud();
                const int oldAddress = box.address();
                j.lines.front().after(box);
                if (box.baud() != oldBaud)
                    record({SteadyClock::now(), Traffic::Dir::Event, box.address(), box.baud(),
                            "box now at " + std::to_string(box.baud()) + " baud"});
                if (box.address() != oldAddress)
                    record({SteadyClock::now(), Traffic::Dir::Event, box.address(), box.baud(),
                            "box moved from #" + std::to_string(oldAddress) + " to #" + std::to_string(box.address())});
            }
        }
        j.lines.pop_front();
        if (j.lines.empty()) {
            current_.reset();
            continue;
        }
        j.started = false;
        const auto gap = j.lines.front().gap;
        j.notBefore = (j.paced ? txFree_ : now) + gap;
        if (gap > 0ms) {
            auto pos = std::upper_bound(jobs_.begin(), jobs_.end(), j.notBefore,
                                        [](auto t, const std::unique_ptr<Job>& x) { return t < x->notBefore; });
            jobs_.insert(pos, std::move(current_));
        }
    }
}

}  // namespace bravik::sim
