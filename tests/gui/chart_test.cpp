// The chart window offscreen, checked by its model: series, points, ranges.

#include "ui/TChartWindow.h"

#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QWheelEvent>
#include <fstream>

using namespace tessary;

class ChartGuiTest : public QObject {
    Q_OBJECT
    QTemporaryDir dir;

    std::string Write(const char* name, int rows, int noConnectAt) {
        const std::string path = dir.filePath(name).toStdString();
        std::ofstream f(path, std::ios::binary);
        for (int i = 0; i < rows; ++i) {
            if (i == noConnectAt) f << "NoConnect\r\n";
            char line[96];
            std::snprintf(line, sizeof line, "2007/05/17, %02d:%02d:%02d,%.5f,%.4f,1,2\r\n", 12 + i / 3600, i / 60 % 60,
                          i % 60, 14.0 + i * 0.001, 21.0 + (i % 10) * 0.1);
            f << line;
        }
        return path;
    }

private slots:
    void filesZoomMarkersAndExport() {
        TChartWindow w;
        w.resize(900, 600);
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        QVERIFY(w.AddFile(Write("a.txt", 7200, 3600)));
        QVERIFY(w.AddFile(Write("b.txt", 600, -1)));
        QVERIFY(!w.AddFile(dir.path().toStdString()));  // a folder: said, nothing added
        QCOMPARE(w.findChild<QLabel*>("lbStatus")->text(), dir.path() + ": it is a folder");
        const auto series = w.View().AllSeries();
        QCOMPARE(series.size(), std::size_t{4});
        QCOMPARE(series[0]->t.size(), std::size_t{7201});  // with its break
        QCOMPARE(series[2]->t.size(), std::size_t{600});
        const double from = w.View().From(), to = w.View().To();
        QVERIFY(from <= static_cast<double>(series[0]->t.front()) && to >= static_cast<double>(series[0]->t.back()));

        // The wheel zooms in around the mouse; a dragged band zooms to it; Home resets.
        TChartArea* area = w.Area();
        const QPointF mid(area->Placed().plot.x + area->Placed().plot.w / 2, area->height() / 2.0);
        QWheelEvent wheel(mid, area->mapToGlobal(mid), {}, {0, 120}, Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
        QApplication::sendEvent(area, &wheel);
        QVERIFY(w.View().To() - w.View().From() < (to - from) * 0.81);
        const auto plot = area->Placed().plot;
        const int x0 = static_cast<int>(plot.x + plot.w * 0.25), x1 = static_cast<int>(plot.x + plot.w * 0.5);
        const double t0 = w.View().TimeAt(area->Placed(), x0), t1 = w.View().TimeAt(area->Placed(), x1);
        QTest::mousePress(area, Qt::LeftButton, {}, QPoint(x0, 200));
        QTest::mouseMove(area, QPoint(x1, 200));
        QTest::mouseRelease(area, Qt::LeftButton, {}, QPoint(x1, 200));
        QVERIFY(std::abs(w.View().From() - t0) < 1 && std::abs(w.View().To() - t1) < 1);
        QTest::keyClick(area, Qt::Key_Home);
        QCOMPARE(w.View().From(), from);

        // Markers: the rate of the first box's pressure, 0.001 a second.
        w.SetMarker(0, series[0]->t[100]);
        w.SetMarker(1, series[0]->t[400]);
        const QString delta = w.findChild<QLabel*>("lbDelta")->text();
        QVERIFY2(delta.contains("a pressure: \u0394 0.3, 3.6 /h"), qPrintable(delta));
        QCOMPARE(w.findChild<QLabel*>("lbDelta")->accessibleName(), delta);

        // A series unticked leaves the CSV; the CSV covers the range in view.
        w.findChild<QListWidget*>("lwSeries")->item(1)->setCheckState(Qt::Unchecked);
        QVERIFY(!w.View().Shown(1));
        w.View().SetRange(static_cast<double>(series[0]->t[0]), static_cast<double>(series[0]->t[9]));
        const std::string csv = dir.filePath("v.csv").toStdString();
        QCOMPARE(w.ExportCsv(csv), std::string());
        std::ifstream in(csv);
        std::string header, line;
        std::getline(in, header);
        QCOMPARE(header, std::string("time,a pressure,b pressure,b temperature\r"));
        int rows = 0;
        while (std::getline(in, line)) ++rows;
        QCOMPARE(rows, 10);
        const std::string png = dir.filePath("v.png").toStdString();
        QCOMPARE(w.ExportPng(png, 320, 200), std::string());
        QCOMPARE(QImage(QString::fromStdString(png)).size(), QSize(320, 200));

        // Following a file a capture writes: new rows come in, the view is its last minute.
        const std::string path = Write("c.txt", 120, -1);
        TChartWindow f;
        QVERIFY(f.AddFile(path));
        f.Follow(true, 1);
        std::ofstream(path, std::ios::app) << "2007/05/17, 12:05:00,1,2\r\n";
        f.Reload();
        QCOMPARE(f.View().AllSeries()[0]->t.size(), std::size_t{121});
        QCOMPARE(f.View().From(), f.View().FullTo() - 60);
    }
};

QTEST_MAIN(ChartGuiTest)
#include "chart_test.moc"
