#include "ui/TForm1.h"

#include "device/DeviceInfo.h"
#include "ui/HelpWindow.h"
#include "ui/QtOperator.h"
#include "ui/TCoefficientsPage.h"
#include "ui/TDevicePanels.h"
#include "ui/TNewConnectDlg.h"
#include "ui/TOKBottomDlg.h"
#include "ui/TReadingsPage.h"
#include "ui/TSingleReadings.h"
#include "ui_TForm1.h"

#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QFileInfo>
#include <QKeyEvent>
#include <QLabel>
#include <QLocale>
#include <QStatusBar>
#include <QVBoxLayout>

using tessary::link::ExchangeOutcome;

TForm1::TForm1(tessary::app::Session& session, TOKBottomDlg& messageBox, QWidget* parent)
    : QMainWindow(parent),
      ui(std::make_unique<Ui::TForm1>()),
      session_(session),
      messageBox_(messageBox),
      help_(new HelpWindow(this)),
      portStatus_(new QLabel(this)),
      slotStatus_(new QLabel(this)) {
    ui->setupUi(this);
    session_.SetReadDeviceInfo(&tessary::device::ReadDeviceInfo);
    portStatus_->setObjectName("lbPortStatus");
    portStatus_->setAccessibleName("Port");
    slotStatus_->setObjectName("lbSlots");
    slotStatus_->setAccessibleName("Transducer slots");
    statusBar()->addPermanentWidget(slotStatus_);
    statusBar()->addPermanentWidget(portStatus_);
    ui->btNewConnect->setEnabled(false);  // until the connect dialog exists
    connect(ui->btNewConnect, &QPushButton::clicked, this, &TForm1::btNewConnectClick);
    addAction(ui->actQuit);  // Ctrl+Q without a menu of its own
    connect(ui->actQuit, &QAction::triggered, this, &QWidget::close);
    connect(ui->Help1, &QAction::triggered, this, &TForm1::Help1Click);
    connect(ui->PageControl1, &QTabWidget::currentChanged, this, [this](int index) {
        if (lastTab_ == ui->PageControl1->indexOf(ui->TabSheet2) && index != lastTab_) TabSheet2Exit();
        lastTab_ = index;
    });
    ui->OutPutEditBox->installEventFilter(this);
    qApp->installEventFilter(this);

    devicePanels_ = new TDevicePanels(session_, ui->TabSheet2);
    ui->ezLayout->addWidget(devicePanels_, 0, 0, 3, 1);
    devicePanels_->hideInPlaceEditors = [this] { HideInPlaceEditors(); };
    devicePanels_->afterChange = [this] { RefreshDevicePanels(); };
    coefficientsPage_ = new TCoefficientsPage(ui->TabSheet4);
    (new QVBoxLayout(ui->TabSheet4))->addWidget(coefficientsPage_);
    readingsPage_ = new TReadingsPage(session_, ui->TabSheet1);
    (new QVBoxLayout(ui->TabSheet1))->addWidget(readingsPage_);
    singleReadings_ = new TSingleReadings(session_, ui->TabSheet2);
    ui->ezLayout->addWidget(singleReadings_, 2, 1);  // the spacer's cell; it keeps its own stretch
    singleReadings_->hideInPlaceEditors = [this] { HideInPlaceEditors(); };
    if (auto* op = dynamic_cast<QtOperator*>(&session_.Op())) {
        op->onShowState = [this] { RefreshDevicePanels(); };
        op->onNewConnectDlg = [this] { btNewConnectClick(); };
    }
    FormCreate();
}

TForm1::~TForm1() {
    if (auto* op = dynamic_cast<QtOperator*>(&session_.Op())) {
        op->onShowState = nullptr;
        op->onNewConnectDlg = nullptr;
    }
    qApp->removeEventFilter(this);
}

void TForm1::RefreshDevicePanels() {
    auto& st = session_.State();
    devicePanels_->Refresh();
    coefficientsPage_->Refresh(st);
    readingsPage_->Refresh();
    singleReadings_->Refresh();
    if (st.CommandLineText) {
        ui->OutPutEditBox->setText(Q(*st.CommandLineText));
        st.CommandLineText.reset();
    }
    UpdatePortStatus();
    devicePanels_->repaint();
}

void TForm1::FormCreate() { session_.FormCreate(); }

void TForm1::FormShow() {
    session_.FormShow();
    const auto& st = session_.State();
    ui->lbINI->setText("Using " + Q(tessary::app::ShownText(st.IniFilePath)));
    const QFileInfo exe(QCoreApplication::applicationFilePath());
    const QDateTime when = exe.lastModified();
    const QLocale locale = QLocale::system();
    // The C locale's short date ("5 Dec 2026") holds blanks, and the label keeps
    // only the text up to the first one: use the ISO date there.
    QString text = locale.language() == QLocale::C ? when.date().toString(Qt::ISODate)
                                                   : locale.toString(when.date(), QLocale::ShortFormat);
    if (when.time() != QTime(0, 0, 0)) text += " " + locale.toString(when.time(), QLocale::LongFormat);
    ui->lbVerDate->setText(Q(tessary::app::VersionDateText(S(text))));
    UpdatePortStatus();
}

void TForm1::UpdatePortStatus() {
    auto& link = session_.Link();
    const std::string name = link.LinkPortName();
    QString text = Q(tessary::app::ShownText(name)) + "  " + QString::number(link.LinkBaudRate()) + " baud";
    if (!link.IsOpen()) text += "  (not open)";
    if (!lineHint_.isEmpty()) text = lineHint_ + "  " + text;
    portStatus_->setText(text);
    QString tip = Q(tessary::app::ShownText(session_.Ports().Describe(name)));
    const auto status = link.LastOpenStatus();
    if (!link.IsOpen() && !status.text.empty()) tip += "\nNot open: " + Q(tessary::app::ShownText(status.text));
    portStatus_->setToolTip(tip);
}

void TForm1::SetConnectDialog(TNewConnectDlg* dialog) {
    connectDlg_ = dialog;
    ui->btNewConnect->setEnabled(dialog != nullptr);
    if (dialog) connect(dialog, &TNewConnectDlg::connectFinished, this, &TForm1::RefreshConnection);
}

void TForm1::btNewConnectClick() {
    if (!connectDlg_ || connectDlg_->Busy()) return;
    auto& connector = connectDlg_->Connect();
    connector.BeginNewConnect();
    HideInPlaceEditors();
    connectDlg_->PrepareForSearch();
    connectDlg_->exec();
    QApplication::setOverrideCursor(Qt::WaitCursor);
    connector.FinishNewConnect();
    QApplication::restoreOverrideCursor();
    RefreshConnection();
}

void TForm1::RefreshConnection() {
    const auto& st = session_.State();
    QStringList shown, tip;
    for (std::size_t k = 0; k < st.TransducerCaption.size(); ++k) {
        const bool filled = st.TransducerCaption[k] != tessary::app::kNoConnect && !st.TransducerCaption[k].empty();
        shown << (filled ? Q(st.TransducerAddress[k]) : QString("-"));
        tip << QString("%1: %2  ->  %3").arg(k + 1).arg(Q(tessary::app::ShownText(st.TransducerCaption[k])), Q(tessary::app::ShownText(st.CapturePath[k])));
    }
    slotStatus_->setText("Slots: " + shown.join(' '));
    slotStatus_->setToolTip(tip.join('\n'));
    UpdatePortStatus();
    RefreshDevicePanels();
}

void TForm1::SetLineHint(const QString& hint) {
    lineHint_ = hint;
    setWindowTitle(hint.isEmpty() ? QString("Veltrona Tessary") : "Veltrona Tessary - " + hint);
    UpdatePortStatus();
}

void TForm1::ShowLinkStatus() {
    const auto outcome = session_.Link().LastOutcome();
    if (outcome == ExchangeOutcome::Line || outcome == ExchangeOutcome::Broadcast)
        statusBar()->clearMessage();
    else
        statusBar()->showMessage(Q(tessary::link::ReplyStatusText({std::string(), outcome, false})));
    UpdatePortStatus();
}

bool TForm1::OutPutEditBoxKeyPress(int key) {
    if (key == Qt::Key_Up || key == Qt::Key_Down) {
        if (history_.empty()) return true;
        if (key == Qt::Key_Up && historyPos_ > 0) --historyPos_;
        if (key == Qt::Key_Down && historyPos_ < history_.size()) ++historyPos_;
        ui->OutPutEditBox->setText(historyPos_ < history_.size() ? history_[historyPos_] : QString());
        return true;
    }
    if (key != Qt::Key_Return && key != Qt::Key_Enter) return false;
    const QString typed = ui->OutPutEditBox->text();
    if (!typed.isEmpty() && (history_.empty() || history_.back() != typed)) history_.push_back(typed);
    historyPos_ = history_.size();
    QApplication::setOverrideCursor(Qt::WaitCursor);
    const std::string reply = session_.ConsoleCommand(S(typed));
    QApplication::restoreOverrideCursor();
    ui->ResponseEditBox->setText(Q(reply));
    ShowLinkStatus();
    return true;  // the typed text stays, so Enter repeats it
}

void TForm1::OutPutEditBoxEnter() { HideInPlaceEditors(); }
void TForm1::TabSheet2Exit() { HideInPlaceEditors(); }

void TForm1::HideInPlaceEditors() {
    // In-place editors mark themselves with the "inPlaceEditor" property.
    for (QComboBox* box : findChildren<QComboBox*>()) {
        if (box->property("inPlaceEditor").toBool()) box->hide();
    }
}

void TForm1::Help1Click() {
    // As if F1 had been pressed in the focused control.
    help_->ShowTopic(HelpWindow::TopicFor(QApplication::focusWidget()));
}

void TForm1::ShowMessageBox(const QString& text) { messageBox_.ShowMessage(text); }

bool TForm1::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::KeyPress) {
        auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() == Qt::Key_F1 && key->modifiers() == Qt::NoModifier) {
            Help1Click();
            return true;
        }
        if (watched == ui->OutPutEditBox) return OutPutEditBoxKeyPress(key->key());
    } else if (event->type() == QEvent::FocusIn && watched == ui->OutPutEditBox) {
        OutPutEditBoxEnter();
    }
    return QMainWindow::eventFilter(watched, event);
}

void TForm1::FormClose() {
    if (session_.Closed()) return;
    session_.FormClose();
    hide();
    help_->close();
}

void TForm1::closeEvent(QCloseEvent* event) {
    FormClose();
    event->accept();
}
