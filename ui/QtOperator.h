#pragma once
// The operator as the window sees it: real dialogs, the real event loop.

#include "app/Operator.h"

class TOKBottomDlg;

class QtOperator final : public tessary::app::Operator {
public:
    explicit QtOperator(TOKBottomDlg& box) : box_(box) {}
    void ShowMessageBox(const std::string& text) override;
    void ProcessEvents() override;

private:
    TOKBottomDlg& box_;
};

// Widget texts are 8-bit on the wire and in files; Latin-1 at the boundary.
#include <QString>
inline QString Q(const std::string& s) { return QString::fromLatin1(s.data(), static_cast<qsizetype>(s.size())); }
inline std::string S(const QString& s) { return s.toLatin1().toStdString(); }
