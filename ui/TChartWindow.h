#pragma once
// The chart of capture and dump files: one series per box and quantity, zoom
// (wheel, rubber band, keys), pan, reset, a read-out under the cursor, two
// markers, export of the view (PNG, SVG), of its range (CSV) and to the
// clipboard, and following files a capture is writing.

#include "plot/ChartView.h"

#include <QWidget>
#include <functional>

class QCheckBox;
class QLabel;
class QListWidget;
class QPushButton;
class QSpinBox;
class QTimer;

// The drawing area: the chart, the rubber band and the cursor.
class TChartArea : public QWidget {
public:
    explicit TChartArea(tessary::plot::ChartView& view, QWidget* parent = nullptr);
    std::function<void()> changed;                   // the view's range, markers or series changed
    std::function<void(std::int64_t)> cursorMoved;  // the time under the mouse
    std::optional<std::int64_t> cursor;
    tessary::plot::Layout Placed() const;

protected:
    void paintEvent(QPaintEvent*) override;
    void wheelEvent(QWheelEvent* e) override;
    void mousePressEvent(QMouseEvent* e) override;
    void mouseMoveEvent(QMouseEvent* e) override;
    void mouseReleaseEvent(QMouseEvent* e) override;
    void mouseDoubleClickEvent(QMouseEvent* e) override;
    void keyPressEvent(QKeyEvent* e) override;

private:
    tessary::plot::ChartView& view_;
    double pressX_ = -1, dragX_ = -1;
    bool panning_ = false;
    double panFrom_ = 0;
};

class TChartWindow : public QWidget {
public:
    explicit TChartWindow(QWidget* parent = nullptr);
    // Adds a file; false and a notice in the status line when it holds no readings.
    bool AddFile(const std::string& path);
    // Follows the files as a capture writes them: the last `minutes` in view.
    void Follow(bool on, int minutes);
    void Reload();
    void SetMarker(int which, std::int64_t t);

    // Empty on success, else why not.
    std::string ExportPng(const std::string& path, int width = 0, int height = 0);
    std::string ExportSvg(const std::string& path);
    std::string ExportCsv(const std::string& path);
    void CopyToClipboard();

    tessary::plot::ChartView& View() { return view_; }
    TChartArea* Area() { return area_; }

private:
    void Refresh();
    void RebuildSeriesList();
    void ShowReadOut(std::int64_t t);
    void AskExport(const char* kind);

    tessary::plot::ChartView view_;
    std::vector<std::string> paths_;
    std::vector<std::uint64_t> sizes_;  // at the last reload
    TChartArea* area_;
    QListWidget* lwSeries_;
    QLabel* lbReadOut_;
    QLabel* lbDelta_;
    QLabel* lbStatus_;
    QCheckBox* cbFollow_;
    QSpinBox* sbMinutes_;
    QTimer* followTimer_;
    std::int64_t lastCursor_ = 0;
};
