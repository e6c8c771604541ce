// The connect dialogs driven as an operator would, over a bus of fake boxes.

#include "GuiRig.h"
#include "app/private/AppState.h"
#include "testkit/FakeBus.h"
#include "ui/OnWindow.h"

#include <QLabel>
#include <QProgressBar>
#include <QTemporaryDir>

using namespace tessary;
using gui::ModalAnswerer;
using gui::Rig;

class ConnectTest : public QObject {
    Q_OBJECT
    QTemporaryDir dir;
    QString Ini() const { return dir.filePath("c.ini"); }

private slots:
    void startUpConnectsFromTheIniAndHidesTheDialog() {
        Rig r(Ini(), "[Communication]\nComPort=COM2\nBaudRate=9600\nAddr1=#01\n");
        testkit::AttachBus(*r.port, {{"/dev/B", 9600, 1, "2104117"}});
        ModalAnswerer answers;
        r.connect.show();
        QTRY_VERIFY(!r.connect.isVisible());
        QVERIFY(r.WaitLineIdle());
        QCOMPARE(answers.messages, QStringList());
        QCOMPARE(r.session.State().CurrentAddress, std::string("#01"));
        QCOMPARE(r.Find<QLabel>("lbSlots")->text(), QString("Slots: #01 - - -"));
    }

    // The start-up's INI attempt fails; the dialog's own "Connect" searches and asks about each box found.
    void searchAsksAboutEachBoxUntilOk() {
        Rig r(Ini(), "[Communication]\nComPort=COM1\nBaudRate=9600\n");
        testkit::AttachBus(*r.port, {{"/dev/C", 2400, 1, "A1"}, {"/dev/C", 2400, 7, "A7"}, {"/dev/C", 2400, 9, "A9"}});
        ModalAnswerer answers;
        int shown = 0;
        answers.answer = [&] { return ++shown == 2 ? "OKBtn" : "CancelBtn"; };
        r.connect.show();
        QTRY_COMPARE(answers.messages, QStringList{"Can't connect using INI paramaters"});
        QVERIFY(r.WaitLineIdle());  // the attempt's end, after its notice: till then Connect is ignored
        QVERIFY(r.connect.isVisible());  // stays up for a search
        r.connect.findChild<QPushButton*>("btConnect")->click();
        QTRY_VERIFY(!r.connect.isVisible());
        QVERIFY(r.WaitLineIdle());
        QCOMPARE(answers.asked, (QStringList{"#01", "#07"}));
        const auto& st = r.session.State();
        QCOMPARE(st.TransducerCaption[1], std::string("#07    A7"));
        QCOMPARE(r.link.LinkPortName(), std::string("COM3"));
        QCOMPARE(r.link.LinkBaudRate(), 2400u);
        QCOMPARE(r.Find<QLabel>("lbSlots")->text(), QString("Slots: #01 #07 - -"));
        QCOMPARE(r.connect.findChild<QProgressBar*>("pbSearch")->value(), 7);
        for (const QWidget* dlg : {static_cast<QWidget*>(&r.connect), static_cast<QWidget*>(&r.good)}) {
            const QStringList unread = gui::LabelsNotSayingWhatTheyShow(dlg);
            QVERIFY2(unread.isEmpty(), qPrintable(unread.join("; ")));
        }
    }

    void abortEscAndCloseEachEndTheSearch() {
        const std::pair<const char*, std::function<void(TNewConnectDlg&)>> ways[] = {
            {"Abort", [](TNewConnectDlg& d) { d.findChild<QPushButton*>("btAbort")->click(); }},
            {"Esc", [](TNewConnectDlg& d) { QTest::keyClick(&d, Qt::Key_Escape); }},
            {"close", [](TNewConnectDlg& d) { d.close(); }}};
        for (const auto& [how, stop] : ways) {
            Rig r(Ini(), "[Communication]\nComPort=COM1\nBaudRate=9600\n");
            testkit::AttachBus(*r.port, {{"/dev/B", 1200, 1, "A1"}});
            r.session.State().TryIniFirst = false;
            r.session.PublishConnection();
            ModalAnswerer answers;
            QTimer::singleShot(20, [&] { r.connect.findChild<QPushButton*>("btConnect")->click(); });
            // The operator stops once the search is under way (the line waits for it).
            r.port->onWrite = [&, &stop = stop](const std::string&) {
                if (r.port->writes.size() == 4) OnWindow([&] { stop(r.connect); });
            };
            r.form.btNewConnectClick();
            QTRY_VERIFY(!r.connect.isVisible());
            QVERIFY(r.WaitLineIdle());
            QVERIFY2(answers.asked.isEmpty(), how);  // the box on COM2 never reached
            QCOMPARE(answers.messages, QStringList{"  Sorry.  Can not find device."});
            r.port->onWrite = nullptr;
            QTimer::singleShot(20, [&] { r.connect.reject(); });
            r.form.btNewConnectClick();
            QTRY_VERIFY(!r.connect.isVisible());
            QVERIFY(r.WaitLineIdle());
        }
    }
};

QTEST_MAIN(ConnectTest)
#include "connect_test.moc"
