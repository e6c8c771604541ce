#include "ui/TTrafficWindow.h"

#include "ui/LineRunner.h"
#include "ui/QtOperator.h"

#include <QCheckBox>
#include <QFontDatabase>
#include <QHBoxLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTimer>
#include <QVBoxLayout>

TTrafficWindow::TTrafficWindow(tessary::link::DeviceLink& link, LineRunner& runner, QWidget* parent)
    : QDialog(parent),
      link_(link),
      runner_(runner),
      spAddress_(new QSpinBox(this)),
      cbPause_(new QCheckBox("Pause", this)),
      edTraffic_(new QPlainTextEdit(this)),
      timer_(new QTimer(this)) {
    setObjectName("TrafficWindow");
    setWindowTitle("Traffic");
    setProperty("helpTopic", 40);
    resize(760, 420);
    spAddress_->setObjectName("spAddress");
    spAddress_->setRange(0, 99);
    spAddress_->setSpecialValueText("All");
    spAddress_->setPrefix("#");
    spAddress_->setAccessibleName("Address");
    cbPause_->setObjectName("cbPause");
    cbPause_->setAccessibleName("Pause");
    auto* clear = new QPushButton("Clear", this);
    clear->setObjectName("btClear");
    clear->setAccessibleName("Clear");
    edTraffic_->setObjectName("edTraffic");
    edTraffic_->setAccessibleName("Traffic");
    edTraffic_->setReadOnly(true);
    edTraffic_->setLineWrapMode(QPlainTextEdit::NoWrap);
    edTraffic_->setMaximumBlockCount(static_cast<int>(log_->Capacity()));
    edTraffic_->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));

    auto* bar = new QHBoxLayout;
    bar->addWidget(new QLabel("Address", this));
    bar->addWidget(spAddress_);
    bar->addWidget(cbPause_);
    bar->addStretch();
    bar->addWidget(clear);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(bar);
    layout->addWidget(edTraffic_);

    timer_->setInterval(200);
    connect(timer_, &QTimer::timeout, this, &TTrafficWindow::Tick);
    connect(spAddress_, &QSpinBox::valueChanged, this, &TTrafficWindow::Rerender);
    connect(cbPause_, &QCheckBox::toggled, this, [this] { Tick(); });
    connect(clear, &QPushButton::clicked, this, [this] {
        cleared_ = shown_ = log_->LastSeq();
        edTraffic_->clear();
    });
    // Both requests run on the line, in order: the id is only touched there.
    runner_.Request([&link = link_, log = log_, id = subscription_] {
        *id = link.AddTrafficObserver([log](const tessary::link::TrafficRecord& r) { log->Push(r); });
    });
}

TTrafficWindow::~TTrafficWindow() {
    runner_.Request([&link = link_, id = subscription_] { link.RemoveTrafficObserver(*id); });
}

void TTrafficWindow::Tick() {
    if (!cbPause_->isChecked()) Take();
}

void TTrafficWindow::Take() {
    const int address = spAddress_->value();
    QStringList lines;
    for (const auto& e : log_->After(shown_)) {
        shown_ = e.seq;
        if (address == 0 || e.address == address) lines << Q(e.text);
    }
    if (!lines.isEmpty()) edTraffic_->appendPlainText(lines.join('\n'));
}

void TTrafficWindow::Rerender() {
    edTraffic_->clear();
    shown_ = cleared_;
    Take();
}

void TTrafficWindow::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    Rerender();
    timer_->start();
}

void TTrafficWindow::hideEvent(QHideEvent* event) {
    timer_->stop();
    QDialog::hideEvent(event);
}
