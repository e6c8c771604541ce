// The Readings page and the single-device panel in the real window, offscreen,
// over a simulated line: live values, a box that falls silent, precision, trend
// charts, nested loops and closing the window while they run.
// TESSARY_SHOT=<dir> saves a picture of each page while it polls.

#include "app/Connect.h"
#include "device/DeviceInfo.h"
#include "device/Readings.h"
#include "link/PosixPort.h"
#include "sim/Line.h"
#include "ui/HelpWindow.h"
#include "ui/QtOperator.h"
#include "ui/TForm1.h"
#include "ui/TLedSwitch.h"
#include "ui/TOKBottomDlg.h"
#include "ui/TReadingsPage.h"
#include "ui/TReadingsPanel.h"
#include "ui/TSingleReadings.h"
#include "ui/TTrendChart.h"

#include <QComboBox>
#include <QElapsedTimer>
#include <QLabel>
#include <QPushButton>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTimer>
#include <QToolButton>
#include <QtTest>

#include <sys/resource.h>

#include <functional>
#include <vector>

using namespace tessary;

namespace {

bravik::sim::LineConfig Line4() {
    bravik::sim::LineConfig cfg;
    cfg.name = "COM1";
    for (int a : {1, 2, 3, 4}) {
        bravik::sim::BoxConfig b;
        b.address = a;
        b.baud = 115200;
        b.gate = "0.01";
        cfg.boxes.push_back(b);
    }
    return cfg;
}

struct SimRig {
    QTemporaryDir dir;
    bravik::sim::Line line{Line4()};
    link::PortMap ports;
    link::DeviceLink link{std::make_unique<link::PosixPort>(), [this](const std::string& n) { return ports.Resolve(n); }};
    TOKBottomDlg box;
    QtOperator op{box};
    app::Session session{link, ports, op, Options()};
    TForm1 form{session, box};

    app::Options Options() {
        line.start();
        ports.SetFromCommandLine("COM1", line.slavePath());
        const QString ini = dir.filePath("Tessary.ini");
        QFile f(ini);
        if (f.open(QIODevice::WriteOnly)) f.write("[Communication]\r\nComPort=COM1\r\nBaudRate=115200\r\n");
        app::Options o;
        o.iniPath = S(ini);
        return o;
    }
    // As after a search that found the four boxes.
    void Connect() {
        form.show();
        form.FormShow();
        auto& st = session.State();
        for (int a : {1, 2, 3, 4}) st.AddressTable[a] = "box" + std::to_string(a);
        app::AssignTransducerSlots(st);
        st.CurrentAddress = "#01";
        st.ConnectionFound = false;  // keep the INI file out of it
        device::ReadDeviceInfo(session);
        form.RefreshConnection();
    }
    template <class T> T* Find(const char* name) { return form.findChild<T*>(name); }
    QString Text(const char* name) { return Find<QLabel>(name)->text(); }
};

// Runs steps one after the other from the event loop while a handler below it
// polls: each waits for its condition, then acts. Gives up after `limitMs`.
class Script : public QObject {
public:
    struct Step {
        std::function<bool()> ready;
        std::function<void()> act;
    };
    std::vector<Step> steps;
    std::function<void()> giveUp;
    bool done = false, timedOut = false;

    void Start(int limitMs) {
        clock_.start();
        limit_ = limitMs;
        connect(&timer_, &QTimer::timeout, this, [this] { Tick(); });
        timer_.start(10);
    }

private:
    void Tick() {
        if (done) return;
        if (clock_.elapsed() > limit_) {
            timedOut = done = true;
            timer_.stop();
            if (giveUp) giveUp();
            return;
        }
        if (next_ < steps.size() && steps[next_].ready()) {
            // An act may nest a loop that needs further steps, and Qt does not fire a
            // timer again while its own handler runs: the act gets a timer of its own.
            if (auto act = steps[next_].act) QTimer::singleShot(0, this, act);
            ++next_;
        }
        if (next_ >= steps.size()) {
            done = true;
            timer_.stop();
        }
    }
    QTimer timer_;
    QElapsedTimer clock_;
    int limit_ = 0;
    std::size_t next_ = 0;
};

void Shot(QWidget& w, const QString& name) {
    const QByteArray dir = qgetenv("TESSARY_SHOT");
    if (!dir.isEmpty()) w.grab().save(QString::fromLocal8Bit(dir) + "/" + name + ".png");
}

double CpuSeconds() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
           static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

}  // namespace

class ReadingsTest : public QObject {
    Q_OBJECT
private slots:
    void panelsShowLiveValuesAndASilentBoxIsDropped();
    void singlePanelTakesANewPrecisionAndClosingEndsNestedLoops();
    void switchWithoutConnectionShowsTheMessageAndKeepsItsLabel();
    void idleLoopWaitsForEvents();
};

void ReadingsTest::panelsShowLiveValuesAndASilentBoxIsDropped() {
    SimRig rig;
    rig.Connect();
    rig.form.resize(1180, 900);
    auto* page = rig.form.ReadingsPage();
    rig.Find<QTabWidget>("PageControl1")->setCurrentWidget(rig.Find<QWidget>("TabSheet1"));
    auto* sw = rig.Find<TLedSwitch>("btGetReadings");
    QCOMPARE(rig.Find<QGroupBox>("GroupBox3")->title(), QString("#03    box3"));
    QCOMPARE(rig.Text("lbPUnits2"), QString("psi"));
    QCOMPARE(HelpWindow::TopicFor(rig.Find<QWidget>("VrPress2")), 20);
    QVERIFY(QFileInfo::exists(HelpWindow::HelpFolder() + "/topic20.html"));

    QString firstPress1;
    std::uint32_t timeoutWhilePolling = 0;
    Script script;
    script.giveUp = [&] { sw->setChecked(false); };
    script.steps = {
        {[&] { return !rig.Text("VrPress4").isEmpty(); },
         [&] {
             timeoutWhilePolling = rig.link.ResponseTimeoutMs();
             firstPress1 = rig.Text("VrPress1");
             QCOMPARE(rig.Text("lbGetReadings"), QString("Stop ->"));
             rig.Find<QToolButton>("btTrend1")->click();
             bravik::sim::Faults silent;
             silent.silent = true;
             rig.line.setFaults(3, silent);
         }},
        {[&] { return rig.Find<QGroupBox>("GroupBox3")->title() == "NoConnect"; }, {}},
        {[&] { return page->Panel(0)->Trend()->PointCount() >= 3; },
         [&] { Shot(rig.form, "readings"); }},
        {[] { return true; }, [&] { QTest::mouseClick(sw, Qt::LeftButton); }},
    };
    script.Start(20000);
    QTest::mouseClick(sw, Qt::LeftButton);  // returns when the loop ends

    QVERIFY(!script.timedOut);
    QCOMPARE(timeoutWhilePolling, 1000u);
    QCOMPARE(rig.link.ResponseTimeoutMs(), 1000u);
    QCOMPARE(rig.Text("lbGetReadings"), QString("Get Readings ->"));
    QVERIFY(!sw->isChecked());
    QCOMPARE(rig.session.State().TransducerCaption[2], std::string("NoConnect"));
    for (const char* name : {"VrTime3", "VrPCounts3", "VrTCounts3", "VrPress3", "VrTemp3"}) QVERIFY(rig.Text(name).isEmpty());
    QVERIFY(QRegularExpression(R"(^\d\d/[A-Z][a-z]{2}/\d\d  \d\d:\d\d:\d\d$)").match(rig.Text("VrTime2")).hasMatch());
    QVERIFY(QRegularExpression(R"(^-?\d+\.\d{3}$)").match(rig.Text("VrPress1")).hasMatch());
    QVERIFY(rig.Text("VrPress1") != firstPress1 || rig.Text("VrPCounts1").size() > 0);
    QVERIFY(page->Panel(0)->Trend()->isVisible());
    QVERIFY(!page->Panel(1)->Trend());  // never opened, never built
    QVERIFY(page->Panel(1)->TrendData().Points().size() >= 2);  // but fed all along
    rig.Find<QToolButton>("btTrend1")->click();
    QVERIFY(!page->Panel(0)->Trend()->isVisible());
}

void ReadingsTest::singlePanelTakesANewPrecisionAndClosingEndsNestedLoops() {
    SimRig rig;
    rig.Connect();
    rig.form.resize(1180, 900);
    auto* ez = rig.Find<TLedSwitch>("btEZGetReadings");
    auto* panels = rig.Find<TLedSwitch>("btGetReadings");
    auto* combo = rig.Find<QComboBox>("DataPrecisionComboBox");
    QVERIFY(combo->property("inPlaceEditor").toBool());
    QString before;
    Script script;
    script.giveUp = [&] { rig.form.close(); };
    script.steps = {
        {[&] { return !rig.Text("VrPress5").isEmpty(); },
         [&] {
             before = rig.Text("VrPress5");
             QCOMPARE(rig.Text("lbEZGetReadings"), QString("Stop ->"));
             rig.Find<QToolButton>("btDataPrecision")->click();
             QVERIFY(combo->isVisible());
             combo->activated(1);  // the operator picks "1"
             rig.Find<QLabel>("VrPress5")->clear();
         }},
        {[&] { return !rig.Text("VrPress5").isEmpty(); },
         [&] {
             QVERIFY(QRegularExpression(R"(^-?\d+\.\d$)").match(rig.Text("VrPress5")).hasMatch());
             QVERIFY(QRegularExpression(R"(^-?\d+\.\d$)").match(rig.Text("VrTemp5")).hasMatch());
             rig.Find<QToolButton>("btTrend5")->click();
             QTest::mouseClick(panels, Qt::LeftButton);  // the Readings loop, nested in this one
         }},
        {[&] { return !rig.Text("VrPress4").isEmpty() && rig.Text("lbGetReadings") == "Stop ->"; },
         [&] {
             rig.Find<QTabWidget>("PageControl1")->setCurrentWidget(rig.Find<QWidget>("TabSheet2"));
             Shot(rig.form, "ezcommands");
             rig.form.close();
         }},
    };
    script.Start(20000);
    QTest::mouseClick(ez, Qt::LeftButton);

    QVERIFY(!script.timedOut);
    QVERIFY(QRegularExpression(R"(^-?\d+\.\d{3}$)").match(before).hasMatch());
    QCOMPARE(rig.Text("lbDataPrecisionValue"), QString("1"));
    QVERIFY(rig.session.State().PanelPollStopped);
    QVERIFY(rig.session.State().SinglePollStopped);
    QVERIFY(rig.session.Closed());
    QVERIFY(!rig.link.IsOpen());
    QVERIFY(!combo->isVisible());  // hidden by the selection
    // Nothing more goes out once the window is closed.
    const auto heard = rig.line.traffic().size();
    QTest::qWait(100);
    QCOMPARE(rig.line.traffic().size(), heard);
}

void ReadingsTest::switchWithoutConnectionShowsTheMessageAndKeepsItsLabel() {
    SimRig rig;
    rig.form.show();
    rig.form.FormShow();
    QStringList messages;
    QTimer answer;
    QObject::connect(&answer, &QTimer::timeout, [&] {
        if (auto* box = qobject_cast<TOKBottomDlg*>(QApplication::activeModalWidget())) {
            messages << box->Text();
            box->findChild<QPushButton*>("OKBtn")->click();
        }
    });
    answer.start(5);
    auto* sw = rig.Find<TLedSwitch>("btGetReadings");
    QTest::mouseClick(sw, Qt::LeftButton);
    QCOMPARE(messages, QStringList{"Please Auto Connect first."});
    QVERIFY(sw->isChecked());  // the switch keeps what the operator gave it
    QCOMPARE(rig.Text("lbGetReadings"), QString("Get Readings ->"));
    rig.session.State().CurrentAddress = "#00";
    QTest::mouseClick(rig.Find<TLedSwitch>("btEZGetReadings"), Qt::LeftButton);
    QCOMPARE(messages.last(), QString("Please select an address first."));
    QCOMPARE(rig.Text("lbEZGetReadings"), QString("Get Readings ->"));
    QVERIFY(rig.line.traffic().empty());
}

void ReadingsTest::idleLoopWaitsForEvents() {
    SimRig rig;
    rig.Connect();
    for (auto& c : rig.session.State().TransducerCaption) c = "NoConnect";
    rig.form.RefreshConnection();
    rig.line.clearTraffic();
    double cpu = 0;
    Script script;
    script.giveUp = [&] { rig.Find<TLedSwitch>("btGetReadings")->setChecked(false); };
    script.steps = {{[] { return true; }, [&] { cpu = CpuSeconds(); }},
                    {[&] { return false; }, {}}};  // wait out the limit
    script.Start(1500);
    QTest::mouseClick(rig.Find<TLedSwitch>("btGetReadings"), Qt::LeftButton);
    cpu = CpuSeconds() - cpu;
    QVERIFY(script.timedOut);
    QVERIFY(rig.line.traffic().empty());
    // A spinning loop burns the whole 1.5 s; waiting costs a few milliseconds.
    QVERIFY2(cpu < 0.3, qPrintable(QString("cpu %1 s").arg(cpu)));
}

QTEST_MAIN(ReadingsTest)
#include "readings_test.moc"
