// The PC Capture page in the real window, offscreen.

#include "GuiRig.h"
#include "app/private/AppState.h"
#include "ui/TCapturePage.h"
#include "ui/TdlgPCCapture.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTabWidget>
#include <QTemporaryDir>
#ifdef TESSARY_TEST_MQTT
#include "../cli/BrokerRig.h"
#include "ui/TLedSwitch.h"
#include "ui/TMqttDlg.h"
#endif

using namespace tessary;

class CaptureGuiTest : public QObject {
    Q_OBJECT
    QTemporaryDir dir;

    // Clicks SpeedButtonMMTimer and answers dlgPCCapture with `key` after `waitMs`; returns the file name it showed.
    static QString StartAnswering(QPushButton* start, Qt::Key key, int waitMs = 0) {
        QString shown;
        gui::OnModal<TdlgPCCapture>([&shown, key, waitMs](TdlgPCCapture* d) {
            shown = d->findChild<QLabel*>("lbFileName")->text();
            QTest::qWait(waitMs);
            QTest::keyClick(d, key);
        });
        start->click();
        return shown;
    }

    // The capture page with one box, at #0`slot` in `slot` (1..4), capturing to `path`.
    static void ShowOneBox(gui::Rig& r, int slot, const QString& id, const QString& path) {
        const std::string address = "#0" + std::to_string(slot);
        r.port->Answer(address + "TM;D1;D2;D3;D4\r\n", "2007:05:17:12:30:00,1.5,2.5,100,200");
        auto& st = r.session.State();
        st.TransducerCaption = {"NoConnect", "NoConnect", "NoConnect", "NoConnect"};
        const auto k = static_cast<std::size_t>(slot - 1);
        st.TransducerCaption[k] = address + "    " + S(id);
        st.TransducerAddress[k] = address;
        st.CapturePath[k] = S(path);
        r.form.ShowConnection(r.session.CopyConnection());  // the line is idle
        r.Find<QTabWidget>("PageControl1")->setCurrentWidget(r.Find<QWidget>("tsCapture"));
    }

private slots:
    void pageArrangesCapturesAndAsksAppendOrOverwrite() {
        gui::Rig r(dir.filePath("t.ini"));
        const QString path = dir.filePath("D01-4711.txt");
        ShowOneBox(r, 1, "D01-4711", path);
        auto* cb1 = r.Find<QCheckBox>("cbTrans1");
        QVERIFY(cb1->isVisible() && !r.Find<QCheckBox>("cbTrans2")->isVisible());
        QCOMPARE(r.Find<QLineEdit>("edPath1")->text(), path);

        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write("old\r\n") == 5);
        file.close();
        cb1->click();
        auto* start = r.Find<QPushButton>("SpeedButtonMMTimer");
        QCOMPARE(StartAnswering(start, Qt::Key_Return), path);  // Append
        QVERIFY(start->isChecked());
        QCOMPARE(r.Find<QLabel>("lbDataCapture")->text(), QString("Data Capture ON"));
        QTRY_COMPARE_WITH_TIMEOUT(r.Find<QPlainTextEdit>("edBox1")->toPlainText(),
                                  QString("2007/05/17, 12:30:00,1.5,2.5,100,200"), 3000);
        start->click();
        QTRY_VERIFY(!r.form.CapturePage()->Capture().Running() && r.Find<QLabel>("lbDataCapture")->text().isEmpty());
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), QByteArray("old\r\n2007/05/17, 12:30:00,1.5,2.5,100,200\r\n"));
        file.close();

        QCOMPARE(StartAnswering(start, Qt::Key_Escape), path);  // Overwrite
        start->click();  // the old run's end comes while the next start's question is open
        QCOMPARE(StartAnswering(start, Qt::Key_Escape, 300), path);
        QVERIFY(start->isChecked() && r.form.CapturePage()->Capture().Running());
        r.form.close();  // stops the capture and closes its file
        QVERIFY(!r.form.CapturePage()->Capture().Running());
        QCOMPARE(file.size(), 0);
    }
    void fourthBoxShowsItsNewestFiveLines() {
        gui::Rig r(dir.filePath("f.ini"));
        ShowOneBox(r, 4, "D04-0815", dir.filePath("box4.txt"));
        r.Find<QCheckBox>("cbTrans4")->click();
        r.Find<QLineEdit>("edCaptureRate")->setText("1");
        auto* start = r.Find<QPushButton>("SpeedButtonMMTimer");
        StartAnswering(start, Qt::Key_Escape);
        QFile file(dir.filePath("box4.txt"));
        QTRY_VERIFY_WITH_TIMEOUT(file.size() >= 6 * 38, 15000);  // six rows: one more than the box holds
        start->click();
        QTRY_VERIFY(!r.form.CapturePage()->Capture().Running());
        const QString row = "2007/05/17, 12:30:00,1.5,2.5,100,200";
        QCOMPARE(r.Find<QPlainTextEdit>("edBox4")->toPlainText(), QStringList(5, row).join('\n'));
    }
#ifdef TESSARY_TEST_MQTT
    void pagePublishesItsCaptureToTheBrokerSetInItsDialog() {
        clitest::Broker broker(S(dir.filePath("broker")));
        clitest::Listener live(broker.port, "g/#");
        gui::Rig r(dir.filePath("m.ini"));
        r.port->Answer("#01TM;D1;D2;D3;D4\r\n", "2007:05:17:12:30:00,+1.50,2.5,100,200");
        auto& st = r.session.State();
        st.TransducerCaption = {"#01    D01-4711", "NoConnect", "NoConnect", "NoConnect"};
        st.TransducerAddress[0] = st.CurrentAddress = "#01";
        st.CapturePath[0] = S(dir.filePath("m.txt"));
        r.form.ShowConnection(r.session.CopyConnection());
        r.Find<QTabWidget>("PageControl1")->setCurrentWidget(r.Find<QWidget>("tsCapture"));
        const std::string url = "mqtt://127.0.0.1:" + std::to_string(broker.port);
        gui::OnModal<TMqttDlg>([&](TMqttDlg* d) {
            d->findChild<QLineEdit*>("edBroker")->setText(Q(url));
            d->findChild<QLineEdit*>("edPrefix")->setText("g");
            d->findChild<QPushButton*>("btOK")->click();
        });
        r.Find<QPushButton>("btMqttSettings")->click();
        r.Find<QCheckBox>("cbPublishMqtt")->click();
        QCOMPARE(mqtt::LoadWindowChoices(S(dir.filePath("m.ini"))), (mqtt::WindowChoices{true, url, "g", 0, false}));
        r.Find<QCheckBox>("cbTrans1")->click();
        auto* start = r.Find<QPushButton>("SpeedButtonMMTimer");
        start->click();
        QTRY_VERIFY_WITH_TIMEOUT(!live.On("g/01/reading").empty(), 5000);
        const std::string row = live.On("g/01/reading").front();
        QVERIFY2(row.find(R"("box_time":"2007/05/17, 12:30:00","address":"#01","id":"D01-4711","pressure":1.50,)") !=
                     std::string::npos, row.c_str());
        start->click();
        QTRY_VERIFY(!r.form.CapturePage()->Capture().Running());
        // The single-device loop publishes through the same connection, its readings uncut.
        r.port->Answer("#01TM;D3;D4;D1;D2\r\n", "2007:05:17:12:30:01,100,200,1.23456,2.5");
        auto* lamp = r.Find<TLedSwitch>("btEZGetReadings");
        QTest::mouseClick(lamp, Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(live.On("g/01/reading").back().find("\"pressure\":1.23456,") != std::string::npos, 5000);
        r.Find<QCheckBox>("cbPublishMqtt")->click();  // the loop keeps its publisher until it ends
        QTest::qWait(200);
        QCOMPARE(live.On("g/status"), std::vector<std::string>{"online"});
        QTest::mouseClick(lamp, Qt::LeftButton);
        QTRY_COMPARE_WITH_TIMEOUT(live.On("g/status"), (std::vector<std::string>{"online", "offline"}), 5000);
    }
#endif
};

QTEST_MAIN(CaptureGuiTest)
#include "capture_test.moc"
