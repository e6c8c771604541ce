#include "ui/TChartWindow.h"

#include "ui/ChartImage.h"
#include "ui/FilePaths.h"
#include "ui/HelpWindow.h"

#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QListWidget>
#include <QMimeData>
#include <QPushButton>
#include <QSpinBox>
#include <QTimer>
#include <QVBoxLayout>
#include <QWheelEvent>
#include <cmath>
#include <sstream>

#include "link/Files.h"

using namespace tessary;

namespace {

constexpr int kHelpTopic = 82;

// Labels show what they say to a screen reader too.
void SetText(QLabel* label, const QString& text) {
    label->setText(text);
    label->setAccessibleName(text);
}

QString Lines(const std::vector<std::string>& lines, const char* join) {
    QStringList list;
    for (const auto& l : lines) list << QString::fromUtf8(l.c_str());
    return list.join(QString::fromUtf8(join));
}

std::string Write(const std::string& path, const std::string& bytes) {
    const link::InPlaceWrite w = link::WriteInPlace(path, bytes, false);
    return w.code == link::InPlaceWrite::Code::Written ? std::string() : w.error.empty() ? "not written" : w.error;
}

}  // namespace

TChartArea::TChartArea(plot::ChartView& view, QWidget* parent) : QWidget(parent), view_(view) {
    setObjectName("chartArea");
    setMouseTracking(true);
    setFocusPolicy(Qt::StrongFocus);
    setMinimumSize(400, 260);
    setAccessibleName("Chart");
    setAccessibleDescription("Wheel or + and - zoom, drag zooms to a range, Shift+drag or arrows pan, "
                             "Home or a double click resets, A and B set the markers at the cursor");
}

plot::Layout TChartArea::Placed() const {
    QImage probe(1, 1, QImage::Format_RGB32);  // only for the font's measures
    QPainter painter(&probe);
    ui::PainterCanvas canvas(painter);
    return view_.Place(width(), height(), canvas);
}

void TChartArea::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    ui::PainterCanvas canvas(painter);
    const plot::Layout layout = view_.Draw(canvas, width(), height(), cursor);
    if (pressX_ >= 0 && dragX_ >= 0 && !panning_) {
        const QRectF band(std::min(pressX_, dragX_), layout.plot.y, std::fabs(dragX_ - pressX_), layout.plot.h);
        painter.fillRect(band, QColor(31, 119, 180, 40));
        painter.setPen(QColor(31, 119, 180));
        painter.drawRect(band);
    }
}

void TChartArea::wheelEvent(QWheelEvent* e) {
    const double at = view_.TimeAt(Placed(), e->position().x());
    view_.Zoom(e->angleDelta().y() > 0 ? 0.8 : 1.25, at);
    if (changed) changed();
    e->accept();
}

void TChartArea::mousePressEvent(QMouseEvent* e) {
    const plot::Layout layout = Placed();
    for (std::size_t k = 0; k < layout.legend.size(); ++k)
        if (layout.legend[k].Contains(e->position().x(), e->position().y())) {
            view_.Toggle(k);
            if (changed) changed();
            return;
        }
    pressX_ = e->position().x();
    panning_ = (e->modifiers() & Qt::ShiftModifier) || e->button() == Qt::MiddleButton;
    panFrom_ = view_.From();
}

void TChartArea::mouseMoveEvent(QMouseEvent* e) {
    const plot::Layout layout = Placed();
    if (pressX_ >= 0) {
        dragX_ = e->position().x();
        if (panning_) {
            const double span = view_.To() - view_.From();
            view_.SetRange(panFrom_ - (dragX_ - pressX_) / layout.plot.w * span,
                           panFrom_ - (dragX_ - pressX_) / layout.plot.w * span + span);
            if (changed) changed();
        }
        update();
    }
    cursor = static_cast<std::int64_t>(std::llround(view_.TimeAt(layout, e->position().x())));
    if (cursorMoved) cursorMoved(*cursor);
    update();
}

void TChartArea::mouseReleaseEvent(QMouseEvent* e) {
    if (pressX_ >= 0 && !panning_ && std::fabs(e->position().x() - pressX_) > 4) {
        const plot::Layout layout = Placed();
        const double a = view_.TimeAt(layout, pressX_), b = view_.TimeAt(layout, e->position().x());
        view_.SetRange(std::min(a, b), std::max(a, b));
        if (changed) changed();
    }
    pressX_ = dragX_ = -1;
    panning_ = false;
    update();
}

void TChartArea::mouseDoubleClickEvent(QMouseEvent*) {
    view_.Reset();
    if (changed) changed();
}

void TChartArea::keyPressEvent(QKeyEvent* e) {
    const double span = view_.To() - view_.From(), mid = (view_.From() + view_.To()) / 2;
    switch (e->key()) {
    case Qt::Key_Plus:
    case Qt::Key_Equal: view_.Zoom(0.8, cursor ? static_cast<double>(*cursor) : mid); break;
    case Qt::Key_Minus: view_.Zoom(1.25, cursor ? static_cast<double>(*cursor) : mid); break;
    case Qt::Key_Left: view_.Pan(-span / 10); break;
    case Qt::Key_Right: view_.Pan(span / 10); break;
    case Qt::Key_Home: view_.Reset(); break;
    case Qt::Key_A:
    case Qt::Key_B: {
        // Without a mouse the cursor is the view's middle.
        const auto t = cursor.value_or(static_cast<std::int64_t>(mid));
        view_.markers[e->key() == Qt::Key_A ? 0 : 1] = t;
        break;
    }
    default: QWidget::keyPressEvent(e); return;
    }
    if (changed) changed();
}

TChartWindow::TChartWindow(QWidget* parent) : QWidget(parent, Qt::Window) {
    setObjectName("ChartWindow");
    setProperty("helpTopic", kHelpTopic);
    setWindowTitle("Chart");
    resize(1100, 700);
    area_ = new TChartArea(view_, this);
    lwSeries_ = new QListWidget(this);
    lwSeries_->setObjectName("lwSeries");
    lwSeries_->setAccessibleName("Series");
    lwSeries_->setMaximumWidth(260);
    lbReadOut_ = new QLabel(this);
    lbReadOut_->setObjectName("lbReadOut");
    lbReadOut_->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    lbReadOut_->setWordWrap(true);
    lbDelta_ = new QLabel(this);
    lbDelta_->setObjectName("lbDelta");
    lbDelta_->setWordWrap(true);
    lbStatus_ = new QLabel(this);
    lbStatus_->setObjectName("lbStatus");
    lbStatus_->setWordWrap(true);

    auto* buttons = new QHBoxLayout;
    auto button = [this, buttons](const char* name, const char* text, auto&& slot) {
        auto* b = new QPushButton(QString::fromUtf8(text), this);
        b->setObjectName(name);
        connect(b, &QPushButton::clicked, this, slot);
        buttons->addWidget(b);
        return b;
    };
    button("btOpen", "Open...", [this] {
        for (const QString& f : QFileDialog::getOpenFileNames(this, "Open capture or dump files", QString(),
                                                              "Text Files (*.txt);;All Files (*)"))
            AddFile(PathBytes(f));
    });
    button("btReset", "Reset", [this] {
        view_.Reset();
        Refresh();
    });
    button("btMarkerA", "Marker A", [this] { SetMarker(0, lastCursor_); });
    button("btMarkerB", "Marker B", [this] { SetMarker(1, lastCursor_); });
    button("btPng", "PNG...", [this] { AskExport("png"); });
    button("btSvg", "SVG...", [this] { AskExport("svg"); });
    button("btCsv", "CSV...", [this] { AskExport("csv"); });
    button("btCopy", "Copy", [this] { CopyToClipboard(); });
    button("btHelp", "Help", [this] {
        // Its own: the chart may run without the main window (tessary --chart).
        auto* help = new HelpWindow(this);
        help->setAttribute(Qt::WA_DeleteOnClose);
        help->ShowTopic(kHelpTopic);
        help->show();
    });
    cbFollow_ = new QCheckBox("Follow the last", this);
    cbFollow_->setObjectName("cbFollow");
    sbMinutes_ = new QSpinBox(this);
    sbMinutes_->setObjectName("sbMinutes");
    sbMinutes_->setRange(1, 10080);
    sbMinutes_->setValue(10);
    sbMinutes_->setSuffix(" min");
    sbMinutes_->setAccessibleName("Minutes followed");
    buttons->addStretch();
    buttons->addWidget(cbFollow_);
    buttons->addWidget(sbMinutes_);
    connect(cbFollow_, &QCheckBox::toggled, this, [this](bool on) { Follow(on, sbMinutes_->value()); });
    connect(sbMinutes_, &QSpinBox::valueChanged, this, [this](int m) {
        if (cbFollow_->isChecked()) Follow(true, m);
    });

    auto* side = new QVBoxLayout;
    side->addWidget(lwSeries_, 1);
    side->addWidget(lbReadOut_);
    side->addWidget(lbDelta_);
    auto* middle = new QHBoxLayout;
    middle->addWidget(area_, 1);
    middle->addLayout(side);
    auto* top = new QVBoxLayout(this);
    top->addLayout(buttons);
    top->addLayout(middle, 1);
    top->addWidget(lbStatus_);

    area_->changed = [this] { Refresh(); };
    area_->cursorMoved = [this](std::int64_t t) { ShowReadOut(t); };
    connect(lwSeries_, &QListWidget::itemChanged, this, [this](QListWidgetItem* item) {
        const auto k = static_cast<std::size_t>(lwSeries_->row(item));
        if (view_.Shown(k) != (item->checkState() == Qt::Checked)) {
            view_.Toggle(k);
            area_->update();
        }
    });
    followTimer_ = new QTimer(this);
    followTimer_->setInterval(2000);
    connect(followTimer_, &QTimer::timeout, this, &TChartWindow::Reload);
}

bool TChartWindow::AddFile(const std::string& path) {
    plot::ChartFile file = plot::ReadChartFile(path);
    const QString name = PathText(path);
    if (!file.error.empty()) {
        SetText(lbStatus_, name + ": " + QString::fromUtf8(file.error.c_str()));
        return false;
    }
    SetText(lbStatus_, file.Summary().empty() ? name : name + ": " + QString::fromUtf8(file.Summary().c_str()));
    view_.Add(std::move(file));
    paths_.push_back(path);
    RebuildSeriesList();
    Refresh();
    return true;
}

void TChartWindow::Reload() {
    // A capture only appends: read the files again when one grew, keep what is shown and where.
    std::vector<std::uint64_t> sizes;
    for (const auto& p : paths_) {
        std::uint64_t size = 0;
        std::string error;
        sizes.push_back(link::RegularFileSize(p, size, error) ? size : 0);
    }
    if (sizes == sizes_ && !paths_.empty()) return;
    sizes_ = sizes;
    const auto paths = paths_;
    std::vector<bool> shown;
    for (std::size_t k = 0; k < view_.AllSeries().size(); ++k) shown.push_back(view_.Shown(k));
    const double from = view_.From(), to = view_.To();
    const auto markers = view_.markers;
    const std::string title = view_.title;
    view_ = plot::ChartView();
    view_.title = title;
    view_.markers = markers;
    paths_.clear();
    for (const auto& p : paths) {
        plot::ChartFile file = plot::ReadChartFile(p);
        if (file.error.empty() && view_.Add(std::move(file))) paths_.push_back(p);
    }
    for (std::size_t k = 0; k < shown.size() && k < view_.AllSeries().size(); ++k)
        if (!shown[k]) view_.Toggle(k);
    if (followTimer_->isActive()) {
        const double span = sbMinutes_->value() * 60.0;
        view_.SetRange(view_.FullTo() - span, view_.FullTo() + span / 50);
    } else {
        view_.SetRange(from, to);
    }
    RebuildSeriesList();
    Refresh();
}

void TChartWindow::Follow(bool on, int minutes) {
    if (sbMinutes_->value() != minutes) sbMinutes_->setValue(minutes);
    if (cbFollow_->isChecked() != on) {
        cbFollow_->setChecked(on);  // comes back here
        return;
    }
    if (on) {
        followTimer_->start();
        sizes_.clear();  // the view moves to the newest minutes at once
        Reload();
    } else {
        followTimer_->stop();
    }
}

void TChartWindow::SetMarker(int which, std::int64_t t) {
    view_.markers[static_cast<std::size_t>(which)] = t;
    Refresh();
}

void TChartWindow::RebuildSeriesList() {
    const QSignalBlocker block(lwSeries_);
    lwSeries_->clear();
    const auto all = view_.AllSeries();
    for (std::size_t k = 0; k < all.size(); ++k) {
        auto* item = new QListWidgetItem(QString::fromUtf8(all[k]->name.c_str()), lwSeries_);
        item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
        item->setCheckState(view_.Shown(k) ? Qt::Checked : Qt::Unchecked);
    }
}

void TChartWindow::Refresh() {
    {
        const QSignalBlocker block(lwSeries_);
        for (int k = 0; k < lwSeries_->count(); ++k)
            lwSeries_->item(k)->setCheckState(view_.Shown(static_cast<std::size_t>(k)) ? Qt::Checked : Qt::Unchecked);
    }
    const auto delta = view_.MarkerDelta();
    SetText(lbDelta_, delta.empty() ? QString() : "A\u2013B: " + Lines(delta, "\n"));
    area_->update();
}

void TChartWindow::ShowReadOut(std::int64_t t) {
    lastCursor_ = t;
    SetText(lbReadOut_, Lines(view_.ReadOut(t), "\n"));
}

std::string TChartWindow::ExportPng(const std::string& path, int width, int height) {
    const QImage image = ui::ChartImage(view_, width > 0 ? width : area_->width(), height > 0 ? height : area_->height());
    return image.save(PathText(path), "PNG") ? std::string() : "the image was not written";
}

std::string TChartWindow::ExportSvg(const std::string& path) {
    plot::SvgCanvas svg(area_->width(), area_->height());
    view_.Draw(svg, area_->width(), area_->height());
    return Write(path, svg.Finish());
}

std::string TChartWindow::ExportCsv(const std::string& path) {
    std::ostringstream csv;
    view_.WriteVisibleCsv(csv);
    return Write(path, csv.str());
}

void TChartWindow::CopyToClipboard() {
    std::ostringstream csv;
    view_.WriteVisibleCsv(csv);
    auto* mime = new QMimeData;
    mime->setImageData(ui::ChartImage(view_, area_->width(), area_->height()));
    mime->setText(QString::fromStdString(csv.str()));
    QApplication::clipboard()->setMimeData(mime);
    SetText(lbStatus_, "The chart (image) and its range (CSV text) are on the clipboard");
}

void TChartWindow::AskExport(const char* kind) {
    const QString k = QString::fromLatin1(kind);
    const QString file = QFileDialog::getSaveFileName(this, "Export " + k.toUpper(), "chart." + k,
                                                      k.toUpper() + " (*." + k + ")");
    if (file.isEmpty()) return;
    const std::string path = PathBytes(file);
    const std::string error = k == "png" ? ExportPng(path) : k == "svg" ? ExportSvg(path) : ExportCsv(path);
    SetText(lbStatus_, error.empty() ? "Written: " + file : "Cannot write " + file + ": " + QString::fromUtf8(error.c_str()));
}
