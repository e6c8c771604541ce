// How long the window's event loop stalls while the line works: a timer on the
// window thread measures its own lateness during the information read-out at
// 9600 baud, one silent 20 s wait and the 99-address scan, each run on the line
// thread as the program runs it. Target <= 100 ms, aim <= 20 ms.
// Then a capture (one slot and the all-serial file) is started and stopped from
// the capture page while the line is held: during an upload's copy wait, the
// log-initialise wait, a log dump and a coefficient read. The window must not
// wait for the line there either: target <= 20 ms.

#include "app/Connect.h"
#include "OneBoxLine.h"
#include "app/private/AppState.h"
#include "coef/CoefTransfer.h"
#include "device/DeviceInfo.h"
#include "firmware/Upload.h"
#include "log/LogFlows.h"
#include "link/LinuxPort.h"
#include "ui/OnWindow.h"
#include "ui/Program.h"
#include "ui/TCapturePage.h"

#include <QApplication>
#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <unistd.h>

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

int Report(const char* what, const Figure& f, int target = 100) {
    const bool ok = f.stallMs <= target;
    if (target == 100)
        std::printf("%-48s %7.2f s, longest stall %6.1f ms  (target <= 100, aim <= 20) %s\n", what, f.seconds,
                    f.stallMs, ok ? (f.stallMs <= 20 ? "ok" : "ok, above the aim") : "MISSED");
    else
        std::printf("%-48s %7.2f s, longest stall %6.1f ms  (target <= %d) %s\n", what, f.seconds, f.stallMs, target,
                    ok ? "ok" : "MISSED");
    return ok ? 0 : 1;
}

// The capture page's toggle, pressed on the window thread as the operator
// would, and pressed again `stopAfterMs` later.
int capturesStarted = 0;
void StartAndStopCapture(Program& p, int stopAfterMs) {
    PostToWindow([&p, stopAfterMs] {
        auto* button = p.form.CapturePage()->findChild<QPushButton*>("SpeedButtonMMTimer");
        button->click();
        capturesStarted += p.form.CapturePage()->Capture().Running();
        QTimer::singleShot(stopAfterMs, button, [button] {
            if (button->isChecked()) button->click();
        });
    });
}

// Reads the coefficient block; the capture starts at its first line.
struct CoefReadView final : coef::CoefView {
    Program& p;
    bool started = false;
    explicit CoefReadView(Program& program) : p(program) {}
    std::optional<std::string> PickCoefFile(const std::string&) override { return std::nullopt; }
    std::vector<std::string> PickQuickLoadFiles(const std::string&, const std::string&) override { return {}; }
    std::optional<std::string> PickSaveFile(const std::string&, const std::string&, const std::string&,
                                            const std::string&) override {
        return std::nullopt;
    }
    bool AskGoOn(const std::string&) override { return false; }
    bool AskSendUncheckedBlock(const std::string&) override { return false; }
    bool AskMakePermanent() override { return false; }
    void ShowHexLines(const std::vector<std::string>&) override {}
    void ShowMemoLines(const std::vector<std::string>&) override {}
    void ShowHexBox(bool) override {}
    void ShowWriteButton() override {}
    void ShowProgress(const std::string& text) override {
        if (!started && text.rfind("Reading", 0) == 0) StartAndStopCapture(p, 300), started = true;
    }
    void ShowBackup(const std::string&) override {}
};

// Sends a small image; the capture starts as the copy wait begins.
struct UploadView final : firmware::FirmwareView {
    Program& p;
    std::string file;
    explicit UploadView(Program& program, std::string path) : p(program), file(std::move(path)) {}
    std::optional<std::string> PickImageFile(const std::string&) override { return file; }
    bool AskSendUncheckedImage(const std::string&) override { return false; }
    void Log(const std::string& line) override {
        if (line.rfind("Please wait for Bravik to Copy", 0) == 0) StartAndStopCapture(p, 1000);
    }
    void ShowProgress(std::uint32_t) override {}
    void SetProgress(std::uint32_t) override {}
    void HideProgress() override {}
    std::string TimeOfDay() override { return "-"; }
};

// Initialises the log with the pressure; the capture starts as the late answer is awaited.
struct InitLogView final : log::LogView {
    Program& p;
    explicit InitLogView(Program& program) : p(program) {}
    bool AskLogItems(std::array<bool, 4>& chosen) override {
        chosen = {true, false, false, false};
        return true;
    }
    void ShowLogMessage(bool shown) override {
        if (shown) StartAndStopCapture(p, 1000);
    }
    bool AskLogRate(log::LogRateForm&) override { return false; }
    std::optional<log::LogTimeChoice> AskLogTime(bool) override { return std::nullopt; }
    std::optional<log::LogDumpFields> WaitLogDumpSave(const std::string&, bool) override { return std::nullopt; }
    void ShowDumpRange(const std::string&, const std::string&) override {}
    std::optional<std::string> AskLogFile() override { return std::nullopt; }
    void DumpRunning(bool running) override {
        if (running) StartAndStopCapture(p, 1000);
    }
    void ShowDumpProgress(long long, long long) override {}
    bool DumpCancelled() override { return false; }
    void CloseLogDump() override {}
};

}  // namespace

int main(int argc, char** argv) {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QApplication application(argc, argv);

    bravik::sim::BoxConfig box;  // one box at #01, 9600 baud
    box.logSets = 150;           // a dump streams for about 5 s
    box.eraseMs = 3000;
    box.copyMs = 3000;
    bench::OneBoxLine rig{box};
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

    // The capture page with slot 1 and the all-serial file ticked.
    const auto dir = std::filesystem::temp_directory_path() / ("stall_bench_" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    st.TransducerCaption = {"#01    box1", "NoConnect", "NoConnect", "NoConnect"};
    st.TransducerAddress = {"#01", "", "", ""};
    st.Info.GateTime = "0.5";
    p.form.ShowConnection(p.session.CopyConnection());  // the line is idle
    TCapturePage* page = p.form.CapturePage();
    page->findChild<QCheckBox*>("cbTrans1")->setChecked(true);
    page->findChild<QCheckBox*>("cbAllSerial")->setChecked(true);
    int capture = 0;
    const auto captureCase = [&](const char* what, const std::function<void()>& job) {
        ++capture;
        page->findChild<QLineEdit*>("edPath1")->setText(QString::fromStdString((dir / ("c" + std::to_string(capture) + ".txt")).string()));
        page->findChild<QLineEdit*>("edSerialPath")->setText(QString::fromStdString((dir / ("a" + std::to_string(capture) + ".txt")).string()));
        const int before = capturesStarted;
        failures += Report(what, Measure(p, job), 20);
        if (capturesStarted == before) {
            std::printf("  MISSED: no capture was started while the line was held\n");
            ++failures;
        }
        // The capture's thread ends once it had the line.
        for (QElapsedTimer t; !t.isValid() || (page->Capture().Running() && t.elapsed() < 10000);) {
            if (!t.isValid()) t.start();
            QApplication::processEvents(QEventLoop::AllEvents, 10);
        }
    };

    const std::string image = (dir / "image.hex").string();
    std::ofstream(image, std::ios::binary) << ":0400000001020304F2\r\n:00000001FF\r\n";
    UploadView uploadView(p, image);
    captureCase("capture started during an upload's copy wait:",
                [&] { firmware::Uploader(p.session, uploadView).Upload("#01"); });
    InitLogView logView(p);
    log::LogFlows flows(p.session, logView);
    captureCase("capture started during a log dump:", [&] {
        log::DumpRequest req;
        req.path = (dir / "dump.txt").string();
        req.total = 150;
        flows.DumpLog(req);
    });
    captureCase("capture started during the log-initialise wait:", [&] { flows.InitLog(); });
    st.DefaultFolder = dir.string() + "/";  // the block's backup goes there
    CoefReadView coefView(p);
    coef::CoefTransfer coefs(p.session, coefView);
    captureCase("capture started during a coefficient read:", [&] { coefs.ReadTemperatureCoefficients(); });
    std::filesystem::remove_all(dir);
    return failures;
}
