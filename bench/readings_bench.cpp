// What the readings loops cost, run on the line thread as in the program:
// - readings per second of the single-device loop at 115200 baud and a gate
//   time of 0.01 s, against the limit of that exchange (command and answer at
//   10 bits a byte, plus the gate time the box measures for);
// - the CPU share of a Readings loop whose four panels are all "NoConnect".

#include "app/Session.h"
#include "app/private/AppState.h"
#include "device/Readings.h"
#include "link/LinuxPort.h"
#include "OneBoxLine.h"
#include "sim/Line.h"
#include "ui/LineRunner.h"
#include "ui/QtOperator.h"
#include "ui/TOKBottomDlg.h"

#include <QApplication>
#include <QTimer>

#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

using namespace tessary;
using Clock = std::chrono::steady_clock;

namespace {

struct Counting final : device::ReadingsView {
    int complete = 0, other = 0;
    void ShowReading(const device::Reading& r) override { ++(r.complete ? complete : other); }
    void ClearReadings() override {}
    void ShowCaption(const std::string&) override {}
};

double CpuSeconds() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
           static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

}  // namespace

int main(int argc, char** argv) {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QApplication application(argc, argv);
    const double seconds = argc > 1 ? std::atof(argv[1]) : 5.0;
    int failures = 0;

    bravik::sim::BoxConfig box;
    box.baud = 115200;
    box.gate = "0.01";
    bench::OneBoxLine rig{box};
    auto& line = rig.line;
    auto& ports = rig.ports;
    auto& dl = rig.dl;
    app::LineThread lineThread;
    LineRunner runner(lineThread);
    TOKBottomDlg messageBox;
    QtOperator op(messageBox, runner);
    app::Session s(dl, ports, op, {});
    s.Reset();
    dl.SetLinkBaudRate(115200);
    if (!dl.OpenComPort()) {
        std::fprintf(stderr, "cannot open the simulated line\n");
        return 1;
    }
    auto& st = s.State();
    st.CurrentAddress = "#01";
    st.Info.GateTime = "0.01";

    // Single-device loop, five runs: the worst must keep to the exchange's pace.
    constexpr int kRuns = 5;
    std::vector<double> ratios;
    const int limitMs = static_cast<int>(seconds * 1000);
    for (int run = 0; run < kRuns; ++run) {
        Counting view;
        line.clearTraffic();
        double took = 0;
        runner.Run([&] {
            device::SwitchSinglePolling(s, true);
            const auto t0 = Clock::now();
            device::PollSingle(s, view);
            took = std::chrono::duration<double>(Clock::now() - t0).count();
        }, true);
        QTimer::singleShot(limitMs, [&] { runner.Request([&] { device::SwitchSinglePolling(s, false); }); });
        runner.WaitIdle(limitMs + 5000);
        std::size_t answerBytes = 0, answers = 0;
        for (const auto& t : line.traffic())
            if (t.dir == bravik::sim::Traffic::Dir::ToPc) answerBytes += t.text.size() + 2, ++answers;
        const double command = 19;  // "#01TM;D3;D4;D1;D2\r\n"
        const double answer = answers ? static_cast<double>(answerBytes) / static_cast<double>(answers) : 0;
        const double wire = (command + answer) * 10.0 / 115200.0;
        const double limit = 1.0 / (wire + 0.01);
        const double rate = view.complete / took;
        ratios.push_back(view.other == 0 ? rate / limit : 0.0);
        std::printf("  run %d: %.1f readings/s (%d whole, %d other) in %.2f s; exchange limit %.1f/s (%.0f + %.1f bytes"
                    " = %.2f ms on the wire + 10 ms gate): ratio %.3f; against the wire alone %.3f\n",
                    run + 1, rate, view.complete, view.other, took, limit, command, answer, wire * 1000, rate / limit,
                    rate * wire);
    }
    const double worst = *std::min_element(ratios.begin(), ratios.end());
    auto sorted = ratios;
    std::sort(sorted.begin(), sorted.end());
    std::printf("single-device loop, 115200 baud, gate 0.01 s, %d runs: ratio to the exchange limit median %.3f, worst"
                " %.3f  (target: worst >= 0.95) %s\n",
                kRuns, sorted[kRuns / 2], worst, worst >= 0.95 ? "ok" : "MISSED");
    failures += worst >= 0.95 ? 0 : 1;

    // All-"NoConnect" Readings loop.
    st.TransducerCaption = {"NoConnect", "NoConnect", "NoConnect", "NoConnect"};
    line.clearTraffic();
    const double cpu0 = CpuSeconds();
    const auto w0 = Clock::now();
    runner.Run([&] {
        device::SwitchPanelPolling(s, true);
        device::PollPanels(s, {nullptr, nullptr, nullptr, nullptr});
    }, true);
    QTimer::singleShot(limitMs, [&] { runner.Request([&] { device::SwitchPanelPolling(s, false); }); });
    runner.WaitIdle(limitMs + 5000);
    const double wall = std::chrono::duration<double>(Clock::now() - w0).count();
    const double share = (CpuSeconds() - cpu0) / wall * 100.0;
    std::printf("Readings loop with every panel \"NoConnect\": %.2f %% of a core over %.2f s, %zu lines on the wire"
                "  (target < 2 %%) %s\n",
                share, wall, line.traffic().size(), share < 2.0 ? "ok" : "MISSED");
    failures += share < 2.0 ? 0 : 1;
    return failures;
}
