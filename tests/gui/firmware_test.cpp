// The "Update Bravik Software" page in the real window, offscreen.

#include "GuiRig.h"
#include "app/private/AppState.h"
#include "ui/TFirmwarePage.h"

#include <QFileDialog>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTabWidget>
#include <QTemporaryDir>

class FirmwarePageTest : public QObject {
    Q_OBJECT
    QTemporaryDir dir;

private slots:
    void uploadFromThePage() {
        tessary::gui::Rig r(dir.filePath("t.ini"));
        r.session.State().CurrentAddress = "#07";
        r.form.ShowConnection(r.session.CopyConnection());  // the line is idle
        r.Find<QTabWidget>("PageControl1")->setCurrentWidget(r.Find<QWidget>("TabSheet3"));
        QCOMPARE(r.Find<QLineEdit>("edBravikAddr")->text(), QString("#07"));
        auto* button = r.Find<QPushButton>("BitBtn1");
        QVERIFY(button->property("startsLineOperation").toBool());
        QDir(dir.path()).mkdir("Kalibrierdaten");  // a path beyond Latin-1's and ASCII's reach
        QFile f(dir.filePath("Kalibrierdaten/Prüfstand Ω.hex"));
        QVERIFY(f.open(QIODevice::WriteOnly) && f.write(":00000001FF\r\n") > 0 && f.flush());
        r.port->onWrite = [&r](const std::string& line) {
            r.port->Arrive(line == "#07BR=57600\r\n" ? "57600\r\n" : "READY\r\n", std::chrono::milliseconds(2));
        };
        QStringList filters;
        tessary::gui::OnModal<QFileDialog>([&filters, name = f.fileName()](QFileDialog* dlg) {
            filters = dlg->nameFilters();
            // Typed, not picked from the listing, which may still be loading.
            dlg->findChild<QLineEdit*>("fileNameEdit")->setText(name);
            QMetaObject::invokeMethod(dlg, "accept");
        });
        button->click();
        QTRY_VERIFY(!filters.isEmpty());
        QVERIFY(r.WaitLineIdle());
        QCOMPARE(filters, (QStringList{"Bravik Hex (*.hex *.HEX)", "All Files (*)"}));
        QTRY_VERIFY2(r.Find<QPlainTextEdit>("StatusBox")->toPlainText().endsWith("Update complete"),
                     qPrintable(r.Find<QPlainTextEdit>("StatusBox")->toPlainText()));
    }
};

QTEST_MAIN(FirmwarePageTest)
#include "firmware_test.moc"
