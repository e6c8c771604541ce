#include "app/LineWatch.h"

#include "link/NetPort.h"
#include "link/System.h"

#include <algorithm>
#include <ctime>
#include <filesystem>
#include <memory>
#include <utility>

namespace tessary::app {

namespace {

using SteadyClock = std::chrono::steady_clock;

std::string LocalText(LineWatch::SystemTime t) {
    const std::tm tm = link::LocalTime(std::chrono::system_clock::to_time_t(t));
    char buf[32];
    return std::string(buf, std::strftime(buf, sizeof buf, "%Y/%m/%d, %H:%M:%S", &tm));
}

}  // namespace

std::string GapLine(LineWatch::SystemTime away, LineWatch::SystemTime back, const std::string& end, bool network) {
    return std::string(network ? kGapLost : kGapUnplugged) + LocalText(away) + " - " + end + " " + LocalText(back);
}

LineWatch::LineWatch(link::DeviceLink& link, link::SerialDirs dirs) : link_(link), dirs_(std::move(dirs)) {
    link_.SetHangUpObserver([this](const std::string& portName) { OnHangUp(portName); });
}

LineWatch::~LineWatch() { link_.SetHangUpObserver({}); }

void LineWatch::SetDirs(link::SerialDirs dirs) {
    std::lock_guard lock(mutex_);
    dirs_ = std::move(dirs);
}

void LineWatch::SetStatusSink(std::function<void(const std::string&)> sink) {
    std::lock_guard lock(mutex_);
    sink_ = std::move(sink);
}

void LineWatch::Arm(const std::string& address, const std::string& id) {
    const std::string path = link_.DevicePath();
    const bool open = link_.IsOpen();
    link::SerialDirs dirs;
    {
        std::lock_guard lock(mutex_);
        dirs = dirs_;
    }
    // Read while the adapter is surely there: once it is gone, sysfs forgets it.
    link::AdapterInfo adapter = open ? link::DescribeAdapter(path, dirs) : link::AdapterInfo{};
    std::lock_guard lock(mutex_);
    address_ = address;
    id_ = id;
    if (open && phase_ != Phase::Away) {
        adapter_ = std::move(adapter);
        phase_ = Phase::Plugged;
    }
}

bool LineWatch::Unplugged() const {
    std::lock_guard lock(mutex_);
    return phase_ == Phase::Away;
}

bool LineWatch::UnpluggedSince(SteadyClock::time_point since) const {
    std::lock_guard lock(mutex_);
    return phase_ == Phase::Away || resumedAt_ >= since || (phase_ == Phase::Refused && refusedAt_ >= since);
}

void LineWatch::OnHangUp(const std::string& portName) {
    // The link is held by this thread; DevicePath takes the same (recursive) lock.
    const std::string path = link_.DevicePath();
    std::function<void(const std::string&)> sink;
    {
        std::lock_guard lock(mutex_);
        if (phase_ == Phase::Away) return;
        phase_ = Phase::Away;
        away_ = std::chrono::system_clock::now();
        portName_ = portName;
        if (adapter_.path.empty()) adapter_.path = path;
        sink = sink_;
    }
    if (sink) sink(portName + (link::IsNetworkPath(path) ? ": connection lost (" + path + ")" : ": adapter unplugged"));
}

LineWatch::Return LineWatch::AwaitReturn(SteadyClock::time_point since, const std::function<bool()>& stop,
                                         const std::function<void(int)>& wait) {
    Return r = Await(since, stop, wait);
    std::lock_guard lock(mutex_);
    r.network = link::IsNetworkPath(adapter_.path);
    return r;
}

LineWatch::Return LineWatch::Await(SteadyClock::time_point since, const std::function<bool()>& stop,
                                   const std::function<void(int)>& wait) {
    std::unique_ptr<link::DeviceWatch> watch;  // this caller's, while it is the looker
    auto lastLook = SteadyClock::time_point{};
    // A server is asked by connecting to it: every kPollPeriod at first (a restart
    // is back within a second), then less often the longer it stays away.
    const auto lostAt = SteadyClock::now();
    for (;;) {
        bool mine = false;
        {
            std::unique_lock lock(mutex_);
            if (phase_ == Phase::Plugged && resumedAt_ >= since) return {ReturnKind::Resumed, {}, away_, back_};
            if (phase_ == Phase::Refused) return {ReturnKind::Refused, refusal_, away_, {}};
            if (phase_ == Phase::Plugged) {
                // A hang-up the link did not report (no observer at the time): it starts now.
                lock.unlock();
                OnHangUp(link_.LinkPortName());
                continue;
            }
            if (!looking_) looking_ = mine = true;
        }
        if (mine) {
            if (!watch) {
                // The hung-up descriptor is of no more use; the node may come back under it.
                link_.ClosePort();
                std::vector<std::string> folders;
                {
                    std::lock_guard lock(mutex_);
                    folders = {dirs_.dev, dirs_.byId, std::filesystem::path(dirs_.byId).parent_path().string(),
                               std::filesystem::path(adapter_.path).parent_path().string()};
                }
                watch = std::make_unique<link::DeviceWatch>(folders);
            }
            Return result;
            const auto now = SteadyClock::now();
            bool done = false;
            bool network = false;
            {
                std::lock_guard lock(mutex_);
                network = link::IsNetworkPath(adapter_.path);
            }
            const auto netPeriod = std::clamp<SteadyClock::duration>((now - lostAt) / 5, kPollPeriod, kNetPeriodMax);
            if (network ? now - lastLook >= netPeriod : watch->Changed() || now - lastLook >= kPollPeriod) {
                lastLook = now;
                done = LookOnce(result);
            }
            std::lock_guard lock(mutex_);
            looking_ = false;
            if (done) return result;
        }
        if (stop()) {
            std::lock_guard lock(mutex_);
            return {ReturnKind::Stopped, {}, away_, {}};
        }
        wait(100);
    }
}

bool LineWatch::LookOnce(Return& result) {
    link::AdapterInfo adapter;
    link::SerialDirs dirs;
    std::string address, id, port;
    {
        std::lock_guard lock(mutex_);
        adapter = adapter_;
        dirs = dirs_;
        address = address_;
        id = id_;
        port = portName_;
    }
    const std::string path = link::LocateAdapter(adapter, dirs);
    if (path.empty() || !link_.ReopenDevice(path)) return false;

    std::string answer(link::kNoConnect);
    for (int attempt = 0; attempt < 3 && !address.empty() && answer == link::kNoConnect; ++attempt) {
        const link::Reply reply = link_.Exchange(address + "ID\r\n");
        // Gone again before it settled: keep watching.
        if (reply.outcome == link::ExchangeOutcome::HangUp || reply.outcome == link::ExchangeOutcome::NotOpen) {
            link_.ClosePort();
            return false;
        }
        answer = reply.text;
    }

    const std::string what = link::IsNetworkPath(path) ? "connection" : "adapter";
    std::function<void(const std::string&)> sink;
    std::string status;
    {
        std::lock_guard lock(mutex_);
        sink = sink_;
        // Without a box connected before, there is nobody to ask: the port is back.
        if (address.empty() || answer == id || id.empty()) {
            phase_ = Phase::Plugged;
            back_ = std::chrono::system_clock::now();
            resumedAt_ = SteadyClock::now();
            result = {ReturnKind::Resumed, {}, away_, back_};
            status = port + ": " + what + " back" + (address.empty() ? "" : ", " + address + " is " + answer + " again");
        } else {
            phase_ = Phase::Refused;
            refusedAt_ = SteadyClock::now();
            refusal_ = answer == link::kNoConnect
                           ? port + ": the " + what + " came back, but no box answered at " + address
                           : port + ": the " + what + " came back, but " + address + " answered \"" + answer +
                                 "\" where \"" + id + "\" was";
            result = {ReturnKind::Refused, refusal_, away_, {}};
            status = refusal_ + "; stopped";
        }
    }
    if (sink) sink(status);
    return true;
}

}  // namespace tessary::app
