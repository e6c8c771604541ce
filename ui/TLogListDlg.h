#pragma once
#include <QDialog>
#include <array>
#include <memory>

namespace Ui {
class TLogListDlg;
}

// "Initialize Log": the data items after the time stamp. The list keeps its
// selection between showings, and the chosen items follow it click by click.
class TLogListDlg : public QDialog {
    Q_OBJECT
public:
    explicit TLogListDlg(QWidget* parent = nullptr);
    ~TLogListDlg() override;
    // True when closed with OK; `chosen` follows every click, OK or not.
    bool Ask(std::array<bool, 4>& chosen);
    Ui::TLogListDlg* Form() const { return ui.get(); }

private:
    std::unique_ptr<Ui::TLogListDlg> ui;
    std::array<bool, 4>* chosen_ = nullptr;
};
