#include "ui/TLogRateDlg.h"

#include "ui/QtOperator.h"
#include "ui_TLogRateDlg.h"

#include <QButtonGroup>

TLogRateDlg::TLogRateDlg(QWidget* parent)
    : QDialog(parent), ui(std::make_unique<Ui::TLogRateDlg>()), rgCondition_(new QButtonGroup(this)) {
    ui->setupUi(this);
    rgCondition_->addButton(ui->rbAnd, 0);
    rgCondition_->addButton(ui->rbOr, 1);
    rgCondition_->addButton(ui->rbNeither, 2);
    for (QWidget* w : findChildren<QWidget*>()) w->setProperty("helpTopic", 14);
    connect(rgCondition_, &QButtonGroup::idToggled, this, [this](int id, bool on) {
        if (!on || !form_) return;
        Store();
        form_->SelectCondition(id);
        Load();
    });
    connect(ui->LogBasedOnBox, &QListWidget::currentRowChanged, this, [this](int row) {
        if (!form_ || row < 0 || row == form_->BasedOn) return;
        Store();
        form_->SelectBasedOn(row);
        Load();
    });
}

TLogRateDlg::~TLogRateDlg() = default;

void TLogRateDlg::Store() {
    form_->EditLogRate = S(ui->EditLogRate->text());
    form_->EditDataStep = S(ui->EditDataStep->text());
}

void TLogRateDlg::Load() {
    auto* form = form_;
    form_ = nullptr;  // the widgets' own signals must not echo back
    ui->EditLogRate->setText(Q(form->EditLogRate));
    if (QAbstractButton* b = rgCondition_->button(form->ConditionIndex)) b->setChecked(true);
    ui->LogBasedOnBox->setEnabled(form->BasedOnEnabled);
    ui->LogBasedOnBox->setCurrentRow(form->BasedOn);
    if (form->BasedOn < 0) ui->LogBasedOnBox->clearSelection();
    ui->EditDataStep->setEnabled(form->DataStepEnabled);
    ui->EditDataStep->setText(Q(form->EditDataStep));
    ui->lbStepUnit->setVisible(form->StepUnitVisible);
    ui->lbStepUnit->setText(Q(form->StepUnit));
    form_ = form;
}

bool TLogRateDlg::Ask(tessary::log::LogRateForm& form) {
    form_ = &form;
    Load();
    ui->EditLogRate->setFocus();
    const bool ok = exec() == QDialog::Accepted;
    Store();
    form_ = nullptr;
    return ok;
}
