// The Readings page and the single-device panel in the real window, simulated line.

#include "GuiRig.h"
#include "app/Connect.h"
#include "app/private/AppState.h"
#include "device/DeviceInfo.h"
#include "link/LinuxPort.h"
#include "sim/Line.h"
#include "ui/TLedSwitch.h"
#include "ui/TReadingsPage.h"
#include "ui/TReadingsPanel.h"
#include "ui/TTrendChart.h"

#include <QAccessible>
#include <QComboBox>
#include <QElapsedTimer>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QToolButton>
#include <QStatusBar>
#include <QRegularExpression>

#include <functional>

using namespace tessary;

namespace {

bravik::sim::LineConfig Line4(const QString& link) {
    bravik::sim::LineConfig cfg;
    cfg.name = "COM1";
    cfg.linkPath = link.toStdString();  // a stable name, so an unplugged line is found again
    bravik::sim::BoxConfig box;
    box.baud = 115200;
    box.gate = "0.01";
    for (int a : {1, 2, 3, 4}) {
        box.address = a;
        cfg.boxes.push_back(box);
    }
    return cfg;
}

struct SimRig {
    QTemporaryDir dir;
    bravik::sim::Line line{Line4(dir.filePath("com1"))};
    std::unique_ptr<Program> p = Make();
    TForm1& form = p->form;
    app::Session& session = p->session;
    link::DeviceLink& link = p->link;

    std::unique_ptr<Program> Make() {
        line.start();
        auto program = std::make_unique<Program>(
            std::make_unique<link::PosixPort>(),
            gui::Rig::Options(dir.filePath("Tessary.ini"), "[Communication]\r\nComPort=COM1\r\nBaudRate=115200\r\n"));
        program->ports.SetFromCommandLine("COM1", line.slavePath());
        return program;
    }
    void Connect() {
        p->Start();
        auto& st = session.State();
        for (int a : {1, 2, 3, 4}) st.AddressTable[a] = "box" + std::to_string(a);
        app::AssignTransducerSlots(st);
        st.CurrentAddress = "#01";
        st.ConnectionFound = false;  // keep the INI file out of it
        device::ReadDeviceInfo(session);
        form.RefreshConnection();
        form.ShowConnection(session.CopyConnection());
    }
    template <class T> T* Find(const char* name) { return form.findChild<T*>(name); }
    QString Text(const char* name) { return Find<QLabel>(name)->text(); }
};

// Runs steps in turn from the event loop while a handler below it polls: each
// waits for its condition, then acts. Gives up after `limitMs`.
class Script : public QObject {
public:
    using Step = std::pair<std::function<bool()>, std::function<void()>>;
    std::vector<Step> steps;
    std::function<void()> giveUp;
    bool timedOut = false;

    void Start(int limitMs) {
        clock_.start();
        connect(&timer_, &QTimer::timeout, this, [this, limitMs] {
            if (clock_.elapsed() > limitMs) {
                timedOut = true;
                timer_.stop();
                if (giveUp) giveUp();
            } else if (next_ < steps.size() && steps[next_].first()) {
                // An act may nest a loop that needs further steps, and Qt does not fire a
                // timer again while its own handler runs: the act gets a timer of its own.
                if (auto act = steps[next_++].second) QTimer::singleShot(0, this, act);
                if (next_ == steps.size()) timer_.stop();
            }
        });
        timer_.start(10);
    }

private:
    QTimer timer_;
    QElapsedTimer clock_;
    std::size_t next_ = 0;
};

}  // namespace

class ReadingsTest : public QObject {
    Q_OBJECT
private slots:
    void bothPagesShowLiveValuesAndClosingEndsTheNestedLoops();
    void anotherBoxAfterAnUnplugTurnsTheSwitchOffWithANotice();
};

void ReadingsTest::anotherBoxAfterAnUnplugTurnsTheSwitchOffWithANotice() {
    SimRig rig;
    rig.Connect();
    gui::ModalAnswerer answerer;
    auto* lamp = rig.Find<TLedSwitch>("btEZGetReadings");
    QTest::mouseClick(lamp, Qt::LeftButton);
    QTRY_VERIFY_WITH_TIMEOUT(!rig.Text("VrPress5").isEmpty(), 10000);
    rig.line.hangUp();
    QTRY_COMPARE_WITH_TIMEOUT(rig.form.statusBar()->currentMessage(), QString("COM1: adapter unplugged"), 10000);
    const QString shown = rig.Text("VrTime5");
    QTest::qWait(300);
    QCOMPARE(rig.Text("VrTime5"), shown);  // the last reading stays; no "NoConnect"
    QVERIFY(shown != "NoConnect");
    rig.line.restore(true);
    QTRY_COMPARE_WITH_TIMEOUT(answerer.messages.size(), 1, 10000);
    QVERIFY2(answerer.messages[0].contains(QRegularExpression(R"(^COM1: the adapter came back, but #01 answered "\d+" where "\d+" was\. The readings stopped\.$)")),
             qPrintable(answerer.messages[0]));
    QTRY_VERIFY_WITH_TIMEOUT(!lamp->isChecked() && rig.Text("lbEZGetReadings") == "Get Readings ->", 10000);
}

void ReadingsTest::bothPagesShowLiveValuesAndClosingEndsTheNestedLoops() {
    SimRig rig;
    rig.Connect();
    rig.form.resize(1180, 900);
    auto* page = rig.form.ReadingsPage();
    auto* combo = rig.Find<QComboBox>("DataPrecisionComboBox");

    QStringList unread{"never looked"};
    Script script;
    script.giveUp = [&] { rig.form.close(); };
    script.steps = {
        {[&] { return !rig.Text("VrPress5").isEmpty(); },
         [&] {
             QVERIFY(QRegularExpression(R"(^-?\d+\.\d{3}$)").match(rig.Text("VrPress5")).hasMatch());
             QCOMPARE(rig.Text("lbEZGetReadings"), QString("Stop ->"));
             // Settings stay open to the operator while a loop runs; a new connect does not.
             QVERIFY(rig.Find<QToolButton>("btDataPrecision")->isEnabled());
             QVERIFY(!rig.Find<QPushButton>("btNewConnect")->isEnabled());
             rig.Find<QToolButton>("btDataPrecision")->click();
         }},
        {[&] { return combo->isVisible(); },
         [&] {
             combo->activated(1);  // the operator picks "1"
             rig.Find<QTabWidget>("PageControl1")->setCurrentWidget(rig.Find<QWidget>("TabSheet1"));
         }},
        // The Readings loop, nested in the single-device one, once the precision is set.
        {[&] { return rig.Find<TLedSwitch>("btGetReadings")->isEnabled(); },
         [&] { QTest::mouseClick(rig.Find<TLedSwitch>("btGetReadings"), Qt::LeftButton); }},
        {[&] { return !rig.Text("VrPress4").isEmpty(); },
         [&] {
             QCOMPARE(rig.Text("lbGetReadings"), QString("Stop ->"));
             rig.Find<QToolButton>("btTrend1")->click();
             bravik::sim::Faults silent;
             silent.silent = true;
             rig.line.setFaults(3, silent);
         }},
        // The counts depend on how the passes fell against the trend's thinning step: waited for, not assumed.
        {[&] {
             return rig.Find<QGroupBox>("GroupBox3")->title() == "NoConnect" && page->Panel(0)->Trend()->PointCount() >= 3 &&
                    page->Panel(1)->TrendData().Points().size() >= 2;
         },
         [&] {
             for (const char* name : {"VrTime3", "VrPCounts3", "VrTCounts3", "VrPress3", "VrTemp3"})
                 QVERIFY(rig.Text(name).isEmpty());
             QVERIFY(QRegularExpression(R"(^-?\d+\.\d$)").match(rig.Text("VrPress1")).hasMatch());  // the new precision
             unread = gui::LabelsNotSayingWhatTheyShow(&rig.form);
             QVERIFY(page->Panel(0)->Trend()->isVisible());
             QVERIFY(!page->Panel(1)->Trend());  // never opened, never built, but fed all along
             rig.Find<QToolButton>("btTrend1")->click();
             QVERIFY(!page->Panel(0)->Trend()->isVisible());
             rig.form.close();
         }},
    };
    script.Start(60000);
    // Pressed as a screen reader does (the click comes from the event loop: the first step sees the loop run).
    QAccessibleInterface* lamp = QAccessible::queryAccessibleInterface(rig.Find<TLedSwitch>("btEZGetReadings"));
    lamp->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
    QTRY_VERIFY_WITH_TIMEOUT(rig.form.Closed() || script.timedOut, 70000);

    QVERIFY(!script.timedOut);
    QVERIFY2(unread.isEmpty(), qPrintable(unread.join("; ")));
    QCOMPARE(rig.Text("lbDataPrecisionValue"), QString("1"));
    QVERIFY(!combo->isVisible());  // hidden by the selection
    QVERIFY(rig.session.State().PanelPollStopped && rig.session.State().SinglePollStopped);
    QVERIFY(!rig.link.IsOpen());
    // Nothing more goes out once the window is closed.
    const auto heard = rig.line.traffic().size();
    QTest::qWait(100);
    QCOMPARE(rig.line.traffic().size(), heard);
}

QTEST_MAIN(ReadingsTest)
#include "readings_test.moc"
