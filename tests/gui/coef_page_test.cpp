// The Coefficients page over a scripted box: a read shows the lines and the listing.

#include "coef/IntelHex.h"
#include "app/private/AppState.h"
#include "ui/TCoefficientsPage.h"
#include "GuiRig.h"

#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QTemporaryDir>

using namespace tessary;

class CoefPageTest : public QObject {
    Q_OBJECT
    QTemporaryDir dir;

private slots:
    void readShowsLinesListingAndBackup() {
        gui::Rig r(dir.filePath("t.ini"));
        auto& st = r.session.State();
        st.CurrentAddress = "#01";
        st.DeviceType = "Digital";
        st.Info.SerialNumber = "21040117";
        st.DefaultFolder = S(dir.path());
        std::string block = "CAL 256\r\n";
        std::uint8_t data[16] = {0x02, 0x01};
        for (unsigned rec = 0; rec < 16; ++rec, data[0] = data[1] = 0)
            block += coef::FormatHexRecord(rec * 16, 0, data, 16) + "\r\n";
        block += ":00000001FF\r\n}\r\n";
        r.port->onWrite = [&](const std::string& bytes) {
            if (bytes == "#01CAL\r\n") r.port->Arrive(block);
        };
        auto* page = r.form.CoefficientsPage();
        page->ArrangeForDevice(st.DeviceType);
        for (const char* name : {"btReadPress", "btReadTemp", "btWriteMem", "OpenCoef", "SaveCoef", "btQuickLoad"})
            QVERIFY(r.Find<QPushButton>(name)->property("startsLineOperation").toBool());

        QTest::mouseClick(r.Find<QPushButton>("btReadTemp"), Qt::LeftButton);
        auto* memo = r.Find<QPlainTextEdit>("Memo1");
        QTRY_COMPARE(memo->blockCount(), 24);  // N1 = N2 = 0: one coefficient per section
        QVERIFY(memo->toPlainText().startsWith("Type: \t0201\n"));
        QCOMPARE(r.Find<QPlainTextEdit>("HexMemoBox")->blockCount(), 17);
        QVERIFY(r.Find<QLabel>("lbCoefBackup")->text().startsWith("Last backup: " + dir.path() + "/backups/21040117-"));

        // Saved through a path beyond Latin-1 (the upload's open: the firmware page's test).
        const QString to = dir.filePath("Prüfstand Ω.hex");
        gui::OnModal<QFileDialog>([to](QFileDialog* dlg) {
            dlg->findChild<QLineEdit*>("fileNameEdit")->setText(to);
            QMetaObject::invokeMethod(dlg, "accept");
        });
        QTest::mouseClick(r.Find<QPushButton>("SaveCoef"), Qt::LeftButton);
        QVERIFY(r.WaitLineIdle());
        QFile saved(to);
        QVERIFY(saved.open(QIODevice::ReadOnly) && saved.readAll() == QByteArray::fromStdString(block).sliced(9).chopped(3));
    }

    void anUncheckedFileIsAskedAboutWithNoAsTheDefault() {
        gui::Rig r(dir.filePath("u.ini"));
        r.session.State().CurrentAddress = "#05";
        r.session.State().DeviceType = "Kestin";
        const QString file = dir.filePath("long.CRF");
        QFile f(file);
        QVERIFY(f.open(QIODevice::WriteOnly) && f.write("P0=" + QByteArray(130, '1') + "\r\n") > 0);
        f.close();
        gui::OnModal<QFileDialog>([file](QFileDialog* dlg) {
            dlg->findChild<QLineEdit*>("fileNameEdit")->setText(file);
            QMetaObject::invokeMethod(dlg, "accept");
        });
        QTest::mouseClick(r.Find<QPushButton>("OpenCoef"), Qt::LeftButton);
        QVERIFY(r.WaitLineIdle());
        bool noByDefault = false;
        gui::OnModal<QMessageBox>([&noByDefault](QMessageBox* box) {
            noByDefault = box->objectName() == "UncheckedCoefDlg" && box->defaultButton() == box->button(QMessageBox::No);
            QTest::keyClick(box, Qt::Key_Return);
        });
        r.port->writes.clear();
        QTest::mouseClick(r.Find<QPushButton>("btWriteMem"), Qt::LeftButton);
        QVERIFY(r.WaitLineIdle());
        QVERIFY(noByDefault);
        QVERIFY(r.port->writes.empty());
    }
};

QTEST_MAIN(CoefPageTest)
#include "coef_page_test.moc"
