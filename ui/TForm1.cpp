#include "ui/TForm1.h"

#include "device/DeviceInfo.h"
#include "link/AdapterWatch.h"
#include "ui/FilePaths.h"
#include "ui/HelpWindow.h"
#include "ui/LabelAccessible.h"
#include "ui/LineRunner.h"
#include "ui/OnWindow.h"
#include "ui/QtSettingsView.h"
#include "ui/QtOperator.h"
#include "ui/TCapturePage.h"
#include "ui/TCoefficientsPage.h"
#include "ui/TDevicePanels.h"
#include "ui/TFirmwarePage.h"
#include "ui/TNewConnectDlg.h"
#include "ui/TOKBottomDlg.h"
#include "ui/TReadingsPage.h"
#include "ui/TSingleReadings.h"
#include "ui/TTrafficWindow.h"
#include "ui_TForm1.h"

#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QDialog>
#include <QFileInfo>
#include <QKeyEvent>
#include <QLabel>
#include <QLocale>
#include <QStatusBar>
#include <QVBoxLayout>

#include <cstdio>

using tessary::link::ExchangeOutcome;

TForm1::TForm1(tessary::app::Session& session, TOKBottomDlg& messageBox, LineRunner& runner,
               QtSettingsView& settings, QWidget* parent)
    : QMainWindow(parent),
      ui(std::make_unique<Ui::TForm1>()),
      session_(session),
      messageBox_(messageBox),
      runner_(runner),
      settings_(settings),
      help_(new HelpWindow(this)),
      portStatus_(new QLabel(this)),
      slotStatus_(new QLabel(this)) {
    InstallLabelAccessibility();
    ui->setupUi(this);
    portStatus_->setObjectName("lbPortStatus");
    portStatus_->setAccessibleDescription("Port");
    slotStatus_->setObjectName("lbSlots");
    slotStatus_->setAccessibleDescription("Transducer slots");
    statusBar()->addPermanentWidget(slotStatus_);
    statusBar()->addPermanentWidget(portStatus_);
    ui->btNewConnect->setEnabled(false);  // until the connect dialog exists
    connect(ui->btNewConnect, &QPushButton::clicked, this, &TForm1::btNewConnectClick);
    ui->btNewConnect->setProperty("startsLineOperation", true);
    addAction(ui->actQuit);  // Ctrl+Q without a menu of its own
    connect(ui->actQuit, &QAction::triggered, this, &QWidget::close);
    connect(ui->Help1, &QAction::triggered, this, &TForm1::Help1Click);
    connect(ui->PageControl1, &QTabWidget::currentChanged, this, [this](int index) {
        if (lastTab_ == ui->PageControl1->indexOf(ui->TabSheet2) && index != lastTab_) TabSheet2Exit();
        lastTab_ = index;
    });
    ui->OutPutEditBox->installEventFilter(this);
    qApp->installEventFilter(this);

    devicePanels_ = new TDevicePanels(session_, settings_, runner_, ui->TabSheet2);
    ui->ezLayout->addWidget(devicePanels_, 0, 0, 3, 1);
    devicePanels_->hideInPlaceEditors = [this] { HideInPlaceEditors(); };
    coefficientsPage_ = new TCoefficientsPage(session_, settings_, ui->TabSheet4);
    (new QVBoxLayout(ui->TabSheet4))->addWidget(coefficientsPage_);
    readingsPage_ = new TReadingsPage(session_, runner_, ui->TabSheet1);
    (new QVBoxLayout(ui->TabSheet1))->addWidget(readingsPage_);
    singleReadings_ = new TSingleReadings(session_, runner_, ui->TabSheet2);
    ui->ezLayout->addWidget(singleReadings_, 2, 1);  // the spacer's cell; it keeps its own stretch
    singleReadings_->hideInPlaceEditors = [this] { HideInPlaceEditors(); };
    firmwarePage_ = new TFirmwarePage(session_, ui->TabSheet3);
    (new QVBoxLayout(ui->TabSheet3))->addWidget(firmwarePage_);
    firmwarePage_->hideInPlaceEditors = [this] { HideInPlaceEditors(); };
    coefficientsPage_->runOnLine = [this](std::function<void()> job) { RunOnLine(std::move(job)); };
    firmwarePage_->runOnLine = [this](std::function<void()> job) { RunOnLine(std::move(job)); };
    runner_.afterOperation = [this] { RefreshConnection(); };
    dialogCloser_.setInterval(20);
    connect(&dialogCloser_, &QTimer::timeout, this, &TForm1::CloseDialogs);
    capturePage_ = new TCapturePage(session_, ui->lbDataCapture, ui->tsCapture);
    (new QVBoxLayout(ui->tsCapture))->addWidget(capturePage_);
    capturePage_->hideInPlaceEditors = [this] { HideInPlaceEditors(); };
    trafficWindow_ = new TTrafficWindow(session_.Link(), this);
    auto* traffic = new QAction("Traffic", this);
    traffic->setObjectName("Traffic1");
    ui->MainMenu1->insertAction(ui->Help1, traffic);
    connect(traffic, &QAction::triggered, trafficWindow_, &QWidget::show);
    // From any thread, perhaps with the link held: only posted.
    session_.Watch().SetStatusSink([this](const std::string& text) {
        PostToWindow(this, [this, shown = Q(tessary::app::ShownText(text))] {
            statusBar()->showMessage(shown);
            UpdatePortStatus();
        });
    });
    FormCreate();
}

TForm1::~TForm1() {
    session_.Watch().SetStatusSink({});
    runner_.afterOperation = nullptr;
    qApp->removeEventFilter(this);
}

void TForm1::RunOnLine(std::function<void()> job) { runner_.Run(std::move(job)); }

void TForm1::RequestOnLine(std::function<void()> request) { runner_.Request(std::move(request)); }

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
    ui->lbINI->setText("Using " + PathText(tessary::app::ShownText(st.IniFilePath)));
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
    auto& link = session_.Link();
    const std::string refusal =
        tessary::link::OpenRefusalNotice(link.LinkPortName(), link.DevicePath(), link.LastOpenStatus());
    if (!refusal.empty()) statusBar()->showMessage(Q(tessary::app::ShownText(refusal)));
}

void TForm1::UpdatePortStatus() {
    auto& link = session_.Link();
    const std::string name = link.LinkPortName();
    QString text = Q(tessary::app::ShownText(name)) + "  " + QString::number(link.LinkBaudRate()) + " baud";
    if (session_.Watch().Unplugged())
        text += "  (unplugged)";
    else if (!link.IsOpen())
        text += "  (not open)";
    if (!lineHint_.isEmpty()) text = lineHint_ + "  " + text;
    portStatus_->setText(text);
    QString tip = NoticeText(tessary::app::ShownText(tessary::link::DescribePort(session_.Ports(), name)));
    const auto status = link.LastOpenStatus();
    const std::string refusal = tessary::link::OpenRefusalNotice(name, link.DevicePath(), status);
    if (!link.IsOpen() && !status.text.empty())
        tip += "\nNot open: " + Q(tessary::app::ShownText(refusal.empty() ? status.text : refusal));
    if (link.IsOpen()) {
        const std::string note = tessary::link::LatencyNote(tessary::link::DescribeAdapter(link.DevicePath()));
        if (!note.empty()) tip += "\n" + Q(note);
    }
    portStatus_->setToolTip(tip);
}

void TForm1::SetConnectDialog(TNewConnectDlg* dialog) {
    connectDlg_ = dialog;
    ui->btNewConnect->setEnabled(dialog != nullptr);
    if (!dialog) return;
    dialog->runOnLine = [this](std::function<void()> job) { RunOnLine(std::move(job)); };
    connect(dialog, &TNewConnectDlg::connectFinished, this, &TForm1::RefreshConnection);
    connect(dialog, &QDialog::finished, this, &TForm1::NewConnectFinished);
}

void TForm1::btNewConnectClick() {
    if (!connectDlg_ || connectDlg_->Busy() || modalConnect_ || closing_) return;
    HideInPlaceEditors();
    // Ahead of the search, without holding the dialog's Connect back.
    RequestOnLine([this] { connectDlg_->Connect().BeginNewConnect(); });
    connectDlg_->PrepareForSearch();
    // Modal without a nested event loop: the rest follows when it finishes.
    modalConnect_ = true;
    connectDlg_->hide();
    connectDlg_->setWindowModality(Qt::ApplicationModal);
    connectDlg_->show();
}

void TForm1::ShowConnectDialog() {
    if (!connectDlg_ || connectDlg_->Busy() || modalConnect_ || closing_) return;
    connectDlg_->hide();
    connectDlg_->setWindowModality(Qt::ApplicationModal);
    connectDlg_->show();
}

void TForm1::NewConnectFinished() {
    connectDlg_->setWindowModality(Qt::NonModal);
    if (!modalConnect_) return;
    modalConnect_ = false;
    RunOnLine([this] {
        tessary::app::BusyCursor busy(session_.Op());
        connectDlg_->Connect().FinishNewConnect();
    });
}

void TForm1::RefreshConnection() {
    const auto& st = session_.State();
    QStringList shown, tip;
    for (std::size_t k = 0; k < st.TransducerCaption.size(); ++k) {
        const bool filled = st.TransducerCaption[k] != tessary::app::kNoConnect && !st.TransducerCaption[k].empty();
        shown << (filled ? Q(st.TransducerAddress[k]) : QString("-"));
        tip << QString("%1: %2  ->  %3").arg(k + 1).arg(Q(tessary::app::ShownText(st.TransducerCaption[k])), PathText(tessary::app::ShownText(st.CapturePath[k])));
    }
    slotStatus_->setText("Slots: " + shown.join(' '));
    slotStatus_->setToolTip(tip.join('\n'));
    capturePage_->Refresh();
    UpdatePortStatus();
    RefreshDevicePanels();
}

void TForm1::SetLineHint(const QString& hint) {
    lineHint_ = hint;
    setWindowTitle(hint.isEmpty() ? QString("Veltrona Tessary") : "Veltrona Tessary - " + hint);
    UpdatePortStatus();
}

void TForm1::ShowLinkStatus(const tessary::link::Reply& reply) {
    const std::string text = tessary::link::ReplyStatusText(reply);
    if (text.empty())
        statusBar()->clearMessage();
    else
        statusBar()->showMessage(Q(text));
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
    // The edit keeps its focus and text while the line works; Enter waits its turn
    // (a readings loop lets it in between two of its exchanges).
    if (!runner_.MayStart(true)) return true;
    const QString typed = ui->OutPutEditBox->text();
    if (!typed.isEmpty() && (history_.empty() || history_.back() != typed)) history_.push_back(typed);
    historyPos_ = history_.size();
    RunOnLine([this, command = S(typed)] {
        const auto answer = [&] {
            tessary::app::BusyCursor busy(session_.Op());
            return session_.ConsoleCommand(command);
        }();
        // Waits: the status bar reads the port's state, which the line holds during an exchange.
        OnWindow([&] {
            ui->ResponseEditBox->setText(Q(answer.text));
            ShowLinkStatus(answer);
        });
    });
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

void TForm1::CloseDialogs() {
    for (QWidget* w : QApplication::topLevelWidgets()) {
        if (w == this || !w->isVisible()) continue;
        if (auto* dialog = qobject_cast<QDialog*>(w))
            dialog->reject();
        else if (w->isModal())
            w->close();
    }
}

void TForm1::FormClose() {
    if (closed_) return;
    if (!closing_) {
        closing_ = true;
        runner_.SetClosing();
        if (connectDlg_) connectDlg_->SetClosing();
        session_.RequestStop();
        // Stop the loops between two exchanges; the flag is theirs.
        runner_.Request([this] {
            session_.State().PanelPollStopped = true;
            session_.State().SinglePollStopped = true;
        });
        CloseDialogs();
        dialogCloser_.start();  // and any that opens before the line is idle
    }
    // Inside a dialog the line waits for: finish once it has unwound.
    if (WindowCallsRunning() > 0) {
        QTimer::singleShot(10, this, &TForm1::FormClose);
        return;
    }
    FinishClose();
}

void TForm1::FinishClose() {
    if (finishing_) return;
    finishing_ = true;
    if (!runner_.WaitIdle(10000)) std::fprintf(stderr, "tessary: the line did not stop; closing anyway\n");
    capturePage_->Stop();  // the line is idle: its files close before the port does
    session_.FormClose();
    dialogCloser_.stop();
    hide();
    help_->close();
    closed_ = true;
    emit closed();
}

void TForm1::CloseForSignal() {
    signalled_ = true;
    firmwarePage_->StopUpload();
    close();
}

void TForm1::closeEvent(QCloseEvent* event) {
    if (!signalled_ && firmwarePage_->UploadRunning() && !firmwarePage_->ConfirmCloseDuringUpload())
        return event->ignore();
    FormClose();
    event->accept();
}
