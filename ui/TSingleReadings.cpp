#include "ui/TSingleReadings.h"

#include "device/Readings.h"
#include "ui/LineRunner.h"
#include "ui/OnWindow.h"
#include "ui/QtOperator.h"
#include "ui/TReadingsPanel.h"
#include "ui_TSingleReadings.h"

#include <QSignalBlocker>

TSingleReadings::TSingleReadings(tessary::app::Session& session, LineRunner& runner, QWidget* parent)
    : QWidget(parent), ui(std::make_unique<Ui::TSingleReadings>()), session_(session), runner_(runner) {
    ui->setupUi(this);
    // Room for the longer caption, so the switch does not jump when it changes.
    ui->lbEZGetReadings->setMinimumWidth(ui->lbEZGetReadings->fontMetrics().horizontalAdvance(tessary::device::kGetReadingsCaption));
    ui->GroupBox5->SetNumber(5);
    connect(ui->btEZGetReadings, &TLedSwitch::toggled, this, &TSingleReadings::btEZGetReadingsChange);
    ui->btEZGetReadings->setProperty("startsLineOperation", true);
    ui->btEZGetReadings->setProperty("runsInsideLoops", true);
    Refresh(tessary::app::ConnectionCopy{});
}

TSingleReadings::~TSingleReadings() = default;

TReadingsPanel* TSingleReadings::Panel() const { return ui->GroupBox5; }

void TSingleReadings::Refresh(const tessary::app::ConnectionCopy& st) {
    const std::string& address = st.CurrentAddress;
    // The panel follows the selected address; "#00" selects no box.
    const bool box = !address.empty() && address != "#00";
    ui->GroupBox5->SetSlotCaption(box ? address + "    " + st.Info.SerialNumber : std::string());
    ui->GroupBox5->SetUnits(st.Info.PUnits, st.Info.TUnits);
    ui->lbEZGetReadings->setText(Q(st.EZGetReadingsLabel));
}

void TSingleReadings::btEZGetReadingsChange(bool on) {
    if (hideInPlaceEditors) hideInPlaceEditors();
    // Switched on it is the loop's stop, and stays enabled.
    ui->btEZGetReadings->setProperty("startsLineOperation", !on);
    // Held by the loop while it runs.
    auto job = [this, on, out = on && publisher ? publisher() : nullptr] {
        const bool run = tessary::device::SwitchSinglePolling(session_, on);
        session_.Op().ShowState();  // the label says what the switch did
        if (!run) return;
        tessary::device::PollSingle(session_, *ui->GroupBox5, out.get());
        // A loop that ended by itself (the adapter came back with another box) turns its switch off.
        if (!tessary::device::SinglePollingStopped(session_)) return;
        PostToWindow(this, [this] {
            const QSignalBlocker quiet(ui->btEZGetReadings);
            ui->btEZGetReadings->setChecked(false);
            ui->btEZGetReadings->setProperty("startsLineOperation", true);
        });
    };
    if (on)
        runner_.Run(job, true);
    else
        runner_.Request(job);
}
