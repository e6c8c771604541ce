// The log buttons and their dialogs over a scripted box, driven by object name.

#include "GuiRig.h"
#include "ui/TDevicePanels.h"
#include "ui/TLogDumpDlg.h"
#include "ui/TLogListDlg.h"
#include "ui/TLogRateDlg.h"
#include "ui/TLogTimeDlg.h"

#include <QDateEdit>
#include <QLineEdit>
#include <QListWidget>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QToolButton>

#include <map>

using namespace tessary;

namespace {

// Runs `act` once a dialog of type T is the active modal one (or, for the dump
// dialog, visible).
template <class T> void When(std::function<void(T*)> act) {
    auto* timer = new QTimer;
    timer->setInterval(5);
    QObject::connect(timer, &QTimer::timeout, [timer, act] {
        for (QWidget* w : QApplication::topLevelWidgets()) {
            auto* dlg = qobject_cast<T*>(w);
            if (!dlg || !dlg->isVisible()) continue;
            timer->stop();
            timer->deleteLater();
            act(dlg);
            return;
        }
    });
    timer->start();
}

void Click(QWidget* dlg, const char* name) { QTest::mouseClick(dlg->findChild<QAbstractButton*>(name), Qt::LeftButton); }

}  // namespace

class LogDialogsTest : public QObject {
    Q_OBJECT
    QTemporaryDir dir;

private slots:
    void buttonsOpenTheirDialogsAndSendWhatTheyShow() {
        gui::Rig r(dir.filePath("t.ini"));
        std::vector<std::string> sent;
        const std::map<std::string, std::string> answers = {
            {"#01LI=TM,D1,D3", "TM,D1,D3"}, {"#01LR=10ORD1=5", "10 OR D1 = 5"}, {"#01LL", "25"}};
        r.port->onWrite = [&](const std::string& cmd) {
            sent.push_back(cmd.substr(0, cmd.size() - 2));
            auto it = answers.find(sent.back());
            if (it != answers.end()) r.port->Arrive(it->second + "\r\n", std::chrono::milliseconds(2));
        };
        auto& info = r.session.State().Info;
        r.session.State().CurrentAddress = "#01";
        info.LogRate = "10 OR D1 = 5";
        info.PressUnits = "psi";
        for (const char* b : {"btInitLog", "btLogRate", "btStartLog", "btStopLog", "btDumpLog"})
            QVERIFY(r.Find<QToolButton>(b)->property("startsLineOperation").toBool());

        When<TLogListDlg>([](TLogListDlg* d) {
            auto* list = d->findChild<QListWidget*>("LogListBox");
            list->item(2)->setSelected(true);
            list->item(0)->setSelected(true);
            Click(d, "OKBtn");
        });
        QTest::mouseClick(r.Find<QToolButton>("btInitLog"), Qt::LeftButton);
        QTRY_COMPARE(r.Find<QLabel>("lbInitLogValue")->text(), QString("TM,D1,D3"));

        QString fields;
        When<TLogRateDlg>([&](TLogRateDlg* d) {
            auto* unit = d->findChild<QLabel*>("lbStepUnit");
            fields = d->findChild<QLineEdit*>("EditLogRate")->text() + "|" +
                     d->findChild<QLineEdit*>("EditDataStep")->text() + "|" + (unit->isVisible() ? unit->text() : "") +
                     "|" + QString::number(d->findChild<QListWidget*>("LogBasedOnBox")->currentRow()) + "|" +
                     (d->findChild<QRadioButton*>("rbOr")->isChecked() ? "OR" : "");
            Click(d, "OKBtn");
        });
        QTest::mouseClick(r.Find<QToolButton>("btLogRate"), Qt::LeftButton);
        QTRY_COMPARE(sent.back(), std::string("#01LR=10ORD1=5"));
        QCOMPARE(fields, QString("10|5|psi|0|OR"));

        QString shown;
        When<TLogTimeDlg>([&](TLogTimeDlg* d) {
            auto* date = d->findChild<QDateEdit*>("DatePicker");
            shown = d->findChild<QRadioButton*>("rbLogNow")->text() + "|" + (date->isEnabled() ? "on" : "off") + "|" +
                    QString::number(d->property("helpTopic").toInt());
            Click(d, "rbLogAt");
            shown += QString("|") + (date->isEnabled() ? "on" : "off");
            Click(d, "CancelBtn");
        });
        QTest::mouseClick(r.Find<QToolButton>("btStopLog"), Qt::LeftButton);
        QTRY_COMPARE(shown, QString("Stop Logging NOW!|off|15|on"));
        QCOMPARE(r.op.LogTimeDlg().property("helpTopic").toInt(), 0);

        When<TLogDumpDlg>([&](TLogDumpDlg* d) {
            auto* start = d->findChild<QLineEdit*>("StartSetEdit");
            shown = d->findChild<QLineEdit*>("EndSetEdit")->text() + "|" + start->text() + "|" +
                    (start->isEnabled() ? "on" : "off");
            d->reject();
        });
        QTest::mouseClick(r.Find<QToolButton>("btDumpLog"), Qt::LeftButton);
        QTRY_COMPARE(shown, QString("25|1|off"));
        QCOMPARE(sent.size(), 3u);  // closed before any save
    }
};

QTEST_MAIN(LogDialogsTest)
#include "log_dialogs_test.moc"
