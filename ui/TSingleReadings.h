#pragma once
// The single-device panel of the EZCommands page (GroupBox5) and its switch:
// live readings of the box at CurrentAddress.

#include "app/Session.h"
#include "device/ReadingsPublisher.h"

#include <QWidget>
#include <functional>
#include <memory>

namespace Ui {
class TSingleReadings;
}
class LineRunner;
class TReadingsPanel;

class TSingleReadings : public QWidget {
    Q_OBJECT
public:
    TSingleReadings(tessary::app::Session& session, LineRunner& runner, QWidget* parent = nullptr);
    ~TSingleReadings() override;

    // Set by the main window.
    std::function<void()> hideInPlaceEditors;

    // Caption and units from the line's copy.
    void Refresh(const tessary::app::ConnectionCopy& shown);
    // Starts the loop on the line when the switch went on, asks it to stop when
    // off; returns at once.
    void btEZGetReadingsChange(bool on);
    // Set by the main window: the publisher a loop starting now hands its readings to, or null.
    std::function<std::shared_ptr<tessary::device::ReadingsPublisher>()> publisher;

    TReadingsPanel* Panel() const;
    Ui::TSingleReadings* Form() const { return ui.get(); }

private:
    std::unique_ptr<Ui::TSingleReadings> ui;
    tessary::app::Session& session_;
    LineRunner& runner_;
};
