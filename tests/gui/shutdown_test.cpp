// SIGTERM and SIGINT at any moment run the window's own close: dialogs closed,
// loops and search stopped, the line idle and the port closed within 2 s plus
// one exchange.

#include "GuiRig.h"
#include "app/Connect.h"
#include "device/DeviceInfo.h"
#include "link/PosixPort.h"
#include "sim/Line.h"
#include "ui/SignalBridge.h"
#include "ui/TGateTimeDlg.h"
#include "ui/TLedSwitch.h"

#include <QElapsedTimer>
#include <QLabel>
#include <QProgressBar>
#include <QTemporaryDir>
#include <QToolButton>

#include <csignal>
#include <functional>
#include <unistd.h>

using namespace tessary;

class ShutdownTest : public QObject {
    Q_OBJECT
private slots:
    void signalClosesAtAnyMoment_data();
    void signalClosesAtAnyMoment();
};

void ShutdownTest::signalClosesAtAnyMoment_data() {
    QTest::addColumn<QString>("moment");
    QTest::addColumn<int>("signal");
    QTest::newRow("start-up message box") << "start-up" << SIGTERM;
    QTest::newRow("modal dialog") << "dialog" << SIGINT;
    QTest::newRow("search") << "search" << SIGTERM;
    QTest::newRow("readings loop") << "readings" << SIGINT;
}

void ShutdownTest::signalClosesAtAnyMoment() {
    QFETCH(QString, moment);
    QFETCH(int, signal);
    bravik::sim::LineConfig cfg;
    bravik::sim::BoxConfig box;
    box.baud = 115200;
    box.address = 1;
    cfg.boxes = {box};
    bravik::sim::Line line(cfg);
    line.start();
    QTemporaryDir dir;
    // The start-up tries #42, where nobody answers; the search starts at 9600, the wrong rate.
    const QByteArray ini = moment == "start-up" ? "[Communication]\nBaudRate=115200\nAddr1=#42\n"
                           : moment == "search" ? "[Communication]\nBaudRate=9600\n"
                                                : "[Communication]\nBaudRate=115200\n";
    Program p(std::make_unique<link::PosixPort>(), gui::Rig::Options(dir.filePath("t.ini"), ini));
    p.ports.SetFromCommandLine("COM1", line.slavePath());
    SignalBridge bridge;
    connect(&bridge, &SignalBridge::terminationRequested, &p.form, [&p](int) { p.form.CloseForSignal(); });
    p.Start();
    auto& st = p.session.State();
    // The signal comes from a timer: a modal dialog runs its own event loop.
    std::function<bool()> ready;
    QElapsedTimer clock;
    QTimer poll;
    connect(&poll, &QTimer::timeout, [&] {
        if (clock.isValid() || !ready()) return;
        clock.start();
        ::kill(::getpid(), signal);
    });
    poll.start(5);
    if (moment == "start-up") {
        ready = [] { return qobject_cast<TOKBottomDlg*>(QApplication::activeModalWidget()) != nullptr; };
        p.connect.show();
    } else if (moment == "search") {
        ready = [&] { return p.connect.findChild<QProgressBar*>("pbSearch")->value() > 1; };
        st.TryIniFirst = false;
        p.form.btNewConnectClick();
        p.connect.findChild<QPushButton*>("btConnect")->click();
    } else {
        st.AddressTable[1] = "box1";
        app::AssignTransducerSlots(st);
        st.CurrentAddress = "#01";
        device::ReadDeviceInfo(p.session);
        if (moment == "dialog") {
            ready = [] { return qobject_cast<TGateTimeDlg*>(QApplication::activeModalWidget()) != nullptr; };
            p.form.findChild<QToolButton*>("btGateTime")->click();
        } else {
            ready = [&] { return !p.form.findChild<QLabel*>("VrPress5")->text().isEmpty(); };
            QTest::mouseClick(p.form.findChild<TLedSwitch*>("btEZGetReadings"), Qt::LeftButton);
        }
    }
    QTRY_VERIFY_WITH_TIMEOUT(p.form.Closed(), 10000);
    // 2 s, plus one exchange (the search's 500 ms probe).
    QVERIFY(clock.isValid());
    QVERIFY2(clock.elapsed() < 2500, qPrintable(QString::number(clock.elapsed())));
    QVERIFY(p.line.Idle());
    QVERIFY(!p.link.IsOpen());
    for (QWidget* w : QApplication::topLevelWidgets()) QVERIFY2(!w->isVisible(), qPrintable(w->objectName()));
}

QTEST_MAIN(ShutdownTest)
#include "shutdown_test.moc"
