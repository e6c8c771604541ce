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
#include "ui/TChartWindow.h"
#include "ui/QtLogView.h"
#include "ui/TLogDumpDlg.h"
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
#include <QElapsedTimer>
#include <QFileInfo>
#include <QKeyEvent>
#include <QLabel>
#include <QLocale>
#include <QStatusBar>
#include <QFileDialog>
#include <QMenu>
#include <QMenuBar>
#include <QVBoxLayout>

#include <cstdio>

using tessary::link::ExchangeOutcome;

namespace {
constexpr int kCloseLimitMs = 10000;  // the line's whole wind-down, the close's job included
}

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
    firmwarePage_->afterUpload = [this] {
        if (signalled_ && !closing_) close();  // the signal that came during the upload
    };
    coefficientsPage_->runOnLine = [this](std::function<void()> job) { RunOnLine(std::move(job)); };
    firmwarePage_->runOnLine = [this](std::function<void()> job) { RunOnLine(std::move(job)); };
    dialogCloser_.setInterval(20);
    connect(&dialogCloser_, &QTimer::timeout, this, &TForm1::CloseDialogs);
    capturePage_ = new TCapturePage(session_, ui->lbDataCapture, ui->tsCapture);
    (new QVBoxLayout(ui->tsCapture))->addWidget(capturePage_);
    capturePage_->hideInPlaceEditors = [this] { HideInPlaceEditors(); };
    // The readings loops publish with the capture page's "Publish to MQTT".
    readingsPage_->publisher = singleReadings_->publisher = [this] { return capturePage_->Publisher(); };
    trafficWindow_ = new TTrafficWindow(session_.Link(), runner_, this);
    auto* traffic = new QAction("Traffic", this);
    traffic->setObjectName("Traffic1");
    ui->MainMenu1->insertAction(ui->Help1, traffic);
    connect(traffic, &QAction::triggered, trafficWindow_, &QWidget::show);
    auto* charts = new QMenu("Charts", this);
    charts->setObjectName("Charts1");
    ui->MainMenu1->insertMenu(ui->Help1, charts);
    auto* openChart = charts->addAction("Open files...");
    openChart->setObjectName("OpenChart1");
    connect(openChart, &QAction::triggered, this, [this] {
        const QStringList files = QFileDialog::getOpenFileNames(this, "Chart of capture or dump files", QString(),
                                                                "Text Files (*.txt);;All Files (*)");
        if (files.isEmpty()) return;
        auto* window = new TChartWindow(this);
        window->setAttribute(Qt::WA_DeleteOnClose);
        for (const QString& f : files) window->AddFile(PathBytes(f));
        window->show();
    });
    auto* dumpChart = charts->addAction("Last log dump");
    dumpChart->setObjectName("DumpChart1");
    connect(charts, &QMenu::aboutToShow, this, [this, dumpChart] {
        dumpChart->setEnabled(!devicePanels_->LogView().LogDumpDlg().LastFile().empty());
    });
    connect(dumpChart, &QAction::triggered, this, [this] {
        auto* window = new TChartWindow(this);
        window->setAttribute(Qt::WA_DeleteOnClose);
        window->AddFile(devicePanels_->LogView().LogDumpDlg().LastFile());
        window->show();
    });
    auto* captureChart = charts->addAction("PC Capture files");
    captureChart->setObjectName("CaptureChart1");
    connect(captureChart, &QAction::triggered, capturePage_, &TCapturePage::ShowChart);
    // From any thread, perhaps with the link held: only posted.
    session_.Watch().SetStatusSink([this](const std::string& text) {
        PostToWindow(this, [this, shown = Q(tessary::app::ShownText(text))] {
            statusBar()->showMessage(shown);
            UpdatePortStatus();
        });
    });
}

TForm1::~TForm1() {
    session_.Watch().SetStatusSink({});
    qApp->removeEventFilter(this);
}

void TForm1::RunOnLine(std::function<void()> job) { runner_.Run(std::move(job)); }

void TForm1::RequestOnLine(std::function<void()> request) { runner_.Request(std::move(request)); }

void TForm1::RefreshDevicePanels() {
    devicePanels_->Refresh(shown_);
    coefficientsPage_->Refresh(shown_);
    readingsPage_->Refresh(shown_);
    singleReadings_->Refresh(shown_);
    UpdatePortStatus();
    devicePanels_->repaint();
}

// The line's first jobs: the state is the line's from the start.
void TForm1::FormCreate() {
    RunOnLine([this] { session_.Reset(); });
}

void TForm1::FormShow() {
    // The INI file and the port's open (a busy port's holder looked up) run on
    // the line; its copies say "Opening COM1…", then how it went.
    RunOnLine([this] { session_.Open(); });
    const QFileInfo exe(QCoreApplication::applicationFilePath());
    const QDateTime when = exe.lastModified();
    const QLocale locale = QLocale::system();
    // The C locale's short date ("5 Dec 2026") holds blanks, and the label keeps
    // only the text up to the first one: use the ISO date there.
    QString text = locale.language() == QLocale::C ? when.date().toString(Qt::ISODate)
                                                   : locale.toString(when.date(), QLocale::ShortFormat);
    if (when.time() != QTime(0, 0, 0)) text += " " + locale.toString(when.time(), QLocale::LongFormat);
    ui->lbVerDate->setText(Q(tessary::app::VersionDateText(S(text))));
}

void TForm1::UpdatePortStatus() {
    // From the copy: the link's own state is under its lock, which the line holds.
    // The watch keeps its own, short one.
    QString text = Q(tessary::app::ShownText(shown_.PortName)) + "  " + QString::number(shown_.BaudRate) + " baud";
    if (session_.Watch().Unplugged())
        text += "  (unplugged)";
    else if (!shown_.PortOpen)
        text += "  (not open)";
    if (!lineHint_.isEmpty()) text = lineHint_ + "  " + text;
    portStatus_->setText(text);
    QString tip = NoticeText(tessary::app::ShownText(shown_.PortDescription));
    if (!shown_.PortOpen && !shown_.PortNotOpenText.empty())
        tip += "\nNot open: " + Q(tessary::app::ShownText(shown_.PortNotOpenText));
    if (!shown_.PortNote.empty()) tip += "\n" + Q(shown_.PortNote);
    portStatus_->setToolTip(tip);
}

void TForm1::SetConnectDialog(TNewConnectDlg* dialog) {
    connectDlg_ = dialog;
    ui->btNewConnect->setEnabled(dialog != nullptr);
    if (!dialog) return;
    dialog->runOnLine = [this](std::function<void()> job) { RunOnLine(std::move(job)); };
    dialog->requestOnLine = [this](std::function<void()> request) { RequestOnLine(std::move(request)); };
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
    UpdatePortStatus();
    RefreshDevicePanels();
}

void TForm1::ShowConnection(const tessary::app::ConnectionCopy& shown) {
    const bool opened = shown_.PortOpening && !shown.PortOpening;
    shown_ = shown;
    if (shown_.PortOpening)
        statusBar()->showMessage("Opening " + Q(tessary::app::ShownText(shown_.PortName)) + QChar(0x2026));
    else if (opened && !shown_.PortRefusal.empty())
        statusBar()->showMessage(Q(tessary::app::ShownText(shown_.PortRefusal)));
    else if (opened)
        statusBar()->clearMessage();
    if (!shown_.IniFilePath.empty()) ui->lbINI->setText("Using " + PathText(tessary::app::ShownText(shown_.IniFilePath)));
    // The copy that carries a command-line text is shown once.
    if (shown_.CommandLineText) {
        ui->OutPutEditBox->setText(Q(*shown_.CommandLineText));
        shown_.CommandLineText.reset();
    }
    QStringList shownSlots, tip;
    for (std::size_t k = 0; k < shown_.TransducerCaption.size(); ++k) {
        shownSlots << (tessary::app::SlotFilled(shown_.TransducerCaption[k]) ? Q(shown_.TransducerAddress[k]) : QString("-"));
        tip << QString("%1: %2  ->  %3")
                   .arg(k + 1)
                   .arg(Q(tessary::app::ShownText(shown_.TransducerCaption[k])),
                        PathText(tessary::app::ShownText(shown_.CapturePath[k])));
    }
    slotStatus_->setText("Slots: " + shownSlots.join(' '));
    slotStatus_->setToolTip(tip.join('\n'));
    capturePage_->ShowConnection(shown_);
    firmwarePage_->ShowCurrentAddress(shown_.CurrentAddress);
    if (connectDlg_) connectDlg_->SetTryIniFirst(shown_.TryIniFirst);
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
        PostToWindow(this, [this, answer] {
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
        runner_.Request([this] { session_.StopLoops(); });
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
    // The close never runs beside the line: the line closes the port and the
    // files and writes the INI file as its last job; the window waits, bounded.
    QElapsedTimer clock;
    clock.start();
    const bool idle = runner_.WaitIdle(kCloseLimitMs);
    capturePage_->Stop();  // its files close before the port does
    runner_.Line().Post([this] { session_.Close(); });
    if (!idle || !runner_.WaitIdle(std::max<int>(0, kCloseLimitMs - static_cast<int>(clock.elapsed()))))
        std::fprintf(stderr, "tessary: the line did not stop; closing anyway\n");
    dialogCloser_.stop();
    hide();
    help_->close();
    closed_ = true;
    emit closed();
}

void TForm1::CloseForSignal() {
    // A program image stopped half way leaves the box without a program: the
    // first signal is only noted, the window closes when the upload ends.
    if (firmwarePage_->UploadRunning() && !signalled_) {
        signalled_ = true;
        const char* note = "Upload in progress: a second signal stops it and leaves the box without a program";
        std::fprintf(stderr, "tessary: %s\n", note);
        firmwarePage_->Log(note);
        return;
    }
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
