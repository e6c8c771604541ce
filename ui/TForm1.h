#pragma once
// The main window: a thin skin over app::Session. Handlers read their widgets,
// hand the work to the line thread, and show the result when it ends.

#include "app/Session.h"
#include "device/DeviceView.h"
#include "link/DeviceLink.h"

#include <QMainWindow>
#include <QTimer>
#include <functional>
#include <memory>
#include <vector>

namespace Ui {
class TForm1;
}
class HelpWindow;
class LineRunner;
class QtSettingsView;
class QLabel;
class TCapturePage;
class TCoefficientsPage;
class TDevicePanels;
class TFirmwarePage;
class TNewConnectDlg;
class TOKBottomDlg;
class TReadingsPage;
class TSingleReadings;
class TTrafficWindow;

class TForm1 : public QMainWindow {
    Q_OBJECT
public:
    TForm1(tessary::app::Session& session, TOKBottomDlg& messageBox, LineRunner& runner,
           QtSettingsView& settings, QWidget* parent = nullptr);
    ~TForm1() override;

    void FormCreate();
    void FormShow();
    // The one shutdown road: window close, Quit, SIGTERM/SIGINT all end here, at
    // any moment. Stops what runs (dialogs closed, loops and search stopped,
    // questions answered with Cancel), waits for the line while serving the
    // window's events, then closes the files and writes the INI file. Called
    // inside a dialog the line is waiting for, it finishes once that has unwound.
    void FormClose();
    // SIGTERM/SIGINT: nobody may be there to answer the close's question. During
    // an upload the first signal is noted and the window closes once the upload
    // ends; a second one stops the upload before its next line.
    void CloseForSignal();
    bool Closed() const { return closed_; }
    bool Closing() const { return closing_; }

    // Hands `job` to the line thread and marks an operation running: controls
    // with startsLineOperation=true are disabled until it ends, then the panels
    // are refreshed. Returns at once. For the pages' click handlers.
    void RunOnLine(std::function<void()> job);
    // Queues `request` into the running operation (its stop, a flag it reads):
    // it runs on the line at the operation's next pause between exchanges, or
    // at once when nothing runs. Marks nothing running. Any thread.
    void RequestOnLine(std::function<void()> request);

    // Returns true when the key was the command line's business.
    bool OutPutEditBoxKeyPress(int key);
    void OutPutEditBoxEnter();
    void TabSheet2Exit();
    void HideInPlaceEditors();
    void Help1Click();
    void ShowMessageBox(const QString& text);

    // The "Connect" button: the search dialog, modally, then slots and read-out.
    void btNewConnectClick();
    // The connect dialog alone, modally (the address change's "Reconnect").
    void ShowConnectDialog();
    void SetConnectDialog(TNewConnectDlg* dialog);
    // Redraws from the copy last handed over.
    void RefreshConnection();
    // The line thread's copy of what the window shows of the connection: the
    // slots, the port, the pages, the panels, a command-line text.
    void ShowConnection(const tessary::app::ConnectionCopy& shown);

    HelpWindow* Help() const { return help_; }
    Ui::TForm1* Form() const { return ui.get(); }
    // Shows why the exchange failed (or clears it).
    void ShowLinkStatus(const tessary::link::Reply& reply);
    void SetLineHint(const QString& hint);  // e.g. "Simulated line"

    // Mirrors the last copy into the information panels, the readings pages
    // and the Coefficients page.
    void RefreshDevicePanels();
    TDevicePanels* DevicePanels() const { return devicePanels_; }
    TCoefficientsPage* CoefficientsPage() const { return coefficientsPage_; }
    TReadingsPage* ReadingsPage() const { return readingsPage_; }
    TSingleReadings* SingleReadings() const { return singleReadings_; }
    TFirmwarePage* FirmwarePage() const { return firmwarePage_; }
    TCapturePage* CapturePage() const { return capturePage_; }
    TTrafficWindow* TrafficWindow() const { return trafficWindow_; }

signals:
    // FormClose is done: the line is idle, files closed, INI file written.
    void closed();

protected:
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void UpdatePortStatus();
    void NewConnectFinished();
    void CloseDialogs();
    void FinishClose();

    std::unique_ptr<Ui::TForm1> ui;
    tessary::app::Session& session_;
    TOKBottomDlg& messageBox_;
    LineRunner& runner_;
    QtSettingsView& settings_;
    HelpWindow* help_;
    QLabel* portStatus_;
    TDevicePanels* devicePanels_ = nullptr;
    TCoefficientsPage* coefficientsPage_ = nullptr;
    TReadingsPage* readingsPage_ = nullptr;
    TSingleReadings* singleReadings_ = nullptr;
    TFirmwarePage* firmwarePage_ = nullptr;
    TCapturePage* capturePage_ = nullptr;
    TTrafficWindow* trafficWindow_ = nullptr;
    QLabel* slotStatus_;
    TNewConnectDlg* connectDlg_ = nullptr;
    QString lineHint_;
    tessary::app::ConnectionCopy shown_;
    std::vector<QString> history_;
    std::size_t historyPos_ = 0;
    int lastTab_ = 0;
    bool modalConnect_ = false;
    bool signalled_ = false;
    bool closing_ = false, finishing_ = false, closed_ = false;
    QTimer dialogCloser_;
};
