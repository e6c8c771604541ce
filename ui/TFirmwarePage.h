#pragma once
// The "Update Bravik Software" page: the upload's address, its button, the
// status box and the progress bar. The upload itself runs on the line; this
// page is its view and carries each call to the window thread.

#include "app/Session.h"
#include "firmware/Upload.h"

#include <QWidget>
#include <atomic>
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
    // The line thread's copy of CurrentAddress, proposed when the page shows.
    void ShowCurrentAddress(const std::string& address) { currentAddress_ = address; }
    void BitBtn1Click();
    // For the window's close: true while an upload runs; the question whether
    // to close anyway (true: the upload is told to stop).
    bool UploadRunning() const { return uploader_.Running(); }
    bool ConfirmCloseDuringUpload();
    // Stops a running upload before its next line, without asking.
    void StopUpload() { stopUpload_.store(true); }

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
    // The upload's stop predicate reads it on the line; a click clears it.
    std::atomic<bool> stopUpload_{false};
    std::string currentAddress_;
    // Without a parent: its inner widgets are not the window's controls.
    std::unique_ptr<QFileDialog> openDialog_;
};
