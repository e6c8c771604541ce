// The PC Capture page and the traffic window in the real window, offscreen.

#include "GuiRig.h"
#include "ui/TCapturePage.h"
#include "ui/TTrafficWindow.h"
#include "ui/TdlgPCCapture.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QSpinBox>
#include <QTabWidget>
#include <QTemporaryDir>

using namespace tessary;
using gui::Rig;

namespace {
// Answers dlgPCCapture as told when it comes up.
void AnswerCaptureDialog(std::function<void(TdlgPCCapture*)> answer) {
    auto* timer = new QTimer;
    QObject::connect(timer, &QTimer::timeout, [timer, answer] {
        if (auto* dlg = qobject_cast<TdlgPCCapture*>(QApplication::activeModalWidget())) {
            answer(dlg);
            timer->deleteLater();
        }
    });
    timer->start(5);
}
}  // namespace

class CaptureGuiTest : public QObject {
    Q_OBJECT
    QTemporaryDir dir;

private slots:
    void pageArrangesCapturesAndAsksAppendOrOverwrite() {
        Rig r(dir.filePath("t.ini"));
        r.port->Answer("#01TM;D1;D2;D3;D4\r\n", "2007:05:17:12:30:00,1.5,2.5,100,200");
        auto& st = r.session.State();
        st.TransducerCaption = {"#01    D01-4711", "NoConnect", "NoConnect", "NoConnect"};
        st.TransducerAddress[0] = "#01";
        st.CapturePath[0] = S(dir.filePath("D01-4711.txt"));
        r.form.RefreshConnection();
        r.Find<QTabWidget>("PageControl1")->setCurrentWidget(r.Find<QWidget>("tsCapture"));
        auto* cb1 = r.Find<QCheckBox>("cbTrans1");
        QVERIFY(cb1->isVisible() && !r.Find<QCheckBox>("cbTrans2")->isVisible());
        QCOMPARE(cb1->text(), QString("  D01-4711"));
        QCOMPARE(r.Find<QLabel>("lbBox1")->text(), QString("#01    D01-4711"));
        QCOMPARE(r.Find<QLineEdit>("edPath1")->text(), dir.filePath("D01-4711.txt"));

        auto* start = r.Find<QPushButton>("SpeedButtonMMTimer");
        gui::ModalAnswerer boxes;
        start->click();
        QCOMPARE(boxes.messages, QStringList{"Please select a source"});
        QVERIFY(!start->isChecked());

        QFile old(dir.filePath("D01-4711.txt"));
        QVERIFY(old.open(QIODevice::WriteOnly));
        old.write("old\r\n");
        old.close();
        cb1->click();
        QString asked;
        AnswerCaptureDialog([&](TdlgPCCapture* d) {
            asked = d->findChild<QLabel*>("lbFileName")->text();
            d->findChild<QPushButton*>("btAppend")->click();
        });
        start->click();
        QCOMPARE(asked, dir.filePath("D01-4711.txt"));
        QVERIFY(start->isChecked());
        QCOMPARE(r.Find<QLabel>("lbDataCapture")->text(), QString("Data Capture ON"));
        auto* box = r.Find<QPlainTextEdit>("edBox1");
        QTRY_COMPARE_WITH_TIMEOUT(box->toPlainText(), QString("2007/05/17, 12:30:00,1.5,2.5,100,200"), 3000);
        start->click();
        QTRY_VERIFY(!r.form.CapturePage()->Capture().Running());
        QVERIFY(r.Find<QLabel>("lbDataCapture")->text().isEmpty());
        QVERIFY(old.open(QIODevice::ReadOnly));
        QCOMPARE(old.readAll(), QByteArray("old\r\n2007/05/17, 12:30:00,1.5,2.5,100,200\r\n"));
        old.close();

        AnswerCaptureDialog([](TdlgPCCapture* d) { QTest::keyClick(d, Qt::Key_Escape); });  // = Overwrite
        start->click();
        QVERIFY(start->isChecked());
        r.form.close();  // stops the capture and closes its file
        QVERIFY(!r.form.CapturePage()->Capture().Running());
        QCOMPARE(old.size(), 0);
    }

    void trafficWindowShowsEachExchangeAndFiltersByAddress() {
        Rig r(dir.filePath("t.ini"));
        r.port->Answer("#01ID\r\n", "123456");
        TTrafficWindow* w = r.form.TrafficWindow();
        w->show();
        for (const char* command : {"#01ID", "#07ID"}) {
            r.Find<QLineEdit>("OutPutEditBox")->setText(command);
            QTest::keyClick(r.Find<QLineEdit>("OutPutEditBox"), Qt::Key_Return);
        }
        w->Tick();
        const QStringList lines = w->findChild<QPlainTextEdit*>("edTraffic")->toPlainText().split('\n');
        QCOMPARE(lines.size(), 2);
        QVERIFY2(QRegularExpression(R"(^\d\d:\d\d:\d\d\.\d{3}  COM1  #01ID  ->  123456$)").match(lines[0]).hasMatch(),
                 qPrintable(lines[0]));
        QVERIFY2(lines[1].endsWith("COM1  #07ID  ->  NoConnect (silent)"), qPrintable(lines[1]));
        w->findChild<QSpinBox*>("spAddress")->setValue(7);
        QCOMPARE(w->findChild<QPlainTextEdit*>("edTraffic")->blockCount(), 1);
    }
};

QTEST_MAIN(CaptureGuiTest)
#include "capture_test.moc"
