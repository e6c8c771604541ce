#include "ui/TReadingsPage.h"

#include "device/Readings.h"
#include "ui/LineRunner.h"
#include "ui/OnWindow.h"
#include "ui/QtOperator.h"
#include "ui/TReadingsPanel.h"
#include "ui_TReadingsPage.h"

#include <QSignalBlocker>

TReadingsPage::TReadingsPage(tessary::app::Session& session, LineRunner& runner, QWidget* parent)
    : QWidget(parent), ui(std::make_unique<Ui::TReadingsPage>()), session_(session), runner_(runner) {
    ui->setupUi(this);
    // Room for the longer caption, so the switch does not jump when it changes.
    ui->lbGetReadings->setMinimumWidth(ui->lbGetReadings->fontMetrics().horizontalAdvance(tessary::device::kGetReadingsCaption));
    for (int k = 0; k < 4; ++k) Panel(k)->SetNumber(k + 1);
    connect(ui->btGetReadings, &TLedSwitch::toggled, this, &TReadingsPage::btGetReadingsChange);
    ui->btGetReadings->setProperty("startsLineOperation", true);
    ui->btGetReadings->setProperty("runsInsideLoops", true);
    Refresh(tessary::app::ConnectionCopy{});
}

TReadingsPage::~TReadingsPage() = default;

TReadingsPanel* TReadingsPage::Panel(int index) const {
    TReadingsPanel* const panels[4] = {ui->GroupBox1, ui->GroupBox2, ui->GroupBox3, ui->GroupBox4};
    return panels[index];
}

void TReadingsPage::Refresh(const tessary::app::ConnectionCopy& st) {
    for (std::size_t k = 0; k < 4; ++k) {
        TReadingsPanel* panel = Panel(static_cast<int>(k));
        panel->SetSlotCaption(st.TransducerCaption[k]);
        panel->SetUnits(st.Info.PanelPUnits[k], st.Info.PanelTUnits[k]);
    }
    ui->lbGetReadings->setText(Q(st.GetReadingsLabel));
}

void TReadingsPage::btGetReadingsChange(bool on) {
    // Switched on it is the loop's stop, and stays enabled.
    ui->btGetReadings->setProperty("startsLineOperation", !on);
    // Held by the loop while it runs.
    auto job = [this, on, out = on && publisher ? publisher() : nullptr] {
        const bool run = tessary::device::SwitchPanelPolling(session_, on);
        session_.Op().ShowState();  // the label says what the switch did
        if (!run) return;
        tessary::device::PollPanels(session_, {Panel(0), Panel(1), Panel(2), Panel(3)}, out.get());
        // A loop that ended by itself (the adapter came back with another box) turns its switch off.
        if (!tessary::device::PanelPollingStopped(session_)) return;
        PostToWindow(this, [this] {
            const QSignalBlocker quiet(ui->btGetReadings);
            ui->btGetReadings->setChecked(false);
            ui->btGetReadings->setProperty("startsLineOperation", true);
        });
    };
    if (on)
        runner_.Run(job, true);
    else
        runner_.Request(job);
}
