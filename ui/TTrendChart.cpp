#include "ui/TTrendChart.h"

#include <QDateTime>
#include <QDateTimeAxis>
#include <QGraphicsLayout>
#include <QLineSeries>
#include <QValueAxis>

namespace {
const QColor kPressure(0x1f, 0x6f, 0xd0);
const QColor kTemperature(0xd0, 0x4a, 0x1f);
constexpr double kMinSpanSeconds = 30.0;
}  // namespace

TTrendChart::TTrendChart(QWidget* parent)
    : QChartView(parent),
      pressure_(new QLineSeries),
      temperature_(new QLineSeries),
      time_(new QDateTimeAxis),
      pressureAxis_(new QValueAxis),
      temperatureAxis_(new QValueAxis) {
    auto* chart = new QChart;
    chart->setMargins(QMargins(4, 4, 4, 4));
    chart->layout()->setContentsMargins(0, 0, 0, 0);
    chart->setBackgroundRoundness(0);
    chart->legend()->setAlignment(Qt::AlignTop);
    chart->legend()->setFont(font());
    pressure_->setPen(QPen(kPressure, 1.6));
    temperature_->setPen(QPen(kTemperature, 1.6));
    chart->addSeries(pressure_);
    chart->addSeries(temperature_);

    time_->setFormat("hh:mm:ss");
    time_->setTickCount(4);
    pressureAxis_->setLabelsColor(kPressure);
    temperatureAxis_->setLabelsColor(kTemperature);
    for (auto* axis : {pressureAxis_, temperatureAxis_}) {
        axis->setTickCount(5);
        axis->setLabelFormat("%.6g");
    }
    chart->addAxis(time_, Qt::AlignBottom);
    chart->addAxis(pressureAxis_, Qt::AlignLeft);
    chart->addAxis(temperatureAxis_, Qt::AlignRight);
    pressure_->attachAxis(time_);
    pressure_->attachAxis(pressureAxis_);
    temperature_->attachAxis(time_);
    temperature_->attachAxis(temperatureAxis_);

    setChart(chart);
    setRenderHint(QPainter::Antialiasing);
    setMinimumHeight(190);
    SetUnits({}, {});
}

void TTrendChart::SetUnits(const QString& pressure, const QString& temperature) {
    pressure_->setName(pressure.isEmpty() ? QString("Pressure") : "Pressure [" + pressure + "]");
    temperature_->setName(temperature.isEmpty() ? QString("Temperature") : "Temperature [" + temperature + "]");
}

void TTrendChart::Draw(const tessary::device::TrendBuffer& trend) {
    QList<QPointF> p, t;
    p.reserve(static_cast<qsizetype>(trend.Points().size()));
    t.reserve(static_cast<qsizetype>(trend.Points().size()));
    for (const auto& point : trend.Points()) {
        const double ms = point.t * 1000.0;
        p.append({ms, point.pressure});
        t.append({ms, point.temperature});
    }
    pressure_->replace(p);
    temperature_->replace(t);
    // At least half a minute wide, so the tick labels stay whole seconds; a young
    // trend grows in from the right like a strip chart.
    const double newest = trend.Points().empty() ? static_cast<double>(QDateTime::currentSecsSinceEpoch())
                                                 : trend.Points().back().t;
    const double first = trend.Points().empty() ? newest : trend.Points().front().t;
    const double oldest = std::min(first, newest - kMinSpanSeconds);
    time_->setRange(QDateTime::fromMSecsSinceEpoch(static_cast<qint64>(oldest * 1000.0)),
                    QDateTime::fromMSecsSinceEpoch(static_cast<qint64>(newest * 1000.0)));
    const auto pr = trend.PressureRange();
    const auto tr = trend.TemperatureRange();
    pressureAxis_->setRange(pr.lo, pr.hi);
    temperatureAxis_->setRange(tr.lo, tr.hi);
}

int TTrendChart::PointCount() const { return static_cast<int>(pressure_->count()); }
