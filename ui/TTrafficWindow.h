#pragma once
// Every exchange of every thread as it happens: time, port, command, answer and
// why a "NoConnect" came. Fed by the link's traffic observer into a bounded
// log; the window reads it on a timer, so the line never waits for a widget.
// The window never calls into the link: it subscribes and unsubscribes by a
// request to the line, and the log is shared with the observer it hands over.

#include "capture/TrafficLog.h"

#include <QDialog>
#include <memory>

class LineRunner;
class QCheckBox;
class QPlainTextEdit;
class QSpinBox;
class QTimer;

class TTrafficWindow : public QDialog {
    Q_OBJECT
public:
    TTrafficWindow(tessary::link::DeviceLink& link, LineRunner& runner, QWidget* parent = nullptr);
    ~TTrafficWindow() override;
    // Takes the new exchanges into the view (the timer calls it).
    void Tick();
    tessary::capture::TrafficLog& Log() { return *log_; }

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    void Take();
    void Rerender();

    tessary::link::DeviceLink& link_;
    LineRunner& runner_;
    std::shared_ptr<tessary::capture::TrafficLog> log_ = std::make_shared<tessary::capture::TrafficLog>();
    std::shared_ptr<tessary::link::DeviceLink::ObserverId> subscription_ = std::make_shared<tessary::link::DeviceLink::ObserverId>(0);
    QSpinBox* spAddress_;
    QCheckBox* cbPause_;
    QPlainTextEdit* edTraffic_;
    QTimer* timer_;
    std::uint64_t shown_ = 0;    // newest entry taken into the view
    std::uint64_t cleared_ = 0;  // entries up to this one were cleared away
};
