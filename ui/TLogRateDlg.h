#pragma once
#include "log/LogForms.h"

#include <QDialog>
#include <memory>

namespace Ui {
class TLogRateDlg;
}
class QButtonGroup;

// "Set Up Log Rate": the widgets mirror a LogRateForm, whose handlers decide.
class TLogRateDlg : public QDialog {
    Q_OBJECT
public:
    explicit TLogRateDlg(QWidget* parent = nullptr);
    ~TLogRateDlg() override;
    // True when closed with OK; the typed texts are then in `form`.
    bool Ask(tessary::log::LogRateForm& form);
    Ui::TLogRateDlg* Form() const { return ui.get(); }

private:
    void Load();
    void Store();

    std::unique_ptr<Ui::TLogRateDlg> ui;
    QButtonGroup* rgCondition_;
    tessary::log::LogRateForm* form_ = nullptr;
};
