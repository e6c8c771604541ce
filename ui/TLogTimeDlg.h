#pragma once
#include "app/Operator.h"
#include "log/LogView.h"

#include <QDialog>
#include <memory>
#include <optional>

namespace Ui {
class TLogTimeDlg;
}
class QButtonGroup;

// The date/time dialog shared by the clock setting and the log start/stop.
// It opens with the PC's date and time.
class TLogTimeDlg : public QDialog {
    Q_OBJECT
public:
    explicit TLogTimeDlg(QWidget* parent = nullptr);
    ~TLogTimeDlg() override;

    // Clock mode: the log choice hidden, "Set Clock Time on Device" shown, help
    // topic 8; everything put back afterwards, whatever the answer.
    std::optional<tessary::app::DateTimeFields> AskClockTime();

    // Log mode for a start or a stop: choice 0 "... Logging NOW!" selected, the
    // pickers off until "Select Date and Time", help topic 15 while shown.
    std::optional<tessary::log::LogTimeChoice> AskLogTime(bool stop);

    // rgLogGroup: 0 "... NOW!", 1 "Select Date and Time".
    int LogChoice() const;
    void SetLogChoice(int index);
    tessary::app::DateTimeFields Picked() const;
    Ui::TLogTimeDlg* Form() const { return ui.get(); }

protected:
    void showEvent(QShowEvent* event) override;

private:
    void rgLogGroupClick();

    std::unique_ptr<Ui::TLogTimeDlg> ui;
    QButtonGroup* rgLogGroup_;
};
