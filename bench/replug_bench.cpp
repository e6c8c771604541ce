// An adapter pulled out during a readings loop and put back: how long from
// its return to the first resumed readings exchange (bound: 1 s), and what the
// watch costs while it waits (bound: 0.2 % of one core).

#include "app/Session.h"
#include "app/private/AppState.h"
#include "device/DeviceInfo.h"
#include "device/Readings.h"
#include "link/LinuxPort.h"
#include "sim/Line.h"

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <thread>
#include <unistd.h>

using namespace tessary;
using namespace std::chrono_literals;
using SteadyClock = std::chrono::steady_clock;

namespace {

// The line thread's operator as the program has it: a wait sleeps until asked.
struct SleepingOperator final : app::Operator {
    void ShowMessageBox(const std::string& text) override { std::printf("notice: %s\n", text.c_str()); }
    void ProcessEvents() override {}
    void WaitForEvents(int maxMs) override { std::this_thread::sleep_for(std::chrono::milliseconds(maxMs)); }
    void BeginBusy() override {}
    void EndBusy() override {}
    void ShowState() override {}
};

struct NoDisplay final : device::ReadingsView {
    void ShowReading(const device::Reading&) override {}
    void ClearReadings() override {}
    void ShowCaption(const std::string&) override {}
};

double CpuSeconds() {
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) / 1e9;
}

}  // namespace

int main() {
    namespace fs = std::filesystem;
    const fs::path dir = fs::temp_directory_path() / ("replug_bench_" + std::to_string(::getpid()));
    fs::create_directories(dir);
    bravik::sim::BoxConfig box;  // 9600 baud, paced: a real box's pace
    box.gate = "0.1";
    bravik::sim::LineConfig cfg;
    cfg.boxes = {box};
    cfg.byIdDir = (dir / "by-id").string();
    cfg.byIdName = "usb-Bravik_Bench_0001-if00-port0";
    bravik::sim::Line line(cfg);
    line.start();

    link::PortMap ports;
    ports.SetFromCommandLine("COM1", cfg.byIdDir + "/" + cfg.byIdName);
    link::DeviceLink dl(std::make_unique<link::PosixPort>(), [&](const std::string& n) { return ports.Resolve(n); });
    SleepingOperator op;
    app::Session s(dl, ports, op, app::Options{});
    s.Reset();
    s.Watch().SetDirs({(dir / "dev").string(), cfg.byIdDir, (dir / "by-path").string(), (dir / "sys").string()});
    if (!dl.OpenComPort()) {
        std::printf("cannot open the simulated line\n");
        return 1;
    }
    s.State().CurrentAddress = "#01";
    device::ReadDeviceInfo(s);
    device::SwitchSinglePolling(s, true);
    NoDisplay display;
    std::thread loop([&] { device::PollSingle(s, display); });

    constexpr int kRounds = 5;
    const auto away = 2s;
    double worstMs = 0, sumMs = 0, worstCpu = 0;
    for (int round = 0; round < kRounds; ++round) {
        std::this_thread::sleep_for(500ms);  // readings flow
        line.hangUp();
        std::this_thread::sleep_for(200ms);  // the loop has noticed and watches
        const double cpu0 = CpuSeconds();
        const auto wall0 = SteadyClock::now();
        std::this_thread::sleep_for(away);
        const double cpu = (CpuSeconds() - cpu0) / std::chrono::duration<double>(SteadyClock::now() - wall0).count();
        line.clearTraffic();
        const auto back = SteadyClock::now();
        line.restore();
        SteadyClock::time_point first{};
        line.waitForTraffic(
            [&](const std::vector<bravik::sim::Traffic>& t) {
                for (const auto& x : t)
                    if (x.dir == bravik::sim::Traffic::Dir::FromPc && x.text.find(device::kReadingsCommand) != std::string::npos) {
                        first = x.time;
                        return true;
                    }
                return false;
            },
            5s);
        const double ms = first == SteadyClock::time_point{} ? 5000.0
                                                              : std::chrono::duration<double, std::milli>(first - back).count();
        std::printf("round %d: return to first readings exchange %.0f ms; CPU while watching %.3f %%\n", round + 1, ms,
                    cpu * 100);
        worstMs = std::max(worstMs, ms);
        sumMs += ms;
        worstCpu = std::max(worstCpu, cpu);
    }
    s.State().SinglePollStopped = true;
    loop.join();
    line.stop();
    fs::remove_all(dir);
    std::printf("return to first resumed exchange: mean %.0f ms, worst %.0f ms (bound 1000 ms)\n", sumMs / kRounds, worstMs);
    std::printf("CPU while watching: worst %.3f %% of one core (bound 0.2 %%)\n", worstCpu * 100);
    return worstMs <= 1000 && worstCpu <= 0.002 ? 0 : 1;
}
