// The EZCommands panels, the Coefficients page and the settings dialogs, offscreen,
// driven by object name over a scripted box.

#include "app/Session.h"
#include "device/DeviceInfo.h"
#include "testkit/ScriptedPort.h"
#include "ui/HelpWindow.h"
#include "ui/QtOperator.h"
#include "ui/TAddressDlg.h"
#include "ui/TChangeDlg.h"
#include "ui/TCoefficientsPage.h"
#include "ui/TForm1.h"
#include "ui/TGateTimeDlg.h"
#include "ui/TLogTimeDlg.h"
#include "ui/TOKBottomDlg.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTimeEdit>
#include <QTimer>
#include <QToolButton>
#include <QtTest>

#include <functional>
#include <map>

using namespace tessary;

namespace {

struct Rig {
    testkit::ScriptedPort* port;
    link::PortMap ports;
    link::DeviceLink link;
    TOKBottomDlg box;
    QtOperator op{box};
    app::Session session;
    TForm1 form{session, box};
    std::map<std::string, std::string> answers;  // "#01VF" -> "FP010422"

    explicit Rig(const QString& ini)
        : port(new testkit::ScriptedPort),
          link(std::unique_ptr<link::Port>(port), [this](const std::string& n) { return ports.Resolve(n); }),
          session(link, ports, op, Options(ini)) {
        ports.SetFromCommandLine("COM1", "/dev/pts/77");
        form.show();
        form.FormShow();
        port->onWrite = [this](const std::string& cmd) {
            auto it = answers.find(cmd.substr(0, cmd.size() - 2));
            if (it != answers.end()) port->Arrive(it->second + "\r\n", std::chrono::milliseconds(3));
        };
        for (auto& c : session.State().TransducerCaption) c = app::kNoConnect;
    }
    static app::Options Options(const QString& ini) {
        app::Options o;
        o.iniPath = S(ini);
        return o;
    }
    void Box(const std::string& a, bool digital) {
        const std::map<std::string, std::string> words = {
            {"M", digital ? "DPT6100" : "K-3000"}, {"VF", digital ? "FP010422" : "ERROR 1"}, {"ID", "4711"},
            {"VER", "V2.14"}, {"GA", "0.5"}, {"UN1", "psi"}, {"UN2", "C"}, {"UP1", "psi,1"}, {"UP2", "bar,1"},
            {"UP3", "MPa,1"}, {"UP4", "mH2O,1"}, {"UP5", "C,1"}, {"UP6", "K,1"}, {"UP7", "F,1"}, {"UP8", "R,1"},
            {"TM", "2007:05:14:13:45:00"}, {"LI", "ERROR 13"}, {"LR", "ERROR 4"}, {"LS", "ERROR 13"}, {"DM", "3"},
            {"EW", "0"}};
        for (const auto& [w, reply] : words) answers[a + w] = reply;
    }
    void ReadOut(const std::string& address) {
        session.State().CurrentAddress = address;
        device::ReadDeviceInfo(session);
        form.RefreshDevicePanels();
    }
    std::vector<std::string> Sent() {
        std::vector<std::string> out;
        for (auto& w : port->writes) out.push_back(w.substr(0, w.size() - 2));
        port->writes.clear();
        return out;
    }
    template <class T> T* Find(const char* name) { return form.findChild<T*>(name); }
    QString Text(const char* label) { return Find<QLabel>(label)->text(); }
    // Visible once its page is current (the Coefficients page is not at start).
    bool Shown(const char* name) {
        QWidget* w = Find<QWidget>(name);
        QWidget* page = form.CoefficientsPage();
        return page->isAncestorOf(w) ? w->isVisibleTo(page) : w->isVisibleTo(&form);
    }
};

// Runs `act` on the next modal dialog of type T.
template <class T> void OnModal(std::function<void(T*)> act) {
    auto* timer = new QTimer;
    timer->setInterval(5);
    QObject::connect(timer, &QTimer::timeout, [timer, act] {
        if (auto* dlg = qobject_cast<T*>(QApplication::activeModalWidget())) {
            timer->stop();
            timer->deleteLater();
            act(dlg);
        }
    });
    timer->start();
}

void Click(QWidget* dlg, const char* name) { QTest::mouseClick(dlg->findChild<QPushButton*>(name), Qt::LeftButton); }

}  // namespace

class DevicePanelsTest : public QObject {
    Q_OBJECT
    QTemporaryDir dir;
    QString Ini() const { return dir.filePath("t.ini"); }

private slots:
    void digitalReadOutFillsThePanelsAndArrangesThePages() {
        Rig r(Ini());
        r.Box("#01", true);
        r.ReadOut("#01");
        QCOMPARE(r.Text("lbModelNumberValue"), QString("DPT6100"));
        QCOMPARE(r.Text("lbFPGAValue"), QString("FP010422"));
        QCOMPARE(r.Text("lbSerialNumberValue"), QString("4711"));
        QCOMPARE(r.Text("lbGateTimeValue"), QString("0.5"));
        QCOMPARE(r.Text("lbClockTimeValue"), QString("14/May/07  13:45:00"));
        QCOMPARE(r.Text("lbLogStartValue"), QString("Not Initialized"));
        QCOMPARE(r.Text("lbLogRateValue"), QString("Not Initialized"));
        QCOMPARE(r.Text("lbAddressValue"), QString("#01"));
        QCOMPARE(r.Text("lbBaudRateValue"), QString("9600"));
        QCOMPARE(r.Find<QLineEdit>("OutPutEditBox")->text(), QString("#01"));
        QVERIFY(r.Shown("lbFPGA") && r.Shown("lbFPGAValue"));
        QVERIFY(!r.Shown("lbKestinDisplay") && !r.Shown("lbKestinDisplayValue") && !r.Shown("btKestinDisplay"));
        QCOMPARE(r.Find<QComboBox>("PressUnitsComboBox")->count(), 8);
        QCOMPARE(r.Find<QComboBox>("TempUnitsComboBox")->itemText(4), QString("Celsius"));

        auto* page = r.form.CoefficientsPage();
        QVERIFY(!r.Shown("btReadPress"));
        QVERIFY(r.Shown("btReadTemp") && r.Shown("HexGroupBox") && r.Shown("HexMemoBox"));
        auto* readTemp = r.Find<QPushButton>("btReadTemp");
        QCOMPARE(readTemp->text(), QString("Read Coefficients"));
        QCOMPARE(readTemp->toolTip(), QString("Read Coefficients from Bravik"));
        QVERIFY(!readTemp->isEnabled());
        QCOMPARE(page->OpenDialog1Filter(), QString("Bravik Coef|*.hex|Kestin Coef|*.C*F;*.C*T|All Files|*.*"));

        // The older family: its display row, the hex box left as it was.
        r.Box("#05", false);
        r.session.State().AddressTable[5] = "K";
        r.ReadOut("#05");
        QCOMPARE(r.Text("lbKestinDisplayValue"), QString("Press Counts"));
        QCOMPARE(r.Find<QComboBox>("KestinComboBox")->currentIndex(), 2);
        QVERIFY(r.Shown("lbKestinDisplay") && !r.Shown("lbFPGA"));
        QVERIFY(!r.Shown("btKestinDisplay"));  // the digital read-out hid it; the older family does not touch it
        QVERIFY(r.Shown("btReadPress") && r.Shown("HexGroupBox"));
        QCOMPARE(readTemp->text(), QString("Read Temp Coef"));
        QCOMPARE(r.Find<QPushButton>("btReadPress")->toolTip(), QString("CAL1 Pressure Coefficients"));
        QCOMPARE(readTemp->toolTip(), QString("CAL2 Temperature Coefficients"));
        QCOMPARE(page->OpenDialog1Filter(), QString("Kestin Coef|*.C*F;*.C*T|Bravik Coef|*.hex|All Files|*.*"));
        QCOMPARE(r.Find<QComboBox>("PressUnitsComboBox")->count(), 16);

        // Address 00: every field says so and nothing is sent.
        r.Sent();
        r.ReadOut("#00");
        QVERIFY(r.Sent().empty());
        for (const char* name : {"lbModelNumberValue", "lbClockTimeValue", "lbLogStopValue", "lbDataPrecisionValue"})
            QCOMPARE(r.Text(name), QString("#00"));
    }

    void unitSelectorSendsTheChoiceAndOffersTheCommit() {
        Rig r(Ini());
        r.Box("#01", true);
        r.ReadOut("#01");
        r.answers["#01UN2=K"] = "K";
        r.Sent();
        QTest::mouseClick(r.Find<QToolButton>("btTempUnits"), Qt::LeftButton);
        auto* combo = r.Find<QComboBox>("TempUnitsComboBox");
        QVERIFY(r.Shown("TempUnitsComboBox"));
        QCOMPARE(combo->currentIndex(), 4);  // "C"
        bool asked = false;
        OnModal<TChangeDlg>([&](TChangeDlg* dlg) {
            asked = dlg->findChild<QCheckBox*>("SaveChangeCheckBox")->isChecked();
            Click(dlg, "OKBtn");
        });
        emit combo->activated(5);
        QVERIFY(asked);
        QCOMPARE(r.Sent(), (std::vector<std::string>{"#01UN2=K", "#01EW"}));
        QCOMPARE(r.Text("lbTempUnitsValue"), QString("K"));
        QVERIFY(!r.Shown("TempUnitsComboBox"));

        // Another panel button hides an open selector.
        QTest::mouseClick(r.Find<QToolButton>("btPressUnits"), Qt::LeftButton);
        QVERIFY(r.Shown("PressUnitsComboBox"));
        QTest::mouseClick(r.Find<QToolButton>("btKestinDisplay"), Qt::LeftButton);
        QVERIFY(!r.Shown("PressUnitsComboBox"));
    }

    void gateTimeDialogKeepsItsTick() {
        Rig r(Ini());
        r.Box("#01", true);
        r.ReadOut("#01");
        r.answers["#01GA=2"] = "2";
        r.Sent();
        QString prefilled;
        OnModal<TGateTimeDlg>([&](TGateTimeDlg* dlg) {
            auto* edit = dlg->findChild<QLineEdit*>("Edit1");
            prefilled = edit->text();
            edit->setText("2");
            dlg->findChild<QCheckBox*>("SaveChangeCheckBox")->setChecked(false);
            Click(dlg, "OKBtn");
        });
        QTest::mouseClick(r.Find<QToolButton>("btGateTime"), Qt::LeftButton);
        QCOMPARE(prefilled, QString("0.5"));
        QCOMPARE(r.Sent(), std::vector<std::string>{"#01GA=2"});
        QCOMPARE(r.Text("lbGateTimeValue"), QString("2"));
        QCOMPARE(r.link.ResponseTimeoutMs(), 3000u);

        bool tick = true;
        OnModal<TGateTimeDlg>([&](TGateTimeDlg* dlg) {
            tick = dlg->findChild<QCheckBox*>("SaveChangeCheckBox")->isChecked();
            Click(dlg, "CancelBtn");
        });
        QTest::mouseClick(r.Find<QToolButton>("btGateTime"), Qt::LeftButton);
        QVERIFY(!tick);
        QVERIFY(r.Sent().empty());
    }

    void clockDialogIsInClockModeOnlyWhileOpen() {
        Rig r(Ini());
        r.Box("#01", true);
        r.ReadOut("#01");
        r.answers["#01TM=2008:01:05:07:03:09"] = "2008:01:05:07:03:09";
        r.Sent();
        auto& dlg = r.op.LogTimeDlg();
        bool logChoiceHidden = false, clockLabel = false;
        int topic = 0;
        OnModal<TLogTimeDlg>([&](TLogTimeDlg* d) {
            logChoiceHidden = !d->findChild<QGroupBox*>("rgLogGroup")->isVisible();
            clockLabel = d->findChild<QLabel*>("lbSetClockTime")->isVisible();
            topic = d->property("helpTopic").toInt();
            d->findChild<QDateEdit*>("DatePicker")->setDate(QDate(2008, 1, 5));
            d->findChild<QTimeEdit*>("TimePicker")->setTime(QTime(7, 3, 9));
            Click(d, "OKBtn");
        });
        QTest::mouseClick(r.Find<QToolButton>("btClockTime"), Qt::LeftButton);
        QVERIFY(logChoiceHidden && clockLabel);
        QCOMPARE(topic, 8);
        QCOMPARE(r.Sent(), std::vector<std::string>{"#01TM=2008:01:05:07:03:09"});
        QCOMPARE(r.Text("lbClockTimeValue"), QString("05/Jan/08  07:03:09"));
        QVERIFY(!dlg.findChild<QGroupBox*>("rgLogGroup")->isHidden());
        QVERIFY(dlg.findChild<QLabel*>("lbSetClockTime")->isHidden());
        QCOMPARE(dlg.property("helpTopic").toInt(), 0);
        QCOMPARE(dlg.LogChoice(), 1);
    }

    void addressDialogShowsItsChoicesAsTheyApply() {
        Rig r(Ini());
        QVERIFY(r.session.State().CurrentAddress.empty());
        int shownAt = -2;
        bool temporaryHiddenAtStart = false, temporaryAfterChange = false, changeHiddenAtZero = false;
        OnModal<TAddressDlg>([&](TAddressDlg* d) {
            auto* combo = d->findChild<QComboBox*>("AddrComboBox");
            shownAt = combo->currentIndex();
            temporaryHiddenAtStart = !d->findChild<QGroupBox*>("rgTemporary")->isVisible();
            QTest::mouseClick(d->findChild<QRadioButton*>("rbChangeAddress"), Qt::LeftButton);
            temporaryAfterChange = d->findChild<QGroupBox*>("rgTemporary")->isVisible();
            emit combo->activated(0);
            changeHiddenAtZero = !d->findChild<QGroupBox*>("rgChange")->isVisible();
            Click(d, "CancelBtn");
        });
        QTest::mouseClick(r.Find<QToolButton>("btAddress"), Qt::LeftButton);
        QCOMPARE(shownAt, 1);
        QVERIFY(temporaryHiddenAtStart && temporaryAfterChange && changeHiddenAtZero);
        QCOMPARE(r.session.State().CurrentAddress, std::string("#01"));  // even though cancelled
        QCOMPARE(r.op.AddressDlg().findChild<QComboBox*>("AddrComboBox")->count(), 97);

        // "Reconnect using another address." only remembers it.
        OnModal<TAddressDlg>([&](TAddressDlg* d) {
            d->findChild<QComboBox*>("AddrComboBox")->setCurrentIndex(12);
            QTest::mouseClick(d->findChild<QRadioButton*>("rbReconnect"), Qt::LeftButton);
            Click(d, "OKBtn");
        });
        QTest::mouseClick(r.Find<QToolButton>("btAddress"), Qt::LeftButton);
        QCOMPARE(r.Text("lbAddressValue"), QString("#12"));
        QCOMPARE(r.session.State().TransducerAddress[0], std::string("#12"));
        QVERIFY(r.Sent().empty());
    }

    void baudRateSelectorOpensAtTheLinkRate() {
        Rig r(Ini());
        r.link.SetLinkBaudRate(38400);
        r.session.State().CurrentAddress = "#01";
        QTest::mouseClick(r.Find<QToolButton>("btBaudRate"), Qt::LeftButton);
        auto* combo = r.Find<QComboBox>("BaudRateComboBox");
        QVERIFY(r.Shown("BaudRateComboBox"));
        QCOMPARE(combo->currentText(), QString("38400"));
        QCOMPARE(r.Text("lbBaudRateValue"), QString("38400"));
        emit combo->activated(5);  // the rate in use
        QVERIFY(r.Sent().empty());
        QVERIFY(!r.Shown("BaudRateComboBox"));

        r.session.State().CurrentAddress = "#00";
        OnModal<TOKBottomDlg>([](TOKBottomDlg* d) { Click(d, "OKBtn"); });
        QTest::mouseClick(r.Find<QToolButton>("btBaudRate"), Qt::LeftButton);
        QCOMPARE(r.box.Text(), QString("Please select an address first."));
        QVERIFY(!r.Shown("BaudRateComboBox"));
    }

    void helpTopicsOfTheSettings() {
        Rig r(Ini());
        const std::pair<const char*, int> topics[] = {
            {"BaudRateComboBox", 2}, {"btBaudRate", 2},    {"btComPort", 5},        {"ComPortComboBox", 5},
            {"lbPressUnits", 9},     {"btTempUnits", 9},   {"TempUnitsComboBox", 9}, {"lbDataPrecision", 10},
            {"btDataPrecision", 10}, {"DataPrecisionComboBox", 10}, {"lbModelNumberValue", 4}};
        for (const auto& [name, topic] : topics) QCOMPARE(HelpWindow::TopicFor(r.Find<QWidget>(name)), topic);
        QCOMPARE(HelpWindow::TopicFor(&r.op.ChangeDlg()), 6);
        QCOMPARE(HelpWindow::TopicFor(r.op.GateTimeDlg().findChild<QWidget*>("SaveChangeCheckBox")), 6);
        QCOMPARE(HelpWindow::TopicFor(r.op.GateTimeDlg().findChild<QWidget*>("Edit1")), 7);
        QCOMPARE(HelpWindow::TopicFor(r.op.AddressDlg().findChild<QWidget*>("AddrComboBox")), 3);
        for (int t : {2, 3, 5, 6, 7, 8, 9, 10})
            QVERIFY2(QFile::exists(HelpWindow::HelpFolder() + QString("/topic%1.html").arg(t)), qPrintable(QString::number(t)));
    }
};

QTEST_MAIN(DevicePanelsTest)
#include "device_panels_test.moc"
