#pragma once
// One readings panel: five digital displays (time, pressure counts, temperature
// counts, pressure, temperature) with their unit labels, and a trend chart
// opened by a small button. Panels 1 to 4 sit on the Readings page, panel 5 is
// the single-device panel.

#include "device/Readings.h"
#include "device/Trend.h"

#include <QGroupBox>
#include <array>

class QLabel;
class QToolButton;
class TDigitalDisplay;
class TTrendChart;

class TReadingsPanel : public QGroupBox, public tessary::device::ReadingsView {
    Q_OBJECT
public:
    explicit TReadingsPanel(QWidget* parent = nullptr);

    // Names the children after the panel's number (VrTime1, lbPUnits1, ...;
    // panel 5: VrTime5 and lbPUnits/lbTUnits).
    void SetNumber(int number);
    void SetUnits(const std::string& pressure, const std::string& temperature);
    // The caption from the transducer slot; a slot with another address starts a new trend.
    void SetSlotCaption(const std::string& caption);

    void ShowReading(const tessary::device::Reading& reading) override;
    void ClearReadings() override;
    void ShowCaption(const std::string& caption) override;

    // 0 time, 1 pressure counts, 2 temperature counts, 3 pressure, 4 temperature.
    TDigitalDisplay* Display(int index) const { return displays_[static_cast<std::size_t>(index)]; }
    QToolButton* TrendButton() const { return trendButton_; }
    TTrendChart* Trend() const { return chart_; }  // null until first opened
    const tessary::device::TrendBuffer& TrendData() const { return trend_; }
    void ShowTrend(bool on);

private:
    void Show(const tessary::device::Reading& reading, double now);

    std::array<TDigitalDisplay*, 5> displays_{};
    QLabel* pressUnits_;
    QLabel* tempUnits_;
    QToolButton* trendButton_;
    TTrendChart* chart_ = nullptr;
    tessary::device::TrendBuffer trend_;
    std::string address_;
};
