#pragma once
#include "log/LogView.h"

#include <QDialog>
#include <atomic>
#include <memory>
#include <optional>
#include <string>

namespace Ui {
class TLogDumpDlg;
}
class QButtonGroup;
class QEventLoop;
class QFileDialog;

// "Log Dump": stays open while the operator corrects the range or picks a
// file, and while the dump streams (progress, Cancel); closes after a dump.
class TLogDumpDlg : public QDialog {
    Q_OBJECT
public:
    explicit TLogDumpDlg(QWidget* parent = nullptr);
    ~TLogDumpDlg() override;

    std::optional<tessary::log::LogDumpFields> WaitSave(const QString& endSet, bool fresh);
    void ShowRange(const QString& start, const QString& end);
    std::optional<std::string> AskFile();
    void SetRunning(bool running);
    // Cancel during a dump: says that the rest is being read, hides the button.
    void Cancel();
    void SetProgress(long long sets, long long total);
    // Any thread.
    bool Cancelled() const { return cancelled_.load(); }
    void CloseDump();

    Ui::TLogDumpDlg* Form() const { return ui.get(); }
    QFileDialog* SaveLogDialog() const { return saveLogDialog_; }
    // The file of the last dump, for the Charts menu; empty before one.
    const std::string& LastFile() const { return lastFile_; }

public slots:
    void reject() override;

private:
    void FormShow(const QString& endSet);
    void rgAllPartLogClick();

    std::unique_ptr<Ui::TLogDumpDlg> ui;
    QButtonGroup* rgFormatLogTime_;
    QButtonGroup* rgAllPartLog_;
    QFileDialog* saveLogDialog_;
    QEventLoop* waiting_ = nullptr;
    std::string lastFile_;
    bool running_ = false;
    std::atomic<bool> cancelled_{false};
};
