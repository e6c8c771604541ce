// A 1,000,000-row capture file: read and drawn (1200x700) once, then zoomed and
// panned; the memory the chart keeps per row. Targets: open and draw <= 1.5 s,
// each redraw <= 50 ms, <= 100 bytes a row held.

#include "plot/ChartView.h"
#include "ui/ChartImage.h"

#include <QGuiApplication>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sys/resource.h>
#include <unistd.h>

using namespace tessary;
using Clock = std::chrono::steady_clock;

namespace {
constexpr long kRows = 1000000;
constexpr double kOpenLimit = 1.5, kRedrawLimit = 0.050, kBytesLimit = 100;

long RssKb() {
    long pages = 0, resident = 0;
    std::ifstream("/proc/self/statm") >> pages >> resident;
    return resident * (::sysconf(_SC_PAGESIZE) / 1024);
}

double Seconds(Clock::time_point since) { return std::chrono::duration<double>(Clock::now() - since).count(); }

const char* Mark(bool missed) { return missed ? "  MISSED" : ""; }
}  // namespace

int main(int argc, char* argv[]) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    const auto path = std::filesystem::temp_directory_path() / ("chart_bench_" + std::to_string(::getpid()) + ".txt");
    {
        std::ofstream f(path, std::ios::binary);
        char line[96];
        for (long i = 0; i < kRows; ++i) {
            if (i % 100000 == 5000) f << "NoConnect\r\n";
            const long s = i % 60, m = i / 60 % 60, h = i / 3600 % 24, d = 1 + i / 86400;
            const int n = std::snprintf(line, sizeof line, "2007/05/%02ld, %02ld:%02ld:%02ld,%.5f,%.4f,470400,45375\r\n", d,
                                        h, m, s, 14.2 + 0.02 * std::sin(static_cast<double>(i) / 600.0),
                                        21.5 + 0.3 * std::sin(static_cast<double>(i) / 1800.0));
            f.write(line, n);
        }
    }
    std::printf("chart_bench: %ld rows (%ju bytes), two series, drawn at 1200x700\n", kRows,
                static_cast<std::uintmax_t>(std::filesystem::file_size(path)));
    int rc = 0;
    const long before = RssKb();
    const auto t0 = Clock::now();
    plot::ChartView view;
    if (!view.Add(plot::ReadChartFile(path.string()))) {
        std::fprintf(stderr, "chart_bench: the file was not read\n");
        return 1;
    }
    const double read = Seconds(t0);
    QImage image = ui::ChartImage(view, 1200, 700);
    const double open = Seconds(t0);
    const bool openMissed = open > kOpenLimit;
    std::printf("  open and draw: %.3f s (read %.3f s, draw %.3f s), target %.1f s%s\n", open, read, open - read,
                kOpenLimit, Mark(openMissed));

    double worst = 0, total = 0;
    int redraws = 0;
    const double mid = (view.From() + view.To()) / 2;
    for (int i = 0; i < 12; ++i) {
        view.Zoom(0.5, mid);  // from the whole range down to minutes
        const auto t = Clock::now();
        image = ui::ChartImage(view, 1200, 700);
        worst = std::max(worst, Seconds(t));
        total += Seconds(t);
        ++redraws;
    }
    view.Reset();
    for (int i = 0; i < 10; ++i) {
        view.Pan((view.To() - view.From()) / 10);
        const auto t = Clock::now();
        image = ui::ChartImage(view, 1200, 700);
        worst = std::max(worst, Seconds(t));
        total += Seconds(t);
        ++redraws;
    }
    const bool redrawMissed = worst > kRedrawLimit;
    std::printf("  zoom/pan redraw: %d redraws, mean %.1f ms, worst %.1f ms, target %.0f ms%s\n", redraws,
                total / redraws * 1000, worst * 1000, kRedrawLimit * 1000, Mark(redrawMissed));

    const double held = static_cast<double>(RssKb() - before) * 1024.0 / kRows;
    rusage u{};
    ::getrusage(RUSAGE_SELF, &u);
    const bool memoryMissed = held > kBytesLimit;
    std::printf("  memory held: %.1f bytes a row (%.1f a point), peak RSS %ld kB, target %.0f bytes%s\n", held,
                held / 2, u.ru_maxrss, kBytesLimit, Mark(memoryMissed));
    std::filesystem::remove(path);
    if (openMissed || redrawMissed || memoryMissed) rc = 1;
    return rc;
}
