#include "ui/TCapturePage.h"

#include "ui/FilePaths.h"
#include "ui/TChartWindow.h"
#include "ui/OnWindow.h"
#include "ui/QtOperator.h"
#include "ui/TdlgPCCapture.h"
#include "ui/TMqttDlg.h"
#include "ui_TCapturePage.h"

#include <QFileDialog>
#include <QPlainTextEdit>
#include <QPointer>

using tessary::capture::CapturePlan;

namespace {
std::string PathOf(const QLineEdit* edit) { return PathBytes(edit->text()); }
}  // namespace

// The capture's view on this page. Called from the capture thread as well:
// posted to the window, where only the run the page shows gets through.
class TCapturePage::View final : public tessary::capture::CaptureView {
public:
    explicit View(TCapturePage* page) : page_(page) {}
    void ShowLine(std::uint64_t run, int slot, const std::string& line) override {
        PostToWindow([p = page_, run, slot, text = Q(line)] {
            if (p && p->shownRun_ == run) p->ShowNewest(slot, text);
        });
    }
    void ShowFileError(std::uint64_t run, int source, const std::string& text) override {
        PostToWindow([p = page_, run, source, text = NoticeText(text)] {
            if (!p || p->shownRun_ != run) return;
            p->fileErrors_[static_cast<std::size_t>(source)] = text;
            p->ShowStatus();
        });
    }
    void ShowState(std::uint64_t run, bool running, const std::string& note) override {
        PostToWindow([p = page_, run, running, note = Q(note)] {
            if (p && p->shownRun_ == run) p->ShowCaptureState(running, note);
        });
    }

private:
    QPointer<TCapturePage> page_;
};

TCapturePage::TCapturePage(tessary::app::Session& session, QLabel* lbDataCapture, QWidget* parent)
    : QWidget(parent),
      ui(std::make_unique<Ui::TCapturePage>()),
      session_(session),
      lbDataCapture_(lbDataCapture),
      dlgPCCapture_(new TdlgPCCapture(this)),
      view_(std::make_unique<View>(this)),
      capture_(std::make_unique<tessary::capture::Capture>(session.Link(), session.Op(), *view_, clock_)),
      dlgMqtt_(new TMqttDlg(this)) {
    ui->setupUi(this);
    capture_->SetLineWatch(&session.Watch());
    const QString folder = PathText(session_.DefaultFolder());
    ui->edSerialPath->setText(folder + "AllSerial.txt");
    for (int k = 1; k <= 4; ++k) edPath(k)->setText(folder);

    for (int n = 1; n <= 5; ++n) connect(btBrowse(n), &QPushButton::clicked, this, [this, n] { BrowseCapturePath(n); });
    connect(ui->SpeedButtonMMTimer, &QPushButton::clicked, this, &TCapturePage::SpeedButtonMMTimerClick);
    auto* chart = new QPushButton("Chart", this);
    chart->setObjectName("btChart");
    chart->setAccessibleName("Chart");
    chart->setToolTip("Chart the ticked transducers' files; while a capture runs, follow them");
    ui->rateLayout->addWidget(chart);
    connect(chart, &QPushButton::clicked, this, &TCapturePage::ShowChart);
    connect(ui->cbAllSerial, &QCheckBox::clicked, this, [this](bool on) { capture_->SetAllSerialTicked(on); });
    for (int k = 1; k <= 4; ++k)
        connect(cbTrans(k), &QCheckBox::clicked, this, [this, k](bool on) { capture_->SetSlotTicked(k, on); });
    connect(ui->btMqttSettings, &QPushButton::clicked, this, &TCapturePage::MqttSettingsClick);
    connect(ui->cbPublishMqtt, &QCheckBox::clicked, this, [this](bool on) {
        mqtt_.publish = on;
        SaveMqttChoices();
        if (!on && !capture_->Running()) ClosePublisher();
    });
    tsCaptureShow();
}

TCapturePage::~TCapturePage() {
    Stop();
    if (closer_.joinable()) closer_.join();
}

TChartWindow* TCapturePage::ShowChart() {
    auto* window = new TChartWindow(this);
    window->setAttribute(Qt::WA_DeleteOnClose);
    for (int k = 1; k <= 4; ++k)
        if (cbTrans(k)->isChecked()) window->AddFile(PathBytes(edPath(k)->text()));
    if (ui->SpeedButtonMMTimer->isChecked()) window->Follow(true, 10);
    window->show();
    return window;
}

QCheckBox* TCapturePage::cbTrans(int k) const {
    QCheckBox* const boxes[4] = {ui->cbTrans1, ui->cbTrans2, ui->cbTrans3, ui->cbTrans4};
    return boxes[k - 1];
}
QLineEdit* TCapturePage::edPath(int k) const {
    QLineEdit* const edits[4] = {ui->edPath1, ui->edPath2, ui->edPath3, ui->edPath4};
    return edits[k - 1];
}
QPushButton* TCapturePage::btBrowse(int n) const {
    QPushButton* const buttons[5] = {ui->btBrowse1, ui->btBrowse2, ui->btBrowse3, ui->btBrowse4, ui->btBrowse5};
    return buttons[n - 1];
}
QLabel* TCapturePage::lbBox(int k) const {
    QLabel* const labels[4] = {ui->lbBox1, ui->lbBox2, ui->lbBox3, ui->lbBox4};
    return labels[k - 1];
}
void TCapturePage::ShowNewest(int slot, const QString& line) {
    // The whole text anew: appending to a five-line box keeps every removed
    // line in the document's buffer until 96 KB of them pile up, hours of a
    // slow capture and half a megabyte over four boxes.
    QStringList& lines = newest_[static_cast<std::size_t>(slot - 1)];
    lines << line;
    while (lines.size() > 5) lines.removeFirst();
    edBox(slot)->setPlainText(lines.join('\n'));
    edBox(slot)->moveCursor(QTextCursor::End);
}

QPlainTextEdit* TCapturePage::edBox(int k) const {
    QPlainTextEdit* const boxes[4] = {ui->edBox1, ui->edBox2, ui->edBox3, ui->edBox4};
    return boxes[k - 1];
}

void TCapturePage::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    tsCaptureShow();
}

void TCapturePage::tsCaptureShow() {
    hideInPlaceEditors();
    for (int k = 1; k <= 4; ++k) {
        const std::string& caption = shown_.TransducerCaption[static_cast<std::size_t>(k - 1)];
        const bool filled = tessary::app::SlotFilled(caption);
        for (QWidget* w : std::initializer_list<QWidget*>{cbTrans(k), edPath(k), btBrowse(k + 1), lbBox(k), edBox(k)})
            w->setVisible(filled);
        if (!filled) continue;  // the tick stays as it was
        const QString short_ = Q(caption.size() > 5 ? caption.substr(5) : std::string());
        cbTrans(k)->setText(short_);
        cbTrans(k)->setAccessibleName(short_.trimmed());
        lbBox(k)->setText(Q(caption));
    }
}

void TCapturePage::ShowConnection(const tessary::app::ConnectionCopy& shown) {
    shown_ = shown;
    if (mqttIni_ != shown_.IniFilePath) {
        mqttIni_ = shown_.IniFilePath;
        mqtt_ = tessary::mqtt::LoadWindowChoices(mqttIni_);
        ui->cbPublishMqtt->setChecked(mqtt_.publish);
    }
    for (std::size_t k = 0; k < 4; ++k) {
        if (shown_.CapturePath[k].empty() || shown_.CapturePath[k] == proposed_[k]) continue;
        proposed_[k] = shown_.CapturePath[k];
        edPath(static_cast<int>(k + 1))->setText(PathText(proposed_[k]));
    }
    if (isVisible()) tsCaptureShow();
}

QFileDialog* TCapturePage::SaveDialog2() {
    // Made at the first Browse, then kept, so it stays in the folder last used.
    if (saveDialog2_) return saveDialog2_;
    saveDialog2_ = new QFileDialog(this);
    saveDialog2_->setObjectName("SaveDialog2");
    saveDialog2_->setAcceptMode(QFileDialog::AcceptSave);
    saveDialog2_->setDefaultSuffix("txt");
    saveDialog2_->setNameFilters(NameFilters("Text Files|*.txt|All Files|*.*"));
    saveDialog2_->setDirectory(PathText(session_.DefaultFolder()));
    saveDialog2_->setOption(QFileDialog::DontConfirmOverwrite);  // dlgPCCapture asks at the start
    return saveDialog2_;
}

void TCapturePage::BrowseCapturePath(int n) {
    if (SaveDialog2()->exec() != QDialog::Accepted || saveDialog2_->selectedFiles().isEmpty()) return;
    QLineEdit* target = n == 1 ? ui->edSerialPath : edPath(n - 1);
    target->setText(saveDialog2_->selectedFiles().first());
}

void TCapturePage::SpeedButtonMMTimerClick(bool down) {
    hideInPlaceEditors();
    if (!down) {
        if (lbDataCapture_) lbDataCapture_->clear();
        capture_->RequestStop();  // the files close as the capture thread ends
        return;
    }
    // From here on the page shows only the run about to start: an earlier one
    // still ending reports meanwhile, while dlgPCCapture is open too.
    shownRun_ = capture_->Runs() + 1;
    CapturePlan plan;
    tessary::capture::FillFromConnection(plan, shown_);
    plan.allSerial = ui->cbAllSerial->isChecked();
    plan.allSerialPath = PathOf(ui->edSerialPath);
    for (int k = 1; k <= 4; ++k) {
        const auto i = static_cast<std::size_t>(k - 1);
        plan.ticked[i] = cbTrans(k)->isChecked();
        plan.paths[i] = PathOf(edPath(k));
        const std::string& caption = shown_.TransducerCaption[i];
        const auto id = caption.find_first_not_of(' ', 3);
        if (tessary::app::SlotFilled(caption) && id != std::string::npos) plan.boxes[i].id = caption.substr(id);
        if (plan.addresses[i] == shown_.CurrentAddress) {
            const auto& info = shown_.Info;
            plan.boxes[i].model = info.ModelNumber;
            plan.boxes[i].firmware = info.FirmwareVersion;
            plan.boxes[i].pressureUnit = info.PressUnits;
            plan.boxes[i].temperatureUnit = info.TempUnits;
        }
        edBox(k)->clear();
        newest_[i].clear();
    }
    plan.rateText = S(ui->edCaptureRate->text());
    plan.defaultFolder = session_.DefaultFolder();  // fixed at start
    note_.clear();
    tessary::capture::AskAppendOrOverwrite(
        plan, [this](const std::string& path) { return dlgPCCapture_->Ask(PathText(path)) == QDialog::Accepted; });
    capture_->SetPublisher(Publisher().get());
    if (!capture_->Start(plan)) {
        QSignalBlocker block(ui->SpeedButtonMMTimer);
        ui->SpeedButtonMMTimer->setChecked(false);
    }
}

void TCapturePage::ShowCaptureState(bool running, const QString& note) {
    note_ = note;
    if (running) {
        if (lbDataCapture_) lbDataCapture_->setText("Data Capture ON");
    } else {
        if (lbDataCapture_) lbDataCapture_->clear();
        QSignalBlocker block(ui->SpeedButtonMMTimer);
        ui->SpeedButtonMMTimer->setChecked(false);
        capture_->Stop();  // its thread has ended: this only joins it
        if (!ui->cbPublishMqtt->isChecked() || !(publisherChoices_ == mqtt_)) ClosePublisher();
    }
    ShowStatus();
}

void TCapturePage::MqttSettingsClick() {
    if (dlgMqtt_->Edit(mqtt_) != QDialog::Accepted) return;
    SaveMqttChoices();
    if (!capture_->Running() && !(publisherChoices_ == mqtt_)) ClosePublisher();
}

void TCapturePage::SaveMqttChoices() {
    if (mqttIni_.empty()) return;
    const std::string error = tessary::mqtt::SaveWindowChoices(mqttIni_, mqtt_);
    mqttNote_ = error.empty() ? QString() : "MQTT settings not saved in " + PathText(mqttIni_) + ": " + Q(error);
    ShowStatus();
}

std::shared_ptr<tessary::mqtt::Publisher> TCapturePage::Publisher() {
    if (!ui->cbPublishMqtt->isChecked()) return nullptr;
    // New choices take effect once the capture that publishes has ended.
    if (publisher_ && (publisherChoices_ == mqtt_ || capture_->Running())) return publisher_;
    ClosePublisher();
    mqttNote_.clear();
    tessary::mqtt::PublishSettings settings;
    std::string error = tessary::mqtt::SettingsOf(mqtt_, shown_.PortName, settings);
    tessary::mqtt::MakeError kind{};
    std::unique_ptr<tessary::mqtt::Publisher> made;
    if (error.empty())
        made = tessary::mqtt::MakePublisher(
            settings,
            [this](const std::string& text) {
                PostToWindow(this, [this, t = Q(text)] {
                    mqttNote_ = t;
                    ShowStatus();
                });
            },
            error, kind);
    if (!made) {
        mqttNote_ = "MQTT: " + Q(error) + "; nothing is published";
        ShowStatus();
        return nullptr;
    }
    publisherChoices_ = mqtt_;
    publisher_ = std::shared_ptr<tessary::mqtt::Publisher>(made.release(), [](tessary::mqtt::Publisher* p) {
        p->Close();
        delete p;
    });
    return publisher_;
}

void TCapturePage::ClosePublisher() {
    if (!publisher_) return;
    if (closer_.joinable()) closer_.join();
    closer_ = std::thread([p = std::move(publisher_)]() mutable { p.reset(); });
}

void TCapturePage::ShowStatus() {
    QStringList lines;
    if (!note_.isEmpty()) lines << note_;
    for (const QString& e : fileErrors_)
        if (!e.isEmpty()) lines << e;
    if (!mqttNote_.isEmpty()) lines << mqttNote_;
    ui->lbCaptureStatus->setText(lines.join('\n'));
    ui->lbCaptureStatus->setStyleSheet(lines.isEmpty() ? QString() : QString("color: #b00000"));
}

void TCapturePage::Stop() {
    capture_->Stop();
    ClosePublisher();
    if (lbDataCapture_) lbDataCapture_->clear();
}
