#include "ui/TLogListDlg.h"

#include "ui_TLogListDlg.h"

TLogListDlg::TLogListDlg(QWidget* parent) : QDialog(parent), ui(std::make_unique<Ui::TLogListDlg>()) {
    ui->setupUi(this);
    // The selection is the choice, whether changed by mouse, keyboard or a screen reader.
    connect(ui->LogListBox, &QListWidget::itemSelectionChanged, this, [this] {
        if (!chosen_) return;
        for (int i = 0; i < 4; ++i) (*chosen_)[static_cast<std::size_t>(i)] = ui->LogListBox->item(i)->isSelected();
    });
}

TLogListDlg::~TLogListDlg() = default;

bool TLogListDlg::Ask(std::array<bool, 4>& chosen) {
    chosen_ = nullptr;
    for (int i = 0; i < 4; ++i) ui->LogListBox->item(i)->setSelected(chosen[static_cast<std::size_t>(i)]);
    chosen_ = &chosen;
    const bool ok = exec() == QDialog::Accepted;
    chosen_ = nullptr;
    return ok;
}
