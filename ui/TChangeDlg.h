#pragma once
#include <QDialog>
#include <memory>

namespace Ui {
class TChangeDlg;
}

// "Make Change Permanent?" after a setting; the tick is kept between showings.
class TChangeDlg : public QDialog {
    Q_OBJECT
public:
    explicit TChangeDlg(QWidget* parent = nullptr);
    ~TChangeDlg() override;
    // Modal; true when closed with "Ok" and the box ticked.
    bool AskPermanent();
    bool Permanent() const;

private:
    std::unique_ptr<Ui::TChangeDlg> ui;
};
