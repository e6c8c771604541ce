// Program entry: the start-up sequence.

#include "app/Options.h"
#include "app/Session.h"
#include "link/DeviceLink.h"
#include "link/PortMap.h"
#include "link/PosixPort.h"
#include "sim/Config.h"
#include "sim/Line.h"
#include "ui/QtOperator.h"
#include "ui/SignalBridge.h"
#include "ui/TForm1.h"
#include "ui/TGoodConnectDlg.h"
#include "ui/TNewConnectDlg.h"
#include "ui/TOKBottomDlg.h"

#include <QApplication>
#include <QFile>
#include <QTemporaryDir>

#include <cstdio>
#include <system_error>

using namespace tessary;

namespace {

// The demo line runs in this process; its INI file lives and dies with it, so
// the operator's own INI file is never touched.
struct Simulation {
    std::unique_ptr<bravik::sim::Line> line;
    QTemporaryDir dir;

    bool Start(app::Options& options) {
        line = std::make_unique<bravik::sim::Line>(bravik::sim::demoLine());
        try {
            line->start();
        } catch (const std::system_error& e) {
            std::fprintf(stderr, "tessary: cannot start the simulated line: %s\n", e.what());
            return false;
        }
        options.ports.insert(options.ports.begin(), {"COM1", line->slavePath()});
        if (options.iniPath.empty() && dir.isValid()) {
            const QString ini = dir.filePath("Tessary.ini");
            QFile f(ini);
            if (f.open(QIODevice::WriteOnly))
                f.write("; Simulated line: three boxes on COM1\r\n[Communication]\r\nComPort=COM1\r\nBaudRate=9600\r\n"
                        "Addr1=#01\r\nAddr2=#02\r\nAddr3=#05\r\n");
            options.iniPath = S(ini);
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
    if (!options.error.empty()) {
        std::fprintf(stderr, "tessary: %s\n\n%s", options.error.c_str(), app::UsageText().c_str());
        return 2;
    }

    QApplication application(argc, argv);
    QApplication::setApplicationName("Tessary");
    QApplication::setApplicationDisplayName("Tessary");

    Simulation simulation;
    if (options.simulate && !simulation.Start(options)) return 1;

    link::PortMap ports;
    ports.SetSystemDevices(link::ListSerialDevices());
    for (const auto& [name, path] : options.ports) ports.SetFromCommandLine(name, path);
    link::DeviceLink deviceLink(std::make_unique<link::PosixPort>(),
                                [&ports](const std::string& name) { return ports.Resolve(name); });
    deviceLink.SetEventPump([] { QCoreApplication::processEvents(); });

    TOKBottomDlg messageBox;
    QtOperator op(messageBox);
    app::Session session(deviceLink, ports, op, options);

    TForm1 form(session, messageBox);
    if (options.simulate) form.SetLineHint("Simulated line");
    SignalBridge signals_;
    QObject::connect(&signals_, &SignalBridge::terminationRequested, &form, [&form](int) { form.close(); });
    form.show();
    form.FormShow();

    // The dialogs live from here to the end of the run.
    TGoodConnectDlg goodConnect(&form);
    TNewConnectDlg newConnect(session, goodConnect, &form);
    form.SetConnectDialog(&newConnect);
    // Modeless: its first showing tries the INI file's addresses and hides
    // itself when one answers; otherwise it waits for "Connect".
    newConnect.show();

    const int rc = QApplication::exec();
    form.FormClose();  // a no-op when the window already closed
    return rc;
}
