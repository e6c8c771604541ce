// Real adapters' troubles on a simulated line: a port another program holds or the system forbids, and the adapter pulled out and put back
// during a readings loop, a capture and a log dump.

#include "SimSession.h"
#include "app/private/AppState.h"
#include "capture/Capture.h"
#include "device/DeviceInfo.h"
#include "device/Readings.h"
#include "log/LogFlows.h"
#include "testkit/ScriptLogView.h"
#include "testkit/SessionRig.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <grp.h>
#include <regex>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

using namespace tessary;
using namespace std::chrono_literals;
namespace fs = std::filesystem;
using test::Strings;

namespace {

constexpr const char* kById = "usb-Bravik_Sim_A1B2C3-if00-port0";

fs::path TempFolder() {
    fs::path dir = fs::path(::testing::TempDir()) / ("tessary_adapter_" + std::to_string(::getpid()));
    fs::remove_all(dir);
    fs::create_directories(dir);
    return dir;
}

// One fast box (#01) behind a by-id link in a folder of the test's own.
bravik::sim::LineConfig ByIdLine(const fs::path& dir) {
    bravik::sim::BoxConfig box;
    box.baud = 115200;
    box.gate = "0.01";
    box.logSets = 300;
    bravik::sim::LineConfig cfg;
    cfg.boxes = {box, box};
    cfg.boxes[1].address = 2;
    cfg.pacing = false;
    cfg.byIdDir = (dir / "by-id").string();
    cfg.byIdName = kById;
    return cfg;
}

// A session on COM1 = the by-id link, its watch looking in the test's folders,
// the status line recorded, the box at #01 read out (so the watch knows it).
struct Replug : ::testing::Test {
    fs::path dir = TempFolder();
    bravik::sim::Line line{ByIdLine(dir)};
    link::PortMap ports;
    link::DeviceLink dl{std::make_unique<testkit::UnpacedPort>(std::make_unique<link::PosixPort>()),
                        [this](const std::string& n) { return ports.Resolve(n); }};
    testkit::RecordingOperator op;
    app::Session s{dl, ports, op, app::Options{}};
    std::mutex m;
    Strings status;
    std::string serial;

    void SetUp() override {
        line.start();
        ports.SetFromCommandLine("COM1", (dir / "by-id" / kById).string());
        s.Reset();
        dl.SetLinkPortName("COM1");
        dl.SetLinkBaudRate(115200);
        ASSERT_TRUE(dl.OpenComPort());
        s.Watch().SetDirs({(dir / "dev").string(), (dir / "by-id").string(), "", ""});
        s.Watch().SetStatusSink([this](const std::string& t) {
            std::lock_guard l(m);
            status.push_back(t);
        });
        s.State().CurrentAddress = "#01";
        device::ReadDeviceInfo(s);
        serial = s.State().Info.SerialNumber;
        ASSERT_EQ(serial.size(), 8u);
    }
    void TearDown() override { fs::remove_all(dir); }
    Strings Status() {
        std::lock_guard l(m);
        return status;
    }
    // Pulls the plug, and puts it back `after` later from another thread.
    std::thread PullPlug(std::chrono::milliseconds after, bool otherBoxes = false) {
        line.hangUp();
        return std::thread([this, after, otherBoxes] {
            std::this_thread::sleep_for(after);
            line.restore(otherBoxes);
        });
    }
};

TEST_F(Replug, ReadingsLoopsPauseOnceAndGoOnWithTheSameBox) {
    struct Rows final : device::ReadingsView {
        Strings times;
        void ShowReading(const device::Reading& r) override { times.push_back(r.time); }
        void ClearReadings() override {}
        void ShowCaption(const std::string& c) override { times.push_back("caption " + c); }
    };
    for (const bool panels : {false, true}) {
        SCOPED_TRACE(panels ? "the four panels" : "the single panel");
        status.clear();
        Rows rows;
        std::thread back;
        bool& stopped = panels ? s.State().PanelPollStopped : s.State().SinglePollStopped;
        op.onPump = [&] {
            std::this_thread::sleep_for(5ms);
            if (rows.times.size() == 5 && !back.joinable()) back = PullPlug(300ms);
            if (rows.times.size() >= 10) stopped = true;
        };
        if (panels) {
            s.State().TransducerCaption[0] = "#01    " + serial;
            ASSERT_TRUE(device::SwitchPanelPolling(s, true));
            device::PollPanels(s, {&rows, nullptr, nullptr, nullptr});
        } else {
            ASSERT_TRUE(device::SwitchSinglePolling(s, true));
            device::PollSingle(s, rows);
        }
        back.join();
        EXPECT_EQ(Status(), Strings({"COM1: adapter unplugged", "COM1: adapter back, #01 is " + serial + " again"}));
        EXPECT_EQ(rows.times.size(), 10u);
        for (const auto& t : rows.times) EXPECT_TRUE(t.find("NoConnect") == std::string::npos) << t;
    }
}

struct FileView final : capture::CaptureView {
    std::string note;  // read once the capture thread is joined
    void ShowLine(std::uint64_t, int, const std::string&) override {}
    void ShowFileError(std::uint64_t, int, const std::string& text) override { EXPECT_EQ(text, ""); }
    void ShowState(std::uint64_t, bool, const std::string& n) override { note += n; }
};

const std::string kReading = R"(\d{4}/\d\d/\d\d, \d\d:\d\d:\d\d,[-0-9.]+,[-0-9.]+,\d+,\d+\r\n)";
const std::string kGap = R"(Gap: adapter unplugged \d{4}/\d\d/\d\d, \d\d:\d\d:\d\d - back \d{4}/\d\d/\d\d, \d\d:\d\d:\d\d\r\n)";

TEST_F(Replug, CapturePausesAndWritesOneGapLineOrStopsWhenAnotherBoxAnswers) {
    for (const bool other : {false, true}) {
        SCOPED_TRACE(other ? "another box" : "the same box");
        status.clear();
        FileView view;
        capture::SteadyCaptureClock clock;
        capture::Capture capture(dl, op, view, clock, 60ms);
        capture.SetLineWatch(&s.Watch());
        capture::CapturePlan setup;
        setup.ticked = setup.overwrite = {true, true, false, false};
        setup.addresses = {"#01", "#02", "", ""};
        setup.gateTime = "0.01";
        for (int k = 0; k < 2; ++k) setup.paths[k] = (dir / ("t" + std::to_string(k) + ".txt")).string();
        ASSERT_TRUE(capture.Start(setup));
        const auto lines = [&](int k) {
            const std::string f = testkit::ReadFile(setup.paths[k]);
            return std::count(f.begin(), f.end(), '\n');
        };
        const auto waitFor = [](const std::function<bool()>& done) {
            for (const auto until = std::chrono::steady_clock::now() + 10s; !done() && std::chrono::steady_clock::now() < until;)
                std::this_thread::sleep_for(20ms);
        };
        waitFor([&] { return lines(1) >= 2; });
        std::thread back = PullPlug(400ms, other);
        back.join();
        const auto before = lines(1);
        waitFor([&] { return Status().size() == 2 && (other || lines(1) >= before + 3); });
        capture.Stop();
        // Another "ID" at #01: no line after the pull, and the capture ends saying what answered.
        for (int k = 0; k < 2; ++k)
            EXPECT_TRUE(std::regex_match(testkit::ReadFile(setup.paths[k]),
                                         std::regex("(" + kReading + ")+" + (other ? "" : kGap + "(" + kReading + ")+"))));
        const std::string changed = (serial[0] == '9' ? "8" : "9") + serial.substr(1);
        const std::string why = "COM1: the adapter came back, but #01 answered \"" + changed + "\" where \"" + serial + "\" was";
        EXPECT_EQ(Status(), Strings({"COM1: adapter unplugged",
                                     other ? why + "; stopped" : "COM1: adapter back, #01 is " + serial + " again"}));
        EXPECT_EQ(view.note, other ? "Capture stopped: " + why : "");
    }
}

TEST_F(Replug, DumpEndsOnTheUnplugWithWholeLinesAndOneStatusMessage) {
    testkit::ScriptLogView view;
    log::LogFlows flows{s, view};
    line.setPacing(true);  // a dump long enough to pull the plug in the middle
    const std::string file = (dir / "dump.txt").string();
    view.saves = {{"", false, true, "1", "300"}};
    view.file = file;
    int read = 0;  // the plug goes once the PC has read 20 lines of the stream
    const auto observer = dl.AddTrafficObserver([&](const link::TrafficRecord& r) {
        if (r.command == link::kNoWrite && ++read == 20) line.hangUp();
    });
    flows.OpenLogDump();
    dl.RemoveTrafficObserver(observer);
    EXPECT_EQ(Status(), Strings{"COM1: adapter unplugged"});
    const std::string text = testkit::ReadFile(file);
    EXPECT_TRUE(std::regex_match(text, std::regex("([^\r\n]*\r\n)+"))) << text;
    const auto lines = std::count(text.begin(), text.end(), '\n');
    EXPECT_TRUE(lines > 20 && lines < 300) << lines;  // the plug went in the middle
    EXPECT_EQ(text.find("NoConnect"), std::string::npos);  // only the box's own lines
}

// The second program and the permissions, as the operator is told them.
TEST(PortOwner, BusyPortNamesTheProgramHoldingIt) {
    bravik::sim::Line line(bravik::sim::demoLine());
    line.start();
    const std::string path = line.slavePath();
    // util-linux's flock holds the lock as another terminal program would (its
    // sleep holds the device too); a plain sleep holds no lock at all.
    for (const std::string holder : {"exec flock --exclusive \"$0\" sleep 5", "exec sleep 5 <>\"$0\""}) {
        const pid_t child = ::fork();
        if (child == 0) {
            ::setpgid(0, 0);  // flock's sleep goes with it
            ::execlp("sh", "sh", "-c", holder.c_str(), path.c_str(), static_cast<char*>(nullptr));
            ::_exit(127);
        }
        const std::string name = holder.substr(5, 5);
        link::PortStatus s;  // until it holds the device under its own name
        for (int i = 0; i < 100 && (s = link::PosixPort().open(path, 9600)).owner.find(name) == std::string::npos; ++i)
            std::this_thread::sleep_for(20ms);
        ::kill(-child, SIGTERM);
        ::waitpid(child, nullptr, 0);
        EXPECT_EQ(s.code, link::PortStatus::Code::Busy) << holder;
        EXPECT_EQ(link::OpenRefusalNotice("COM1", path, s).rfind("COM1 (" + path + ") is in use by another program (pid " +
                                                                     std::to_string(child) + ", " + name,
                                                                 0),
                  0u)
            << link::OpenRefusalNotice("COM1", path, s);
    }
}

TEST(PortOwner, PermissionDeniedNamesTheGroupAndTheFix) {
    bravik::sim::Line line(bravik::sim::demoLine());
    line.start();
    const std::string path = line.ptyName();
    struct stat st {};
    ASSERT_EQ(::stat(path.c_str(), &st), 0);
    const std::string group = ::getgrgid(st.st_gid)->gr_name;
    // The group is worth joining only when it may read and write.
    const std::pair<mode_t, std::string> cases[] = {
        {0660, "Permission denied on " + path + " (group " + group + "). Add yourself to the group: sudo usermod -aG " +
                   group + " $USER, then log in again"},
        {0600, "Permission denied on " + path +
                   " (mode 0600): the device lets only its owner in. Give it a group that may read and write with a "
                   "udev rule (MODE=\"0660\", GROUP=\"dialout\"), then add yourself to that group; or, until it is "
                   "plugged in again: sudo chmod 0666 " +
                   path}};
    for (const auto& [mode, text] : cases) {
        ASSERT_EQ(::chmod(path.c_str(), mode), 0);
        // The open, as a user not in the group (tests run as root); its text comes back through a pipe.
        int fds[2];
        ASSERT_EQ(::pipe(fds), 0);
        if (::fork() == 0) {
            std::string got = "no other user";
            if (::setgroups(0, nullptr) == 0 && ::setgid(65534) == 0 && ::setuid(65534) == 0) {
                const link::PortStatus s = link::PosixPort().open(path, 9600);
                got = (s.code == link::PortStatus::Code::PermissionDenied ? "" : "not PermissionDenied: ") + s.text;
            }
            ::_exit(::write(fds[1], got.data(), got.size()) < 0);
        }
        ::close(fds[1]);
        char buf[512];
        const ssize_t n = std::max<ssize_t>(::read(fds[0], buf, sizeof buf), 0);
        ::close(fds[0]);
        ::wait(nullptr);
        EXPECT_EQ(std::string(buf, static_cast<std::size_t>(n)), text);
    }
}

}  // namespace
