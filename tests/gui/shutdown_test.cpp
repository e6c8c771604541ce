// SIGTERM and SIGINT at any moment run the window's own close: dialogs closed,
// loops and search stopped, the line idle and the port closed within 2 s plus
// one exchange (3 s where a wait of up to 60 s or a held stream is cut short).

#include "GuiRig.h"
#include "app/Connect.h"
#include "app/private/AppState.h"
#include "device/DeviceInfo.h"
#include "link/LinuxPort.h"
#include "sim/Line.h"
#include "ui/SignalBridge.h"
#include "ui/TCapturePage.h"
#include "ui/TFirmwarePage.h"
#include "ui/TGateTimeDlg.h"
#include "ui/TLedSwitch.h"
#include "ui/TLogListDlg.h"

#include <QCheckBox>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QProcess>
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
    void signalDuringTheIniNoticeEndsTheProgram();
};

void ShutdownTest::signalClosesAtAnyMoment_data() {
    QTest::addColumn<QString>("moment");
    QTest::addColumn<int>("signal");
    QTest::addColumn<int>("limitMs");
    QTest::newRow("start-up message box") << "start-up" << SIGTERM << 2500;
    QTest::newRow("INI file notice") << "ini-notice" << SIGTERM << 2500;
    QTest::newRow("modal dialog") << "dialog" << SIGINT << 2500;
    QTest::newRow("search") << "search" << SIGTERM << 2500;
    QTest::newRow("readings loop") << "readings" << SIGINT << 2500;
    QTest::newRow("log-initialise wait") << "log-init" << SIGTERM << 3000;
    QTest::newRow("capture during a held stream") << "capture" << SIGINT << 3000;
    // The first signal is only noted, the upload goes on; the second stops it, its copy wait too.
    QTest::newRow("upload, signalled twice") << "upload" << SIGTERM << 3000;
}

void ShutdownTest::signalClosesAtAnyMoment() {
    QFETCH(QString, moment);
    QFETCH(int, signal);
    QFETCH(int, limitMs);
    bravik::sim::LineConfig cfg;
    bravik::sim::BoxConfig box;
    box.baud = 115200;
    box.address = 1;
    box.eraseMs = box.copyMs = 60000;  // the initialise's answer and the copy's come after the whole wait
    cfg.boxes = {box};
    bravik::sim::Line line(cfg);
    line.start();
    QTemporaryDir dir;
    // The start-up tries #42, where nobody answers; the search starts at 9600, the wrong rate.
    const QByteArray ini = moment == "start-up" ? "[Communication]\nBaudRate=115200\nAddr1=#42\n"
                           : moment == "search" ? "[Communication]\nBaudRate=9600\n"
                                                : "[Communication]\nBaudRate=115200\n";
    auto options = gui::Rig::Options(dir.filePath("t.ini"), ini);
    if (moment == "ini-notice") options.iniPath = S(dir.path());  // a folder: a notice, then the defaults
    Program p(std::make_unique<link::PosixPort>(), options);
    p.ports.SetFromCommandLine("COM1", line.slavePath());
    SignalBridge bridge;
    connect(&bridge, &SignalBridge::terminationRequested, &p.form, [&p](int) { p.form.CloseForSignal(); });
    auto& st = p.session.State();
    // The signal comes from a timer: a modal dialog runs its own event loop. `ready` is never empty: a flow
    // run here on the window thread pumps its events, so the timer may fire before the row sets its own.
    std::function<bool()> ready = [] { return qobject_cast<TOKBottomDlg*>(QApplication::activeModalWidget()) != nullptr; };
    QElapsedTimer clock;
    QTimer poll;
    connect(&poll, &QTimer::timeout, [&] {
        if (clock.isValid() || !ready()) return;
        clock.start();
        ::kill(::getpid(), signal);
    });
    poll.start(5);
    const bool started = p.Start();
    QCOMPARE(started, moment != "ini-notice");  // closed inside the notice: nothing more may start
    if (moment == "start-up") {
        p.connect.show();
    } else if (moment == "search") {
        ready = [&] { return p.connect.findChild<QProgressBar*>("pbSearch")->value() > 1; };
        st.TryIniFirst = false;
        p.session.PublishConnection();
        p.form.btNewConnectClick();
        p.connect.findChild<QPushButton*>("btConnect")->click();
    } else if (moment == "upload") {
        QFile image(dir.filePath("image.hex"));
        QVERIFY(image.open(QIODevice::WriteOnly) && image.write(":0400000001020304F2\r\n:00000001FF\r\n") > 0);
        image.close();
        gui::OnModal<QFileDialog>([name = image.fileName()](QFileDialog* dlg) {
            dlg->findChild<QLineEdit*>("fileNameEdit")->setText(name);
            QMetaObject::invokeMethod(dlg, "accept");
        });
        ready = [status = p.form.findChild<QPlainTextEdit*>("StatusBox")] {
            return status->toPlainText().endsWith("Please wait for Bravik to Copy........");
        };
        p.form.findChild<QPushButton*>("BitBtn1")->click();
        QTRY_VERIFY(p.form.findChild<QPlainTextEdit*>("StatusBox")->toPlainText().endsWith(
            "Upload in progress: a second signal stops it and leaves the box without a program"));
        QTest::qWait(300);
        QVERIFY(!p.form.Closed() && p.form.FirmwarePage()->UploadRunning());
        clock.restart();
        ::kill(::getpid(), SIGINT);
    } else if (moment != "ini-notice") {
        st.AddressTable[1] = "box1";
        app::AssignTransducerSlots(st);
        st.CurrentAddress = "#01";
        device::ReadDeviceInfo(p.session);
        p.form.ShowConnection(p.session.CopyConnection());  // the line is idle
        if (moment == "dialog") {
            ready = [] { return qobject_cast<TGateTimeDlg*>(QApplication::activeModalWidget()) != nullptr; };
            p.form.findChild<QToolButton*>("btGateTime")->click();
        } else if (moment == "readings") {
            ready = [&] { return !p.form.findChild<QLabel*>("VrPress5")->text().isEmpty(); };
            QTest::mouseClick(p.form.findChild<TLedSwitch*>("btEZGetReadings"), Qt::LeftButton);
        } else {
            // The initialise holds the line while it waits for the late answer;
            // a capture started meanwhile waits for the line.
            ready = [&, waits = p.form.findChild<QLabel*>("lbLogMessage")] {
                return waits->isVisible() && (moment != "capture" || p.form.CapturePage()->Capture().Running());
            };
            gui::OnModal<TLogListDlg>([](TLogListDlg* d) {
                d->findChild<QListWidget*>("LogListBox")->item(0)->setSelected(true);
                d->findChild<QPushButton*>("OKBtn")->click();
            });
            p.form.findChild<QToolButton*>("btInitLog")->click();
            if (moment == "capture") {
                QTRY_VERIFY(p.form.findChild<QLabel*>("lbLogMessage")->isVisible());
                auto* page = p.form.CapturePage();
                for (const char* tick : {"cbTrans1", "cbAllSerial"}) page->findChild<QCheckBox*>(tick)->setChecked(true);
                page->findChild<QLineEdit*>("edPath1")->setText(dir.filePath("c.txt"));
                page->findChild<QLineEdit*>("edSerialPath")->setText(dir.filePath("all.txt"));
                page->findChild<QPushButton*>("SpeedButtonMMTimer")->click();
            }
        }
    }
    QTRY_VERIFY_WITH_TIMEOUT(p.form.Closed(), 10000);
    QVERIFY(clock.isValid());
    QVERIFY2(clock.elapsed() < limitMs, qPrintable(QString::number(clock.elapsed())));
    QVERIFY(p.line.Idle());
    QVERIFY(!p.link.IsOpen());
    QVERIFY(!p.form.CapturePage()->Capture().Running());
    for (QWidget* w : QApplication::topLevelWidgets()) QVERIFY2(!w->isVisible(), qPrintable(w->objectName()));
}

// The program itself: a signal while the notice of a folder given as the INI
// file is up ends the process (before, its quit was spent in the notice's own
// event loop and the connect dialog came up instead).
void ShutdownTest::signalDuringTheIniNoticeEndsTheProgram() {
    QTemporaryDir dir;
    QProcess program;
    program.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    program.start(TESSARY_EXE, {"--port", "COM1=" + dir.filePath("none"), dir.path()});
    QVERIFY(program.waitForStarted());
    QTest::qWait(1500);  // a signal before the notice waits for it: the notice's loop is the first
    QElapsedTimer clock;
    clock.start();
    program.terminate();
    QVERIFY2(program.waitForFinished(3000), "still running 3 s after SIGTERM");
    QCOMPARE(program.exitStatus(), QProcess::NormalExit);
    QCOMPARE(program.exitCode(), 0);
}

QTEST_MAIN(ShutdownTest)
#include "shutdown_test.moc"
