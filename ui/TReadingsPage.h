#pragma once
// The "Readings" page: the four transducer panels and the switch of their loop.

#include "app/Session.h"
#include "device/ReadingsPublisher.h"

#include <QWidget>
#include <functional>
#include <memory>

namespace Ui {
class TReadingsPage;
}
class LineRunner;
class TReadingsPanel;

class TReadingsPage : public QWidget {
    Q_OBJECT
public:
    TReadingsPage(tessary::app::Session& session, LineRunner& runner, QWidget* parent = nullptr);
    ~TReadingsPage() override;

    // Captions and units from the line's copy.
    void Refresh(const tessary::app::ConnectionCopy& shown);
    // Starts the loop on the line when the switch went on, asks it to stop when
    // off; returns at once.
    void btGetReadingsChange(bool on);
    // Set by the main window: the publisher a loop starting now hands its readings to, or null.
    std::function<std::shared_ptr<tessary::device::ReadingsPublisher>()> publisher;

    TReadingsPanel* Panel(int index) const;  // 0..3
    Ui::TReadingsPage* Form() const { return ui.get(); }

private:
    std::unique_ptr<Ui::TReadingsPage> ui;
    tessary::app::Session& session_;
    LineRunner& runner_;
};
