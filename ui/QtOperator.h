#pragma once
// The operator as the window sees it. Called from the line thread: notices and
// the state are carried to the window thread; ProcessEvents runs the requests
// the window queued for the running operation. Called on the window thread (a
// flow a test runs directly), it lets the window's own events run.

#include "app/Operator.h"
#include "app/ShownText.h"

#include <functional>
#include <string>

class TOKBottomDlg;
class LineRunner;

class QtOperator final : public tessary::app::Operator {
public:
    QtOperator(TOKBottomDlg& box, LineRunner& runner);
    // While the window closes a notice goes to standard error and does not wait.
    void ShowMessageBox(const std::string& text) override;
    void ProcessEvents() override;
    void WaitForEvents(int maxMs) override;
    void BeginBusy() override;
    void EndBusy() override;
    void ShowState() override;

private:
    TOKBottomDlg& box_;
    LineRunner& runner_;
};

// Widget texts are 8-bit on the wire and in files; Latin-1 at the boundary.
#include <QString>
inline QString Q(const std::string& s) { return QString::fromLatin1(s.data(), static_cast<qsizetype>(s.size())); }
inline std::string S(const QString& s) { return s.toLatin1().toStdString(); }
