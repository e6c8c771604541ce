// Program entry: the start-up sequence.

#include "app/Options.h"
#include "app/Session.h"
#include "link/DeviceLink.h"
#include "link/PortMap.h"
#include "link/PosixPort.h"
#include "ui/QtOperator.h"
#include "ui/SignalBridge.h"
#include "ui/TForm1.h"
#include "ui/TOKBottomDlg.h"

#include <QApplication>

#include <cstdio>

using namespace tessary;

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
    SignalBridge signals_;
    QObject::connect(&signals_, &SignalBridge::terminationRequested, &form, [&form](int) { form.close(); });
    form.show();
    form.FormShow();

    const int rc = QApplication::exec();
    form.FormClose();  // a no-op when the window already closed
    return rc;
}
