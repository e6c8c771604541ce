#pragma once
#include <QDialog>
#include <memory>

namespace Ui {
class TOKBottomDlg;
}

// The message box every notice and error goes through.
class TOKBottomDlg : public QDialog {
    Q_OBJECT
public:
    explicit TOKBottomDlg(QWidget* parent = nullptr);
    ~TOKBottomDlg() override;
    // Clears the text, shows `text` as one line, runs modally.
    int ShowMessage(const QString& text);
    QString Text() const;

private:
    std::unique_ptr<Ui::TOKBottomDlg> ui;
};
