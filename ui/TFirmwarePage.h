#pragma once
// The "Update Bravik Software" page: the upload's address, its button, the
// status box and the progress bar. The upload itself runs on the line; this
// page is its view and carries each call to the window thread.

#include "app/Session.h"
#include "firmware/Upload.h"

#include <QWidget>
#include <functional>
#include <memory>

namespace Ui {
class TFirmwarePage;
}
class QFileDialog;

class TFirmwarePage : public QWidget, public tessary::firmware::FirmwareView {
    Q_OBJECT
public:
    TFirmwarePage(tessary::app::Session& session, QWidget* parent = nullptr);
    ~TFirmwarePage() override;

    // Runs an operation on the line; until the window gives one, on the event loop.
    std::function<void(std::function<void()>)> runOnLine;
    std::function<void()> hideInPlaceEditors;
    std::function<void()> afterUpload;  // the port may have been closed or changed speed

    void TabSheet3Show();
    void BitBtn1Click();
    // For the window's close: true while an upload runs; the question whether
    // to close anyway (true: the upload is told to stop).
    bool UploadRunning() const { return uploader_.Running(); }
    bool ConfirmCloseDuringUpload();
    // Stops a running upload before its next line, without asking.
    void StopUpload() { uploader_.RequestStop(); }

    QFileDialog* OpenDialog1() const { return openDialog_.get(); }
    Ui::TFirmwarePage* Form() const { return ui.get(); }

    // --- FirmwareView ---
    std::optional<std::string> PickImageFile(const std::string& filter) override;
    bool AskSendUncheckedImage(const std::string& report) override;
    void Log(const std::string& line) override;
    void ShowProgress(std::uint32_t maximum) override;
    void SetProgress(std::uint32_t position) override;
    void HideProgress() override;
    std::string TimeOfDay() override;

protected:
    void showEvent(QShowEvent* event) override;

private:
    std::unique_ptr<Ui::TFirmwarePage> ui;
    tessary::app::Session& session_;
    tessary::firmware::Uploader uploader_;
    // Without a parent: its inner widgets are not the window's controls.
    std::unique_ptr<QFileDialog> openDialog_;
};
