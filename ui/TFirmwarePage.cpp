#include "ui/TFirmwarePage.h"

#include "ui/FilePaths.h"
#include "ui/OnWindow.h"
#include "ui/QtOperator.h"
#include "ui_TFirmwarePage.h"

#include <QFileDialog>
#include <QLocale>
#include <QMessageBox>
#include <QPointer>
#include <QTime>
#include <QTimer>

namespace {
// Posts `f` to the window thread; dropped if the page is gone by then.
template <typename F>
void Post(TFirmwarePage* page, F f) {
    PostToWindow([guard = QPointer<TFirmwarePage>(page), f = std::move(f)] {
        if (guard) f();
    });
}
}  // namespace

TFirmwarePage::TFirmwarePage(tessary::app::Session& session, QWidget* parent)
    : QWidget(parent),
      ui(std::make_unique<Ui::TFirmwarePage>()),
      session_(session),
      uploader_(session, *this),
      openDialog_(std::make_unique<QFileDialog>()) {
    ui->setupUi(this);
    openDialog_->setObjectName("OpenDialog1");
    openDialog_->setFileMode(QFileDialog::ExistingFile);
    openDialog_->setAcceptMode(QFileDialog::AcceptOpen);
    runOnLine = [this](std::function<void()> job) { QTimer::singleShot(0, this, std::move(job)); };
    connect(ui->BitBtn1, &QPushButton::clicked, this, &TFirmwarePage::BitBtn1Click);
}

TFirmwarePage::~TFirmwarePage() = default;

void TFirmwarePage::showEvent(QShowEvent* event) {
    TabSheet3Show();
    QWidget::showEvent(event);
}

void TFirmwarePage::TabSheet3Show() {
    if (UploadRunning()) return;
    const std::string& address = currentAddress_;
    ui->edBravikAddr->setText(address.empty() ? QString("#01") : Q(address));
}

void TFirmwarePage::BitBtn1Click() {
    if (hideInPlaceEditors) hideInPlaceEditors();
    const std::string address = S(ui->edBravikAddr->text());
    ui->BitBtn1->setEnabled(false);
    ui->edBravikAddr->setEnabled(false);
    stopUpload_.store(false);
    runOnLine([this, address] {
        uploader_.Upload(address, [this] { return stopUpload_.load(); });
        Post(this, [this] {
            ui->BitBtn1->setEnabled(true);
            ui->edBravikAddr->setEnabled(true);
            if (afterUpload) afterUpload();
        });
    });
}

bool TFirmwarePage::ConfirmCloseDuringUpload() {
    QMessageBox ask(QMessageBox::Warning, "Update Bravik Software",
                    "The upload of a new program into the box is still running.\n"
                    "If it stops half way, the box is left without a working program.\n\nClose anyway?",
                    QMessageBox::Yes | QMessageBox::No, this);
    ask.setObjectName("CloseDuringUploadDlg");
    ask.setDefaultButton(QMessageBox::No);
    if (ask.exec() != QMessageBox::Yes) return false;
    StopUpload();
    return true;
}

std::optional<std::string> TFirmwarePage::PickImageFile(const std::string& filter) {
    return OnWindow([&]() -> std::optional<std::string> {
        openDialog_->setNameFilters(NameFilters(filter));
        if (openDialog_->exec() != QDialog::Accepted || openDialog_->selectedFiles().isEmpty()) return std::nullopt;
        return PathBytes(openDialog_->selectedFiles().front());
    });
}

bool TFirmwarePage::AskSendUncheckedImage(const std::string& report) {
    return OnWindow([&] {
        QMessageBox ask(QMessageBox::Warning, "Update Bravik Software", Q(report), QMessageBox::Yes | QMessageBox::No,
                        this);
        ask.setObjectName("UncheckedImageDlg");
        ask.setDefaultButton(QMessageBox::No);
        return ask.exec() == QMessageBox::Yes;
    });
}

void TFirmwarePage::Log(const std::string& line) {
    std::string shown = line;
    // A resent line keeps its line end in the log; the box shows it as one line.
    while (!shown.empty() && (shown.back() == '\n' || shown.back() == '\r')) shown.pop_back();
    Post(this, [this, text = Q(shown)] { ui->StatusBox->appendPlainText(text); });
}

void TFirmwarePage::ShowProgress(std::uint32_t maximum) {
    Post(this, [this, maximum] {
        ui->ProgressBar1->setRange(1, static_cast<int>(std::max<std::uint32_t>(maximum, 1)));
        ui->ProgressBar1->setValue(1);
        ui->ProgressBar1->show();
    });
}

void TFirmwarePage::SetProgress(std::uint32_t position) {
    Post(this, [this, position] { ui->ProgressBar1->setValue(static_cast<int>(position)); });
}

void TFirmwarePage::HideProgress() {
    Post(this, [this] { ui->ProgressBar1->hide(); });
}

std::string TFirmwarePage::TimeOfDay() { return S(QLocale::system().toString(QTime::currentTime(), QLocale::LongFormat)); }
