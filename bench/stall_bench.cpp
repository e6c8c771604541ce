// How long the window's event loop stalls while the line works: a timer on the
// window thread measures its own lateness during the information read-out at
// 9600 baud, one silent 20 s wait and the 99-address scan, each run on the line
// thread as the program runs it. Target <= 100 ms, aim <= 20 ms.

#include "app/Connect.h"
#include "bench/OneBoxLine.h"
#include "device/DeviceInfo.h"
#include "link/PosixPort.h"
#include "ui/OnWindow.h"
#include "ui/Program.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <cstdlib>

using namespace tessary;

namespace {

constexpr int kTickMs = 10;

struct Figure {
    double stallMs = 0;  // longest lateness of the tick
    double seconds = 0;  // how long the operation ran
};

// Runs `job` on the line while the window's own event loop ticks.
Figure Measure(Program& p, const std::function<void()>& job) {
    QEventLoop loop;
    Figure f;
    QElapsedTimer since, total;
    QTimer tick;
    tick.setTimerType(Qt::PreciseTimer);
    QObject::connect(&tick, &QTimer::timeout, [&] {
        f.stallMs = std::max(f.stallMs, static_cast<double>(since.nsecsElapsed()) / 1e6 - kTickMs);
        since.restart();
    });
    total.start();
    since.start();
    tick.start(kTickMs);
    p.runner.Run([&] {
        job();
        PostToWindow([&] { loop.quit(); });
    });
    loop.exec();
    f.seconds = static_cast<double>(total.elapsed()) / 1000.0;
    return f;
}

int Report(const char* what, const Figure& f) {
    const bool ok = f.stallMs <= 100;
    std::printf("%-42s %7.2f s, longest stall %6.1f ms  (target <= 100, aim <= 20) %s\n", what, f.seconds, f.stallMs,
                ok ? (f.stallMs <= 20 ? "ok" : "ok, above the aim") : "MISSED");
    return ok ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QApplication application(argc, argv);

    bench::OneBoxLine rig{bravik::sim::BoxConfig{}};  // one box at #01, 9600 baud
    Program p(std::make_unique<link::PosixPort>(), {});
    p.ports.SetFromCommandLine("COM1", rig.line.slavePath());
    p.Start();
    p.link.SetLinkPortName("COM1");
    p.link.SetLinkBaudRate(9600);
    if (!p.link.OpenComPort()) {
        std::fprintf(stderr, "cannot open the simulated line\n");
        return 1;
    }
    auto& st = p.session.State();
    st.ConnectionFound = false;  // leave the INI file alone
    int failures = 0;

    st.CurrentAddress = "#01";
    failures += Report("information read-out, 9600 baud:", Measure(p, [&] { device::ReadDeviceInfo(p.session); }));

    failures += Report("one silent 20 s wait:",
                       Measure(p, [&] { p.link.Exchange("#42ID\r\n", {std::chrono::seconds(20)}); }));

    st.TryIniFirst = true;  // no question per box found
    failures += Report("99-address scan, one box:", Measure(p, [&] { p.connect.Connect().ScanAddresses(); }));
    return failures;
}
