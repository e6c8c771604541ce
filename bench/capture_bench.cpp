// What the timed capture keeps on a busy line, with a second thread running
// its own exchanges ("#03ID") on the same link the whole time:
// - lines lost over 10,000 cycles of two slots (simulator unpaced, 2 ms period):
//   every line made must be in its file, byte for byte, and be a reading;
// - drift after 1,000 periods and the lateness of a cycle's start (simulator
//   paced at 115200 baud, 25 ms period: about 50 s), line free and line busy;
// - memory over 100,000 cycles in virtual time (scripted port, 1 s periods).
// Exit status 1 when a line is lost or an answer reaches the wrong thread.

#include "capture/Capture.h"
#include "capture/TrafficLog.h"
#include "link/PortMap.h"
#include "link/PosixPort.h"
#include "sim/Line.h"
#include "testkit/RecordingOperator.h"
#include "testkit/VirtualClock.h"

#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <mutex>
#include <thread>
#include <vector>

using namespace tessary;
using namespace std::chrono_literals;
namespace fs = std::filesystem;

namespace {

bool IsReading(const std::string& l) {
    return l.size() > 22 && l[4] == '/' && l[7] == '/' && l.compare(10, 2, ", ") == 0 &&
           std::count(l.begin(), l.end(), ',') == 5;
}

struct CountingView final : capture::CaptureView {
    std::mutex m;
    std::array<long, 4> lines{}, bytes{}, bad{};
    std::array<std::string, 4> last;
    bool AskAppend(const std::string&) override { return false; }
    void ShowLine(int slot, const std::string& line) override {
        std::lock_guard l(m);
        const auto k = static_cast<std::size_t>(slot - 1);
        ++lines[k];
        bytes[k] += static_cast<long>(line.size() + 2);
        bad[k] += !IsReading(line);
        last[k] = line;
    }
    void ShowFileError(int source, const std::string& text) override {
        if (!text.empty()) std::printf("  file error %d: %s\n", source, text.c_str());
    }
    void ShowState(bool, const std::string&) override {}
};

long FileLines(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::count(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>(), '\n');
}

long RssKiB() {
    long pages = 0, rss = 0;
    std::FILE* f = std::fopen("/proc/self/statm", "r");
    if (f) {
        if (std::fscanf(f, "%ld %ld", &pages, &rss) != 2) rss = 0;
        std::fclose(f);
    }
    return rss * (sysconf(_SC_PAGESIZE) / 1024);
}

struct SimRig {
    bravik::sim::Line line;
    link::PortMap ports;
    link::DeviceLink dl{std::make_unique<link::PosixPort>(), [this](const std::string& n) { return ports.Resolve(n); }};
    fs::path dir = fs::temp_directory_path() / ("capture_bench_" + std::to_string(::getpid()));

    explicit SimRig(bool paced) : line(Config(paced)) {
        line.start();
        ports.SetFromCommandLine("COM1", line.slavePath());
        dl.SetLinkBaudRate(115200);
        dl.OpenComPort();
        fs::create_directories(dir);
    }
    ~SimRig() { fs::remove_all(dir); }
    static bravik::sim::LineConfig Config(bool paced) {
        bravik::sim::LineConfig cfg;
        cfg.pacing = paced;
        bravik::sim::BoxConfig box;
        box.baud = 115200;
        box.gate = "0";
        for (int a : {1, 2, 3}) {
            box.address = a;
            cfg.boxes.push_back(box);
        }
        return cfg;
    }
    capture::CaptureSetup Setup() const {
        capture::CaptureSetup s;
        s.ticked = {true, true, false, false};
        s.addresses = {"#01", "#02", "", ""};
        s.paths = {(dir / "1.txt").string(), (dir / "2.txt").string(), "", ""};
        return s;
    }
};

// Exchanges "#03ID" until stopped; counts answers that are not box 3's.
struct OtherThread {
    std::atomic<bool> stop{false};
    long asked = 0, wrong = 0;
    std::thread thread;
    explicit OtherThread(link::DeviceLink& dl) {
        const std::string serial = dl.SendCommand("#03ID\r\n");
        thread = std::thread([this, &dl, serial] {
            for (; !stop; ++asked) wrong += dl.SendCommand("#03ID\r\n") != serial;
        });
    }
    void Stop() {
        stop = true;
        if (thread.joinable()) thread.join();
    }
};

int LostLines() {
    SimRig rig(false);
    testkit::RecordingOperator op;
    CountingView view;
    capture::SteadyCaptureClock clock;
    capture::Capture capture(rig.dl, op, view, clock, 2ms);
    std::atomic<std::uint64_t> cycles{0};
    capture.SetCycleObserver([&](const capture::CycleTiming&) { ++cycles; });
    OtherThread other(rig.dl);
    const auto setup = rig.Setup();
    const auto t0 = std::chrono::steady_clock::now();
    capture.Start(setup);
    while (cycles < 10000) std::this_thread::sleep_for(5ms);
    capture.Stop();
    other.Stop();
    const double secs = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();

    int failures = 0;
    std::printf("lines lost: %llu cycles in %.1f s (%llu periods skipped), other thread %ld exchanges, %ld wrong\n",
                static_cast<unsigned long long>(cycles.load()), secs,
                static_cast<unsigned long long>(capture.Skipped()), other.asked, other.wrong);
    for (std::size_t k = 0; k < 2; ++k) {
        const long inFile = FileLines(setup.paths[k]);
        const auto size = static_cast<long>(fs::file_size(setup.paths[k]));
        std::printf("  slot %zu: %ld lines made, %ld in the file (lost %ld), %ld not a reading; bytes %ld of %ld\n",
                    k + 1, view.lines[k], inFile, view.lines[k] - inFile, view.bad[k], size, view.bytes[k]);
        failures += inFile != view.lines[k] || size != view.bytes[k] || view.bad[k] != 0;
    }
    return failures + (other.wrong != 0);
}

void Timing(bool busy) {
    SimRig rig(true);
    testkit::RecordingOperator op;
    CountingView view;
    capture::SteadyCaptureClock clock;
    constexpr auto period = 25ms;
    capture::Capture capture(rig.dl, op, view, clock, period);
    std::vector<capture::CycleTiming> timings;
    timings.reserve(1100);
    std::atomic<std::size_t> count{0};
    capture.SetCycleObserver([&](const capture::CycleTiming& t) {
        if (timings.size() < 1100) timings.push_back(t);
        ++count;
    });
    std::unique_ptr<OtherThread> other;
    if (busy) other = std::make_unique<OtherThread>(rig.dl);
    const auto t0 = clock.Now();
    capture.Start(rig.Setup());
    while (count < 1000) std::this_thread::sleep_for(10ms);
    capture.Stop();
    if (other) other->Stop();

    std::vector<double> late;
    std::size_t lateRuns = 0;
    for (const auto& t : timings) {
        late.push_back(std::chrono::duration<double, std::milli>(t.began - t.due).count());
        if (t.began - t.due >= period) ++lateRuns;
    }
    // Offset of a cycle's start from t0 + k periods, less its own lateness: the
    // time Start took to open the files at the first period, and no more later.
    const auto offset = [&](const capture::CycleTiming& t) {
        return std::chrono::duration<double, std::milli>(t.due - t0).count() - static_cast<double>(t.period) * 25.0;
    };
    const auto& last = *std::find_if(timings.begin(), timings.end(), [](auto& t) { return t.period >= 1000; });
    const double lastLate = std::chrono::duration<double, std::milli>(last.began - last.due).count();
    std::sort(late.begin(), late.end());
    const auto at = [&](double q) { return late[static_cast<std::size_t>(q * static_cast<double>(late.size() - 1))]; };
    // One exchange of the other thread on the wire: "#03ID\r\n" and its answer, 10 bits a byte.
    const double exchangeMs = static_cast<double>(7 + 10) * 10.0 / 115.2;
    std::printf("%s: period %lld ms, %zu cycles, %llu skipped; period %llu began %.3f ms after its deadline;"
                " deadline offset from Start at period %llu %.3f ms, at period %llu %.3f ms: drift %.3f ms\n",
                busy ? "line busy" : "line free", static_cast<long long>(period.count()), late.size(),
                static_cast<unsigned long long>(capture.Skipped()), static_cast<unsigned long long>(last.period),
                lastLate, static_cast<unsigned long long>(timings.front().period), offset(timings.front()),
                static_cast<unsigned long long>(last.period), offset(last), offset(last) - offset(timings.front()));
    std::printf("  lateness of a cycle's start: p50 %.3f ms, p99 %.3f ms, max %.3f ms (%zu ran a period late)\n",
                at(0.5), at(0.99), late.back(), lateRuns);
    if (busy)
        std::printf("  p99 / one exchange of the other thread on the wire (%.2f ms): %.2f\n", exchangeMs,
                    at(0.99) / exchangeMs);
    if (other) std::printf("  other thread: %ld exchanges, %ld wrong\n", other->asked, other->wrong);
}

void Memory() {
    auto* port = new testkit::ScriptedPort;
    link::PortMap ports;
    ports.SetFromCommandLine("COM1", "/dev/scripted");
    link::DeviceLink dl(std::unique_ptr<link::Port>(port), [&ports](const std::string& n) { return ports.Resolve(n); });
    dl.OpenComPort();
    port->onWrite = [port](const std::string&) {
        port->writes.clear();  // the scripted port's own record is no part of the figure
        port->Arrive("2007:05:17:12:30:00,1.5,2.5,100,200\r\n", 2ms);
    };
    capture::TrafficLog traffic;
    dl.SetTrafficObserver([&traffic](const link::TrafficRecord& r) { traffic.Push(r); });
    testkit::RecordingOperator op;
    CountingView view;
    testkit::VirtualClock clock(*port, dl);
    capture::Capture capture(dl, op, view, clock);
    const fs::path dir = fs::temp_directory_path() / ("capture_bench_mem_" + std::to_string(::getpid()));
    fs::create_directories(dir);
    capture::CaptureSetup setup;
    setup.allSerial = true;
    setup.allSerialPath = (dir / "all.txt").string();
    setup.ticked = {true, true, true, true};
    setup.addresses = {"#01", "#02", "#03", "#04"};
    for (std::size_t k = 0; k < 4; ++k) setup.paths[k] = (dir / (std::to_string(k) + ".txt")).string();
    const auto start = clock.Now();
    capture.Start(setup);
    clock.RunUntil(start + 10000s + 500ms);
    const long at10k = RssKiB();
    clock.RunUntil(start + 100000s + 500ms);
    const long at100k = RssKiB();
    capture.Stop();
    std::printf(
        "memory (virtual time, 4 slots + all-serial + traffic log): RSS %ld KiB after 10,000 cycles, %ld KiB after"
        " 100,000 (%+.1f %%); %ld lines per slot\n",
        at10k, at100k, 100.0 * static_cast<double>(at100k - at10k) / static_cast<double>(at10k), view.lines[0]);
    dl.SetTrafficObserver({});
    fs::remove_all(dir);
}

}  // namespace

int main(int argc, char** argv) {
    const std::string only = argc > 1 ? argv[1] : "";
    int failures = 0;
    if (only.empty() || only == "lost") failures += LostLines();
    if (only.empty() || only == "timing") {
        Timing(false);
        Timing(true);
    }
    if (only.empty() || only == "memory") Memory();
    return failures ? 1 : 0;
}
