// Program entry: the start-up sequence.

#include "app/Options.h"
#include "link/PortMap.h"
#include "link/System.h"
#include "demo/DemoLine.h"
#include "ui/FilePaths.h"
#include "ui/Program.h"
#include "ui/SignalBridge.h"
#include "ui/TChartWindow.h"

#include <QApplication>
#include <QFile>
#include <QTemporaryDir>

#include <cstdio>

using namespace tessary;

namespace {

// The demo line runs in this process; its INI file lives and dies with it, so
// the operator's own INI file is never touched.
struct Simulation {
    std::unique_ptr<demo::DemoLine> line;
    QTemporaryDir dir;

    bool Start(app::Options& options) {
        std::string error;
        line = demo::StartDemoLine(dir.isValid() ? QFile::encodeName(dir.filePath("by-id")).toStdString() : std::string(), error);
        if (!line) {
            std::fprintf(stderr, "tessary: cannot start the simulated line: %s\n", error.c_str());
            return false;
        }
        options.ports.insert(options.ports.begin(), {"COM1", line->DevicePath()});
        if (options.iniPath.empty() && dir.isValid()) {
            const QString ini = dir.filePath("Tessary.ini");
            QFile f(ini);
            if (f.open(QIODevice::WriteOnly))
                f.write("; Simulated line: three boxes on COM1\r\n[Communication]\r\nComPort=COM1\r\nBaudRate=9600\r\n"
                        "Addr1=#01\r\nAddr2=#02\r\nAddr3=#05\r\n");
            options.iniPath = PathBytes(ini);
        }
        return true;
    }
};

}  // namespace

int main(int argc, char* argv[]) {
    std::vector<std::string> args(argv + 1, argv + argc);
    app::Options options = app::ParseCommandLine(args);
    if (options.help) {
        std::fputs(app::UsageText().c_str(), stdout);
        return 0;
    }
    if (options.version) {
        std::printf("tessary %s\n", TESSARY_VERSION);
        return 0;
    }
    if (!options.error.empty()) {
        std::fprintf(stderr, "tessary: %s\n\n%s", options.error.c_str(), app::UsageText().c_str());
        return 2;
    }

    QApplication application(argc, argv);
    QApplication::setApplicationName("Tessary");
    QApplication::setApplicationDisplayName("Tessary");
    // The window's close ends the run, once FormClose is done.
    QApplication::setQuitOnLastWindowClosed(false);
    // First: a signal during start-up waits in the bridge for the event loop.
    SignalBridge signals_;

    if (!options.chartFiles.empty()) {
        // Only the chart: no line, no INI file.
        TChartWindow chart;
        int read = 0;
        for (const auto& path : options.chartFiles) read += chart.AddFile(path) ? 1 : 0;
        if (read == 0) std::fprintf(stderr, "tessary: no readings in %s\n", options.chartFiles.front().c_str());
        QObject::connect(&signals_, &SignalBridge::terminationRequested, &chart, &QWidget::close);
        QApplication::setQuitOnLastWindowClosed(true);
        chart.show();
        return QApplication::exec();
    }

    Simulation simulation;
    if (options.simulate && !simulation.Start(options)) return 1;

    Program program(link::MakeSystemPort(), options);
    link::MapSystemPorts(program.ports, "/dev");
    for (const auto& [name, path] : options.ports) program.ports.SetFromCommandLine(name, path);
    TForm1& form = program.form;
    QObject::connect(&signals_, &SignalBridge::terminationRequested, &form, [&form](int) { form.CloseForSignal(); });
    if (options.simulate) {
        signals_.CatchPlugSignals();
        if (const std::string hint = demo::DemoPlugHint(); !hint.empty())
            std::fprintf(stderr, "tessary: simulated line on COM1; %s\n", hint.c_str());
        QObject::connect(&signals_, &SignalBridge::plugRequested, &form, [&simulation](bool in) {
            if (!in) {
                simulation.line->PullPlug();
            } else if (const std::string why = simulation.line->PutPlugBack(); !why.empty()) {
                std::fprintf(stderr, "tessary: cannot bring the simulated line back: %s\n", why.c_str());
            }
        });
    }
    QObject::connect(&form, &TForm1::closed, &application, &QCoreApplication::quit, Qt::QueuedConnection);
    if (options.simulate) form.SetLineHint("Simulated line");
    // A signal while a notice of the start-up is up closes the window inside
    // that notice's own event loop: the quit is spent there, so no loop may start.
    if (!program.Start()) return 0;
    // Modeless: its first showing tries the INI file's addresses and hides
    // itself when one answers; otherwise it waits for "Connect".
    program.connect.show();

    const int rc = QApplication::exec();
    form.FormClose();  // finishes a close begun inside a dialog; else a no-op
    return rc;
}
