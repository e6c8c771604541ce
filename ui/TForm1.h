#pragma once
// The main window: a thin skin over app::Session. Handlers read their widgets,
// call the work layer, and show the result.

#include "app/Session.h"

#include <QMainWindow>
#include <memory>
#include <vector>

namespace Ui {
class TForm1;
}
class HelpWindow;
class QLabel;
class TCapturePage;
class TCoefficientsPage;
class TDevicePanels;
class TNewConnectDlg;
class TOKBottomDlg;
class TReadingsPage;
class TSingleReadings;
class TTrafficWindow;

class TForm1 : public QMainWindow {
    Q_OBJECT
public:
    TForm1(tessary::app::Session& session, TOKBottomDlg& messageBox, QWidget* parent = nullptr);
    ~TForm1() override;

    void FormCreate();
    void FormShow();
    // The one shutdown road: window close, Quit, SIGTERM/SIGINT all end here.
    void FormClose();

    // Returns true when the key was the command line's business.
    bool OutPutEditBoxKeyPress(int key);
    void OutPutEditBoxEnter();
    void TabSheet2Exit();
    void HideInPlaceEditors();
    void Help1Click();
    void ShowMessageBox(const QString& text);

    // The "Connect" button: the search dialog, modally, then slots and read-out.
    void btNewConnectClick();
    void SetConnectDialog(TNewConnectDlg* dialog);
    // Mirrors the connection state after a connect: port, slots, device panels.
    void RefreshConnection();

    HelpWindow* Help() const { return help_; }
    Ui::TForm1* Form() const { return ui.get(); }
    // Shows why the last exchange failed (or clears it).
    void ShowLinkStatus();
    void SetLineHint(const QString& hint);  // e.g. "Simulated line"

    // Mirrors the connection state into the information panels, the command
    // line and the Coefficients page. Call after ReadDeviceInfo.
    void RefreshDevicePanels();
    TDevicePanels* DevicePanels() const { return devicePanels_; }
    TCoefficientsPage* CoefficientsPage() const { return coefficientsPage_; }
    TReadingsPage* ReadingsPage() const { return readingsPage_; }
    TSingleReadings* SingleReadings() const { return singleReadings_; }
    TCapturePage* CapturePage() const { return capturePage_; }
    TTrafficWindow* TrafficWindow() const { return trafficWindow_; }

protected:
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void UpdatePortStatus();

    std::unique_ptr<Ui::TForm1> ui;
    tessary::app::Session& session_;
    TOKBottomDlg& messageBox_;
    HelpWindow* help_;
    QLabel* portStatus_;
    TDevicePanels* devicePanels_ = nullptr;
    TCoefficientsPage* coefficientsPage_ = nullptr;
    TReadingsPage* readingsPage_ = nullptr;
    TSingleReadings* singleReadings_ = nullptr;
    TCapturePage* capturePage_ = nullptr;
    TTrafficWindow* trafficWindow_ = nullptr;
    QLabel* slotStatus_;
    TNewConnectDlg* connectDlg_ = nullptr;
    QString lineHint_;
    std::vector<QString> history_;
    std::size_t historyPos_ = 0;
    int lastTab_ = 0;
};
