#pragma once
#include <QDialog>
#include <memory>

namespace Ui {
class TGoodConnectDlg;
}

// Asks, for each box the scan finds, whether to stop searching.
class TGoodConnectDlg : public QDialog {
    Q_OBJECT
public:
    enum Result { StopSearching = 1, SearchForMore = 2 };
    explicit TGoodConnectDlg(QWidget* parent = nullptr);
    ~TGoodConnectDlg() override;
    // Shows the labels and runs modally; returns the modal result.
    int Ask(const QString& baud, const QString& port, const QString& address);
    Ui::TGoodConnectDlg* Form() const { return ui.get(); }

protected:
    void reject() override { done(SearchForMore); }  // Escape = the cancel button

private:
    std::unique_ptr<Ui::TGoodConnectDlg> ui;
};
