#pragma once
// A panel's trend: pressure (left axis) and temperature (right axis) over the
// last minutes, on a clock-time axis of its own. Draws a TrendBuffer; it never
// asks the box for anything.

#include "device/Trend.h"

#include <QChartView>

class QDateTimeAxis;
class QLineSeries;
class QValueAxis;

class TTrendChart : public QChartView {
    Q_OBJECT
public:
    explicit TTrendChart(QWidget* parent = nullptr);
    void SetUnits(const QString& pressure, const QString& temperature);
    // Redraws from `trend` (times in seconds since the epoch).
    void Draw(const tessary::device::TrendBuffer& trend);
    int PointCount() const;

private:
    QLineSeries* pressure_;
    QLineSeries* temperature_;
    QDateTimeAxis* time_;
    QValueAxis* pressureAxis_;
    QValueAxis* temperatureAxis_;
};
