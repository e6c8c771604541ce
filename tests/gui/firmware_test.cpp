// The "Update Bravik Software" page in the real window, offscreen.

#include "GuiRig.h"
#include "ui/HelpWindow.h"
#include "ui/TFirmwarePage.h"

#include <QFileDialog>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QtTest>

#include <deque>

using namespace tessary;

class FirmwarePageTest : public QObject {
    Q_OBJECT

    QTemporaryDir dir;

private slots:
    void uploadFromThePage() {
        gui::Rig r(dir.filePath("t.ini"));
        r.session.State().CurrentAddress = "#07";
        auto* tabs = r.Find<QTabWidget>("PageControl1");
        tabs->setCurrentWidget(r.Find<QWidget>("TabSheet3"));
        QCOMPARE(r.Find<QLineEdit>("edBravikAddr")->text(), QString("#07"));
        auto* button = r.Find<QPushButton>("BitBtn1");
        QVERIFY(button->property("startsLineOperation").toBool());
        QCOMPARE(HelpWindow::TopicFor(button), 70);
        QCOMPARE(TFirmwarePage::NameFilters("Bravik Hex|*.hex|All Files|*.*"),
                 QString("Bravik Hex (*.hex);;All Files (*)"));

        const QString file = dir.filePath("image.hex");
        QFile f(file);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(":0400000001020304F2\r\n:00000001FF\r\n");
        f.close();
        std::deque<std::string> replies{"57600", "READY", "OK", "OK\r\nPROGRAM OK"};
        r.port->onWrite = [&](const std::string&) {
            if (replies.empty()) return;
            r.port->Arrive(replies.front() + "\r\n", std::chrono::milliseconds(2));
            replies.pop_front();
        };
        QTimer pick;
        QObject::connect(&pick, &QTimer::timeout, [&] {
            if (auto* dlg = qobject_cast<QFileDialog*>(QApplication::activeModalWidget())) {
                dlg->selectFile(file);
                QMetaObject::invokeMethod(dlg, "accept");
            }
        });
        pick.start(5);

        button->click();
        auto* status = r.Find<QPlainTextEdit>("StatusBox");
        QTRY_VERIFY(status->toPlainText().endsWith("Update complete"));
        const QStringList lines = status->toPlainText().split('\n');
        QCOMPARE(lines.mid(0, 6), (QStringList{"File Open", "Baud rate changed to 57600", "PR command sent to Bravik",
                                               "READY", "Size of file is 34", "Sending new program..."}));
        QCOMPARE(r.port->writes.front(), std::string("#07BR=57600\r\n"));
        QTRY_VERIFY(button->isEnabled());
        QVERIFY(!r.Find<QProgressBar>("ProgressBar1")->isVisible());
        QVERIFY(!r.form.FirmwarePage()->UploadRunning());
    }
};

QTEST_MAIN(FirmwarePageTest)
#include "firmware_test.moc"
