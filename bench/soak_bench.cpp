// The window's memory over a long day: four boxes read on the Readings page
// with every trend open and the traffic view shown, and from the fifth minute
// a capture of the four boxes beside them. The resident size is sampled every
// minute; it must be flat once warmed up: growth over the last hour (or the
// last half of a shorter run) below 1 %.
//   soak_bench [MINUTES [OUT_DIR [SAMPLE_SECONDS]]]
// writes OUT_DIR/soak.csv and OUT_DIR/soak.png (the curve). bench/soak.sh runs
// it under Xvfb for two hours. SOAK_WITHOUT=trends,traffic,capture leaves those
// parts out. Beside RSS it prints the heap in use, which shows a slow growth
// long before RSS does.

#include "app/private/AppState.h"
#include "sim/Line.h"
#include "link/LinuxPort.h"
#include "ui/Program.h"
#include "ui/TCapturePage.h"
#include "ui/TLedSwitch.h"
#include "ui/TReadingsPage.h"
#include "ui/TReadingsPanel.h"
#include "ui/TTrafficWindow.h"

#include <QApplication>
#include <QCheckBox>
#include <QFont>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPushButton>
#include <QTabWidget>
#include <QTimer>
#include <QToolButton>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <malloc.h>
#include <unistd.h>
#include <vector>

using namespace tessary;

namespace {

double RssMb() {
    std::ifstream statm("/proc/self/statm");
    long pages = 0, resident = 0;
    statm >> pages >> resident;
    return static_cast<double>(resident) * static_cast<double>(sysconf(_SC_PAGESIZE)) / (1024.0 * 1024.0);
}

struct Sample {
    double minute, rssMb;
};

void Plot(const std::vector<Sample>& s, double captureAt, const std::string& path) {
    const int w = 900, h = 500, left = 70, right = 20, top = 40, bottom = 50;
    QImage image(w, h, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    double lo = s.front().rssMb, hi = lo;
    for (const auto& x : s) lo = std::min(lo, x.rssMb), hi = std::max(hi, x.rssMb);
    lo = std::floor(lo - 1), hi = std::ceil(hi + 1);
    const double span = std::max(s.back().minute, 1.0);
    const auto X = [&](double m) { return left + (w - left - right) * m / span; };
    const auto Y = [&](double mb) { return h - bottom - (h - top - bottom) * (mb - lo) / (hi - lo); };
    p.setPen(Qt::gray);
    for (int i = 0; i <= 5; ++i) {
        const double mb = lo + (hi - lo) * i / 5, m = span * i / 5;
        p.drawLine(QPointF(left, Y(mb)), QPointF(w - right, Y(mb)));
        p.drawText(QPointF(5, Y(mb) + 4), QString::number(mb, 'f', 1) + " MB");
        p.drawText(QPointF(X(m) - 10, h - bottom + 18), QString::number(m, 'f', 0));
    }
    p.drawText(QPointF(w / 2 - 40, h - 10), "minutes");
    p.drawText(QPointF(left, 25), "Resident size of the window: readings of four boxes, trends, traffic; capture from minute " +
                                      QString::number(captureAt, 'f', 0));
    p.setPen(QPen(Qt::darkGreen, 1, Qt::DashLine));
    p.drawLine(QPointF(X(captureAt), top), QPointF(X(captureAt), h - bottom));
    p.setPen(QPen(Qt::blue, 2));
    for (std::size_t i = 1; i < s.size(); ++i)
        p.drawLine(QPointF(X(s[i - 1].minute), Y(s[i - 1].rssMb)), QPointF(X(s[i].minute), Y(s[i].rssMb)));
    p.end();
    image.save(QString::fromStdString(path));
}

}  // namespace

int main(int argc, char** argv) {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QApplication application(argc, argv);
    const double minutes = argc > 1 ? std::atof(argv[1]) : 120.0;
    const std::filesystem::path out = argc > 2 ? argv[2] : std::filesystem::temp_directory_path();
    const double sampleSeconds = argc > 3 ? std::atof(argv[3]) : 60.0;
    const double captureAt = std::min(5.0, minutes / 4);
    std::filesystem::create_directories(out);

    bravik::sim::LineConfig cfg;
    for (int a : {1, 2, 3, 4}) {
        bravik::sim::BoxConfig box;
        box.address = a;
        cfg.boxes.push_back(box);
    }
    bravik::sim::Line line(cfg);
    line.start();
    Program p(std::make_unique<link::PosixPort>(), {});
    p.ports.SetFromCommandLine("COM1", line.slavePath());
    p.Start();
    p.link.SetLinkPortName("COM1");
    p.link.SetLinkBaudRate(9600);
    if (!p.link.OpenComPort()) {
        std::fprintf(stderr, "cannot open the simulated line\n");
        return 1;
    }
    auto& st = p.session.State();
    st.ConnectionFound = false;  // leave the INI file alone
    st.CurrentAddress = "#01";
    st.TransducerCaption = {"#01    box1", "#02    box2", "#03    box3", "#04    box4"};
    st.TransducerAddress = {"#01", "#02", "#03", "#04"};
    p.form.ShowConnection(p.session.CopyConnection());
    p.form.resize(1000, 750);
    p.form.show();
    TReadingsPage* readings = p.form.ReadingsPage();
    p.form.findChild<QTabWidget*>("PageControl1")->setCurrentWidget(readings->parentWidget());
    readings->findChild<TLedSwitch*>("btGetReadings")->click();
    const std::string without = std::getenv("SOAK_WITHOUT") ? std::getenv("SOAK_WITHOUT") : "";
    const auto leaves = [&](const char* part) { return without.find(part) != std::string::npos; };
    if (!leaves("trends"))
        for (int i = 0; i < 4; ++i) readings->Panel(i)->TrendButton()->click();
    if (!leaves("traffic")) p.form.TrafficWindow()->show();

    const auto dir = out / "soak-captures";
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir);
    QTimer::singleShot(static_cast<int>(captureAt * 60000), [&] {
        if (leaves("capture")) return;
        TCapturePage* page = p.form.CapturePage();
        for (int i = 1; i <= 4; ++i) {
            page->findChild<QCheckBox*>(QString("cbTrans%1").arg(i))->setChecked(true);
            page->findChild<QLineEdit*>(QString("edPath%1").arg(i))
                ->setText(QString::fromStdString((dir / ("box" + std::to_string(i) + ".txt")).string()));
        }
        page->findChild<QLineEdit*>("edCaptureRate")->setText("5");
        page->findChild<QPushButton*>("SpeedButtonMMTimer")->click();
    });

    std::vector<Sample> samples{{0, RssMb()}};
    QTimer sampler;
    bool capturing = false;  // the quit ends the program's capture
    const auto started = std::chrono::steady_clock::now();
    QObject::connect(&sampler, &QTimer::timeout, [&] {
        const double m = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count() / 60.0;
        samples.push_back({m, RssMb()});
        capturing = p.form.CapturePage()->Capture().Running();
        // The simulator keeps the line's traffic for tests (up to 100,000 lines):
        // that is the bench's memory, not the window's.
        line.clearTraffic();
        const double heapMb = static_cast<double>(mallinfo2().uordblks) / (1024.0 * 1024.0);
        std::printf("  minute %6.1f  RSS %7.2f MB  heap %7.3f MB%s\n", m, samples.back().rssMb, heapMb,
                    capturing ? "  capturing" : "");
        std::fflush(stdout);
        if (m >= minutes) application.quit();
    });
    sampler.start(static_cast<int>(sampleSeconds * 1000));
    QApplication::exec();

    const bool captured = capturing;
    p.form.CapturePage()->Stop();
    readings->findChild<TLedSwitch*>("btGetReadings")->click();
    p.form.FormClose();

    std::ofstream csv(out / "soak.csv", std::ios::binary);
    csv << "minute,rss_mb\r\n";
    for (const auto& s : samples) csv << s.minute << ',' << s.rssMb << "\r\n";
    csv.close();
    Plot(samples, captureAt, (out / "soak.png").string());

    // Flat: from the last hour's start (or the run's second half) to its end.
    const double from = std::max(minutes - 60.0, minutes / 2);
    const auto at = [&](double m) {
        return std::find_if(samples.begin(), samples.end(), [m](const Sample& s) { return s.minute >= m - 1e-9; })->rssMb;
    };
    const double start = at(from), end = samples.back().rssMb;
    double peak = 0;
    for (const auto& s : samples) peak = std::max(peak, s.rssMb);
    const double growth = (end - start) / start * 100.0;
    std::uintmax_t lines = 0;
    for (const auto& f : std::filesystem::directory_iterator(dir)) lines += f.file_size();
    std::printf("window soak, %.0f min: RSS %.2f MB at start, %.2f MB at minute %.0f, %.2f MB at the end, peak %.2f MB\n"
                "  growth over the last %.0f min %+.2f %%  (target < 1 %%) %s\n"
                "  capture %s, %ju bytes in its four files; curve in %s\n",
                minutes, samples.front().rssMb, start, from, end, peak, minutes - from, growth,
                growth < 1.0 && captured ? "ok" : "MISSED", captured ? "ran" : "DID NOT RUN", lines,
                (out / "soak.png").c_str());
    return growth < 1.0 && captured ? 0 : 1;
}
