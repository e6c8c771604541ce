// The log buttons and their dialogs over a scripted box, driven by object name.

#include "GuiRig.h"
#include "app/private/AppState.h"
#include "ui/TLogDumpDlg.h"
#include "ui/TLogListDlg.h"
#include "ui/TLogRateDlg.h"

#include <QLineEdit>
#include <QListWidget>
#include <QTemporaryDir>
#include <QToolButton>

using namespace tessary;

namespace {

// Clicks `button`, then runs `act` on the dialog of type T once it shows.
template <class T> void With(QAbstractButton* button, std::function<void(T*)> act) {
    QTimer timer;
    bool done = false;
    QObject::connect(&timer, &QTimer::timeout, [&] {
        for (QWidget* w : QApplication::topLevelWidgets())
            if (auto* d = qobject_cast<T*>(w); d && d->isVisible() && !done) {
                done = true;
                act(d);
            }
    });
    timer.start(5);
    QTest::mouseClick(button, Qt::LeftButton);
    QTRY_VERIFY(done);
}
template <class W> W* In(QWidget* d, const char* name) { return d->findChild<W*>(name); }
QString On(QWidget* w) { return w->isEnabled() ? "on" : "off"; }

}  // namespace

class LogDialogsTest : public QObject {
    Q_OBJECT
    QTemporaryDir dir;

private slots:
    void buttonsOpenTheirDialogsAndSendWhatTheyShow() {
        gui::Rig r(dir.filePath("t.ini"));
        r.session.State().CurrentAddress = "#01";
        r.session.State().Info.LogRate = "10 OR D1 = 5";
        for (auto [word, reply] :
             {std::pair{"#01LI=TM,D1,D3", "TM,D1,D3"}, {"#01LR=10ORD1=5", "10 OR D1 = 5"}, {"#01LL", "25"}})
            r.port->Answer(std::string(word) + "\r\n", reply);
        for (const char* b : {"btInitLog", "btLogRate", "btStartLog", "btStopLog", "btDumpLog"})
            QVERIFY(r.Find<QToolButton>(b)->property("startsLineOperation").toBool());
        auto button = [&](const char* name) { return r.Find<QToolButton>(name); };
        With<TLogListDlg>(button("btInitLog"), [](TLogListDlg* d) {
            In<QListWidget>(d, "LogListBox")->item(2)->setSelected(true);
            In<QListWidget>(d, "LogListBox")->item(0)->setSelected(true);
            In<QPushButton>(d, "OKBtn")->click();
        });
        QTRY_COMPARE(r.Find<QLabel>("lbInitLogValue")->text(), QString("TM,D1,D3"));
        QVERIFY(r.WaitLineIdle());

        // OK on the dialog as it opened sends the rate it was filled from.
        With<TLogRateDlg>(button("btLogRate"), [](TLogRateDlg* d) { In<QPushButton>(d, "OKBtn")->click(); });
        QVERIFY(r.WaitLineIdle());  // the port's record is the line's until then
        QCOMPARE(r.port->writes.back(), std::string("#01LR=10ORD1=5\r\n"));

        QString seen;
        With<TLogDumpDlg>(button("btDumpLog"), [&](TLogDumpDlg* d) {
            seen = In<QLineEdit>(d, "EndSetEdit")->text() + "|" + In<QLineEdit>(d, "StartSetEdit")->text() + "|" +
                   On(In<QLineEdit>(d, "StartSetEdit"));
            d->reject();
        });
        QCOMPARE(seen, QString("25|1|off"));
        QVERIFY(r.WaitLineIdle());
        QCOMPARE(r.port->writes.size(), 3u);  // closed before any save
    }

    // After Cancel the box's stream is still read to its end: the dialog says so, without a button.
    void cancelSaysTheRestIsReadUntilTheDrainEnds() {
        TLogDumpDlg d;
        d.show();
        d.SetRunning(true);
        auto* cancel = In<QPushButton>(&d, "btCancelDump");
        auto* note = In<QLabel>(&d, "lbCancelling");
        d.reject();  // the close box is Cancel too
        QVERIFY(d.Cancelled() && d.isVisible() && !cancel->isVisible() && note->isVisible());
        QCOMPARE(note->text(), QString("Cancelling: reading the rest of the box's log…"));
        d.SetRunning(false);
        QVERIFY(!note->isVisible());
    }
};

QTEST_MAIN(LogDialogsTest)
#include "log_dialogs_test.moc"
