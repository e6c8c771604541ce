#pragma once
#include <QDialog>
#include <memory>

namespace Ui {
class TdlgPCCapture;
}

// Asks what to do with a capture file that already exists.
class TdlgPCCapture : public QDialog {
    Q_OBJECT
public:
    explicit TdlgPCCapture(QWidget* parent = nullptr);
    ~TdlgPCCapture() override;
    // Shows `ExistingFileName` and runs modally: Accepted for "Append",
    // Rejected for "Overwrite" (and for Escape).
    int Ask(const QString& ExistingFileName);
    Ui::TdlgPCCapture* Form() const { return ui.get(); }

private:
    std::unique_ptr<Ui::TdlgPCCapture> ui;
};
