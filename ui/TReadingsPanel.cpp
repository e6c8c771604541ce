#include "ui/TReadingsPanel.h"

#include "app/ConnectionCopy.h"
#include "ui/OnWindow.h"
#include "ui/QtOperator.h"
#include "ui/TDigitalDisplay.h"
#include "ui/TTrendChart.h"

#include <QDateTime>
#include <QGridLayout>
#include <QLabel>
#include <QToolButton>

namespace {
// Readings panels and the single-device panel share one help topic.
constexpr int kHelpTopic = 20;
const char* const kCaptions[5] = {"Time", "Press Counts", "Temp Counts", "Pressure", "Temperature  \xb0"};
const char* const kNames[5] = {"VrTime", "VrPCounts", "VrTCounts", "VrPress", "VrTemp"};
}  // namespace

TReadingsPanel::TReadingsPanel(QWidget* parent)
    : QGroupBox(parent), pressUnits_(new QLabel(this)), tempUnits_(new QLabel(this)), trendButton_(new QToolButton(this)) {
    setProperty("helpTopic", kHelpTopic);
    auto* grid = new QGridLayout(this);
    grid->setHorizontalSpacing(8);
    grid->setVerticalSpacing(4);
    for (int i = 0; i < 5; ++i) {
        auto* caption = new QLabel(QString::fromLatin1(kCaptions[i]), this);
        caption->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        auto* display = new TDigitalDisplay(this);
        display->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
        // A label with no accessible name reads out its text; the caption describes it.
        display->setAccessibleDescription(caption->text().trimmed());
        caption->setBuddy(display);
        displays_[static_cast<std::size_t>(i)] = display;
        grid->addWidget(caption, i, 0);
        grid->addWidget(display, i, 1);
    }
    for (QLabel* units : {pressUnits_, tempUnits_}) {
        units->setTextFormat(Qt::PlainText);
        units->setMinimumWidth(QFontMetrics(units->font()).horizontalAdvance("Fahrenheit"));
    }
    pressUnits_->setAccessibleDescription("Pressure units");
    tempUnits_->setAccessibleDescription("Temperature units");
    grid->addWidget(pressUnits_, 3, 2);
    grid->addWidget(tempUnits_, 4, 2);

    trendButton_->setText("Trend");
    trendButton_->setCheckable(true);
    trendButton_->setAccessibleName("Trend chart");
    trendButton_->setToolTip("Show or hide a chart of the pressure and temperature of the last minutes.");
    grid->addWidget(trendButton_, 0, 2, Qt::AlignRight | Qt::AlignTop);
    grid->setColumnStretch(1, 1);
    grid->setRowStretch(6, 1);  // a taller neighbour's chart must not stretch the displays
    connect(trendButton_, &QToolButton::toggled, this, &TReadingsPanel::ShowTrend);
    ShowCaption(std::string(tessary::app::kNoConnect));
}

void TReadingsPanel::SetNumber(int number) {
    const QString n = QString::number(number);
    setObjectName("GroupBox" + n);
    for (std::size_t i = 0; i < displays_.size(); ++i) displays_[i]->setObjectName(kNames[i] + n);
    const QString unitsSuffix = number == 5 ? QString() : n;
    pressUnits_->setObjectName("lbPUnits" + unitsSuffix);
    tempUnits_->setObjectName("lbTUnits" + unitsSuffix);
    trendButton_->setObjectName("btTrend" + n);
}

void TReadingsPanel::SetUnits(const std::string& pressure, const std::string& temperature) {
    pressUnits_->setText(Q(tessary::app::ShownText(pressure)));
    tempUnits_->setText(Q(tessary::app::ShownText(temperature)));
    if (chart_) chart_->SetUnits(Q(pressure), Q(temperature));
}

void TReadingsPanel::SetSlotCaption(const std::string& caption) {
    const bool empty = caption.empty() || caption == tessary::app::kNoConnect;
    const std::string address = empty ? std::string() : caption.substr(0, 3);
    if (!empty && address != address_) {
        trend_.Clear();
        if (chart_) chart_->Draw(trend_);
    }
    if (!empty) address_ = address;
    ShowCaption(empty ? std::string(tessary::app::kNoConnect) : caption);
}

// The loops call the view from the line thread: the panel shows on its own.
void TReadingsPanel::ShowReading(const tessary::device::Reading& reading) {
    const double now = static_cast<double>(QDateTime::currentMSecsSinceEpoch()) / 1000.0;
    PostToWindow(this, [this, reading, now] { Show(reading, now); });
}

void TReadingsPanel::Show(const tessary::device::Reading& reading, double now) {
    const std::string* texts[5] = {&reading.time, &reading.pressCounts, &reading.tempCounts, &reading.press,
                                   &reading.temp};
    for (std::size_t i = 0; i < displays_.size(); ++i) displays_[i]->setText(Q(tessary::app::ShownText(*texts[i])));
    if (reading.pressure && reading.temperature) {
        if (trend_.Add(now, *reading.pressure, *reading.temperature) && chart_ && chart_->isVisible())
            chart_->Draw(trend_);
    }
}

void TReadingsPanel::ClearReadings() {
    PostToWindow(this, [this] {
        for (auto* display : displays_) display->clear();
    });
}

void TReadingsPanel::ShowCaption(const std::string& caption) {
    PostToWindow(this, [this, caption] { setTitle(Q(tessary::app::ShownText(caption))); });
}

void TReadingsPanel::ShowTrend(bool on) {
    if (on && !chart_) {
        chart_ = new TTrendChart(this);
        chart_->setObjectName("Trend" + objectName().mid(8));
        chart_->SetUnits(pressUnits_->text(), tempUnits_->text());
        static_cast<QGridLayout*>(layout())->addWidget(chart_, 5, 0, 1, 3);
    }
    if (trendButton_->isChecked() != on) trendButton_->setChecked(on);
    if (!chart_) return;
    chart_->setVisible(on);
    if (on) chart_->Draw(trend_);
}
