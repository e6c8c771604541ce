#include "ui/TCoefficientsPage.h"

#include "device/DeviceInfo.h"
#include "ui/FilePaths.h"
#include "ui/OnWindow.h"
#include "ui/QtOperator.h"
#include "ui_TCoefficientsPage.h"

#include <QFileDialog>
#include <QFontDatabase>
#include <QMessageBox>
#include <QTimer>

using tessary::coef::CoefTransfer;

namespace {

QString Lines(const std::vector<std::string>& lines) {
    QStringList out;
    for (const auto& line : lines) out << Q(line);
    return out.join('\n');
}

std::unique_ptr<QFileDialog> MakeDialog(const char* name) {
    auto dlg = std::make_unique<QFileDialog>();
    dlg->setObjectName(name);
    dlg->setOption(QFileDialog::DontUseNativeDialog);
    return dlg;
}

// The folder the first time a dialog opens; afterwards it keeps the operator's.
void OpenIn(const std::unique_ptr<QFileDialog>& dlg, const std::string& folder) {
    if (dlg->property("opened").toBool()) return;
    dlg->setProperty("opened", true);
    dlg->setDirectory(PathText(folder));
}

}  // namespace

TCoefficientsPage::TCoefficientsPage(tessary::app::Session& session, tessary::device::SettingsView& settings,
                                     QWidget* parent)
    : QWidget(parent),
      ui(std::make_unique<Ui::TCoefficientsPage>()),
      settings_(settings),
      flow_(session, *this),
      OpenDialog1(MakeDialog("OpenDialog1")),
      OpenDialog3(MakeDialog("OpenDialog3")),
      SaveDialog1(MakeDialog("SaveDialog1")) {
    ui->setupUi(this);
    runOnLine = [this](std::function<void()> job) { QTimer::singleShot(0, this, std::move(job)); };
    const QFont fixed = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    ui->HexMemoBox->setFont(fixed);
    ui->Memo1->setFont(fixed);
    OpenDialog1->setFileMode(QFileDialog::ExistingFile);
    OpenDialog3->setFileMode(QFileDialog::ExistingFiles);
    SaveDialog1->setAcceptMode(QFileDialog::AcceptSave);
    connect(ui->btReadPress, &QPushButton::clicked, this, [this] { Start(&CoefTransfer::ReadPressureCoefficients); });
    connect(ui->btReadTemp, &QPushButton::clicked, this, [this] { Start(&CoefTransfer::ReadTemperatureCoefficients); });
    connect(ui->btWriteMem, &QPushButton::clicked, this, [this] { Start(&CoefTransfer::WriteCoefficients); });
    connect(ui->OpenCoef, &QPushButton::clicked, this, [this] { Start(&CoefTransfer::OpenCoefficientFile); });
    connect(ui->SaveCoef, &QPushButton::clicked, this, [this] { Start(&CoefTransfer::SaveCoefficientFile); });
    connect(ui->btQuickLoad, &QPushButton::clicked, this, [this] { Start(&CoefTransfer::QuickLoadCoefficientFiles); });
}

TCoefficientsPage::~TCoefficientsPage() = default;

void TCoefficientsPage::Start(tessary::app::Outcome (CoefTransfer::*step)()) {
    // Open and save also run on the line: the flow's lines belong to it.
    runOnLine([this, step] { (flow_.*step)(); });
}

void TCoefficientsPage::ArrangeForDevice(const std::string& deviceType) {
    if (deviceType == tessary::device::kDigital) {
        ui->HexGroupBox->show();
        ui->HexMemoBox->show();
        ui->btReadPress->hide();
        ui->btReadTemp->show();
        ui->btReadTemp->setText("Read Coefficients");
        ui->btReadTemp->setAccessibleName("Read Coefficients");
        ui->btReadTemp->setToolTip("Read Coefficients from Bravik");
        openFilter_ = kDigitalFilter;
    } else if (deviceType == tessary::device::kKestin) {
        // The hex box keeps whatever state it had: a digital image may still be on show.
        ui->btReadPress->show();
        ui->btReadTemp->show();
        ui->btReadTemp->setText("Read Temp Coef");
        ui->btReadTemp->setAccessibleName("Read Temp Coef");
        ui->btReadPress->setToolTip("CAL1 Pressure Coefficients");
        ui->btReadTemp->setToolTip("CAL2 Temperature Coefficients");
        openFilter_ = kKestinFilter;
    }
}

void TCoefficientsPage::Refresh(const tessary::app::ConnectionCopy& state) {
    if (state.Info.DeviceTypeSerial == arrangedFor_) return;
    arrangedFor_ = state.Info.DeviceTypeSerial;
    ArrangeForDevice(state.DeviceType);
}

std::optional<std::string> TCoefficientsPage::PickCoefFile(const std::string& folder) {
    return OnWindow([&]() -> std::optional<std::string> {
        OpenIn(OpenDialog1, folder);
        OpenDialog1->setNameFilters(NameFilters(openFilter_.toStdString()));
        if (OpenDialog1->exec() != QDialog::Accepted || OpenDialog1->selectedFiles().isEmpty()) return std::nullopt;
        return PathBytes(OpenDialog1->selectedFiles().front());
    });
}

std::vector<std::string> TCoefficientsPage::PickQuickLoadFiles(const std::string& filter, const std::string& folder) {
    return OnWindow([&] {
        std::vector<std::string> files;
        OpenIn(OpenDialog3, folder);
        OpenDialog3->setNameFilters(NameFilters(filter));
        if (OpenDialog3->exec() == QDialog::Accepted)
            for (const QString& f : OpenDialog3->selectedFiles()) files.push_back(PathBytes(f));
        return files;
    });
}

std::optional<std::string> TCoefficientsPage::PickSaveFile(const std::string& filter, const std::string& folder,
                                                           const std::string& name, const std::string& suffix) {
    return OnWindow([&]() -> std::optional<std::string> {
        OpenIn(SaveDialog1, folder);
        SaveDialog1->setNameFilters(NameFilters(filter));
        SaveDialog1->setDefaultSuffix(Q(suffix));
        SaveDialog1->selectFile(PathText(name));
        if (SaveDialog1->exec() != QDialog::Accepted || SaveDialog1->selectedFiles().isEmpty()) return std::nullopt;
        return PathBytes(SaveDialog1->selectedFiles().front());
    });
}

// The one ChangeDlg of the window, shared with the settings.
bool TCoefficientsPage::AskMakePermanent() { return settings_.AskMakePermanent(); }

bool TCoefficientsPage::AskGoOn(const std::string& text) {
    return OnWindow([&] {
        QMessageBox box(QMessageBox::Question, "Load Coefficients", Q(text), QMessageBox::Yes | QMessageBox::No, this);
        box.setObjectName("CompareBox");
        box.setDefaultButton(QMessageBox::No);
        return box.exec() == QMessageBox::Yes;
    });
}

bool TCoefficientsPage::AskSendUncheckedBlock(const std::string& report) {
    return OnWindow([&] {
        QMessageBox box(QMessageBox::Warning, "Load Coefficients", Q(report), QMessageBox::Yes | QMessageBox::No, this);
        box.setObjectName("UncheckedCoefDlg");
        box.setDefaultButton(QMessageBox::No);
        return box.exec() == QMessageBox::Yes;
    });
}

void TCoefficientsPage::ShowHexLines(const std::vector<std::string>& lines) {
    PostToWindow([this, text = Lines(lines)] {
        ui->HexMemoBox->setPlainText(text);
        ui->HexMemoBox->repaint();
    });
}

void TCoefficientsPage::ShowMemoLines(const std::vector<std::string>& lines) {
    PostToWindow([this, text = Lines(lines)] { ui->Memo1->setPlainText(text); });
}

void TCoefficientsPage::ShowHexBox(bool shown) {
    PostToWindow([this, shown] {
        ui->HexGroupBox->setVisible(shown);
        ui->HexMemoBox->setVisible(shown);
    });
}

void TCoefficientsPage::ShowWriteButton() {
    PostToWindow([this] { ui->btWriteMem->show(); });
}

void TCoefficientsPage::ShowProgress(const std::string& text) {
    PostToWindow([this, t = NoticeText(text)] { ui->lbCoefStatus->setText(t); });
}

void TCoefficientsPage::ShowBackup(const std::string& text) {
    PostToWindow([this, t = NoticeText(text)] { ui->lbCoefBackup->setText(t); });
}
