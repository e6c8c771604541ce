// The EZCommands panels, the Coefficients page and the settings dialogs over a scripted box.

#include "GuiRig.h"
#include "app/private/AppState.h"
#include "device/DeviceInfo.h"
#include "ui/TAddressDlg.h"
#include "ui/TChangeDlg.h"
#include "ui/TCoefficientsPage.h"
#include "ui/TLogTimeDlg.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QGroupBox>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTimeEdit>
#include <QToolButton>

#include <map>

using namespace tessary;
using gui::OnModal;

namespace {

struct PanelRig : gui::Rig {
    std::map<std::string, std::string> answers;  // "#01VF" -> "FP010422"

    explicit PanelRig(const QString& ini) : Rig(ini) {
        port->onWrite = [this](const std::string& cmd) {
            auto it = answers.find(cmd.substr(0, cmd.size() - 2));
            if (it != answers.end()) port->Arrive(it->second + "\r\n", std::chrono::milliseconds(3));
        };
        for (auto& c : session.State().TransducerCaption) c = app::kNoConnect;
    }
    void ReadOut(const std::string& a, bool digital) {
        const std::map<std::string, std::string> words = {
            {"M", digital ? "DPT6100" : "K-3000"}, {"VF", digital ? "FP010422" : "ERROR 1"}, {"ID", "4711"},
            {"VER", "V2.14"}, {"GA", "0.5"}, {"UN1", "psi"}, {"UN2", "C"}, {"UP1", "psi,1"}, {"UP2", "bar,1"},
            {"UP3", "MPa,1"}, {"UP4", "mH2O,1"}, {"UP5", "C,1"}, {"UP6", "K,1"}, {"UP7", "F,1"}, {"UP8", "R,1"},
            {"TM", "2007:05:14:13:45:00"}, {"LI", "ERROR 13"}, {"LR", "ERROR 4"}, {"LS", "ERROR 13"}, {"DM", "3"},
            {"EW", "0"}};
        for (const auto& [w, reply] : words) answers[a + w] = reply;
        session.State().CurrentAddress = a;
        device::ReadDeviceInfo(session);
        session.PublishConnection();  // the flow ran here: its copy, as the line would send it
        port->writes.clear();
    }
    std::vector<std::string> Sent() {
        std::vector<std::string> out;
        for (auto& w : port->writes) out.push_back(w.substr(0, w.size() - 2));
        port->writes.clear();
        return out;
    }
    QString Text(const char* label) { return Find<QLabel>(label)->text(); }
    bool Shown(const char* name) {
        QWidget* w = Find<QWidget>(name);
        QWidget* page = form.CoefficientsPage();
        return page->isAncestorOf(w) ? w->isVisibleTo(page) : w->isVisibleTo(&form);
    }
};

void Click(QWidget* dlg, const char* name) { QTest::mouseClick(dlg->findChild<QPushButton*>(name), Qt::LeftButton); }

}  // namespace

class DevicePanelsTest : public QObject {
    Q_OBJECT
    QTemporaryDir dir;
    QString Ini() const { return dir.filePath("t.ini"); }

private slots:
    void readOutFillsThePanelsAndArrangesThePagesByFamily() {
        PanelRig r(Ini());
        r.ReadOut("#01", true);
        QCOMPARE(r.Text("lbModelNumberValue"), QString("DPT6100"));
        QCOMPARE(r.Text("lbFPGAValue"), QString("FP010422"));
        QVERIFY(r.Shown("lbFPGAValue") && !r.Shown("lbKestinDisplayValue") && !r.Shown("btKestinDisplay"));
        QVERIFY(!r.Shown("btReadPress") && r.Shown("HexMemoBox"));
        auto* readTemp = r.Find<QPushButton>("btReadTemp");
        QCOMPARE(readTemp->text(), QString("Read Coefficients"));

        // The older family: its display row, the hex box left as it was.
        r.session.State().AddressTable[5] = "K";
        r.ReadOut("#05", false);
        QCOMPARE(r.Text("lbKestinDisplayValue"), QString("Press Counts"));
        QCOMPARE(r.Find<QComboBox>("KestinComboBox")->currentIndex(), 2);
        QVERIFY(r.Shown("lbKestinDisplay") && !r.Shown("lbFPGA") && r.Shown("btReadPress"));
        QCOMPARE(readTemp->text(), QString("Read Temp Coef"));
        QCOMPARE(r.form.CoefficientsPage()->OpenDialog1Filter(),
                 QString("Kestin Coef|*.C*F;*.C*T|Bravik Coef|*.hex|All Files|*.*"));
    }

    void unitSelectorOpensAtTheCurrentValueAndTheChoiceOffersTheCommit() {
        PanelRig r(Ini());
        r.ReadOut("#01", true);
        r.answers["#01UN2=K"] = "K";
        QTest::mouseClick(r.Find<QToolButton>("btTempUnits"), Qt::LeftButton);
        QVERIFY(r.WaitLineIdle());
        auto* combo = r.Find<QComboBox>("TempUnitsComboBox");
        QVERIFY(r.Shown("TempUnitsComboBox"));
        QCOMPARE(combo->currentIndex(), 4);  // "C"
        bool ticked = false;
        OnModal<TChangeDlg>([&](TChangeDlg* dlg) {
            ticked = dlg->findChild<QCheckBox*>("SaveChangeCheckBox")->isChecked();
            Click(dlg, "OKBtn");
        });
        emit combo->activated(5);
        QVERIFY(r.WaitLineIdle());
        QVERIFY(ticked);
        QCOMPARE(r.Sent(), (std::vector<std::string>{"#01UN2=K", "#01EW"}));
        QCOMPARE(r.Text("lbTempUnitsValue"), QString("K"));
        QVERIFY(!r.Shown("TempUnitsComboBox"));
    }

    void clockDialogSetsTheBoxAndIsTheLogDialogAgainAfter() {
        PanelRig r(Ini());
        r.ReadOut("#01", true);
        r.answers["#01TM=2008:01:05:07:03:09"] = "2008:01:05:07:03:09";
        auto& dlg = r.settings.LogTimeDlg();
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
        QVERIFY(r.WaitLineIdle());
        QVERIFY(logChoiceHidden && clockLabel && topic == 8);
        QCOMPARE(r.Sent(), std::vector<std::string>{"#01TM=2008:01:05:07:03:09"});
        QCOMPARE(r.Text("lbClockTimeValue"), QString("05/Jan/08  07:03:09"));
        // The same dialog serves the log again afterwards.
        QVERIFY(!dlg.findChild<QGroupBox*>("rgLogGroup")->isHidden());
        QVERIFY(dlg.findChild<QLabel*>("lbSetClockTime")->isHidden());
        QCOMPARE(dlg.property("helpTopic").toInt(), 0);
    }
    void newAddressOfADigitalBoxOnlyOpensTheConnectDialog() {
        PanelRig r(Ini());
        auto& st = r.session.State();
        st.AddressTable[1] = st.AddressTable[2] = "4711";
        app::AssignTransducerSlots(st);
        st.TryIniFirst = false;
        r.ReadOut("#01", true);
        r.answers["#01AD=05"] = "05";
        OnModal<TAddressDlg>([&](TAddressDlg* d) {
            d->findChild<QComboBox*>("AddrComboBox")->setCurrentIndex(5);
            d->findChild<QRadioButton*>("rbChangeAddress")->setChecked(true);
            Click(d, "OKBtn");
        });
        bool connectShown = false;
        OnModal<TNewConnectDlg>([&](TNewConnectDlg* d) { connectShown = d->close(); });  // no search
        QTest::mouseClick(r.Find<QToolButton>("btAddress"), Qt::LeftButton);
        QTRY_VERIFY(connectShown);
        QVERIFY(r.WaitLineIdle());
        QCOMPARE(r.Sent(), std::vector<std::string>{"#01AD=05"});  // no read-out after
        QCOMPARE(st.TransducerCaption[1], std::string("#02    4711"));  // the tables kept
        QCOMPARE(r.Text("lbAddressValue"), QString("#05"));
    }
};

QTEST_MAIN(DevicePanelsTest)
#include "device_panels_test.moc"
