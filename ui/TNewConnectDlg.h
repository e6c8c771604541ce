#pragma once
// "Auto Connect": runs the connect from the INI file on its first showing and
// the search on "Connect"; shows where the search is.

#include "app/Connect.h"

#include <QDialog>
#include <functional>
#include <memory>

namespace Ui {
class TNewConnectDlg;
}
class TGoodConnectDlg;

class TNewConnectDlg : public QDialog, public tessary::app::SearchView {
    Q_OBJECT
public:
    TNewConnectDlg(tessary::app::Session& session, TGoodConnectDlg& good, QWidget* parent = nullptr);
    ~TNewConnectDlg() override;

    void FormShow();
    void btConnectClick();
    void btAbortClick();
    // btNewConnectClick's steps before the modal showing.
    void PrepareForSearch();
    tessary::app::Connector& Connect() { return connector_; }
    Ui::TNewConnectDlg* Form() const { return ui.get(); }
    bool Busy() const { return busy_; }
    // From the line's copy: whether the next showing tries the INI file's addresses.
    void SetTryIniFirst(bool tryIt) { tryIniFirst_ = tryIt; }
    // Hands the connect flows to the line (set by the main window); until set,
    // a job runs from the event loop.
    std::function<void(std::function<void()>)> runOnLine;
    // Queues a request into the running search (its abort).
    std::function<void(std::function<void()>)> requestOnLine;
    // While the window closes, the search's question answers at once.
    void SetClosing() { closing_ = true; }

    // SearchView
    void ShowProbe(const std::string& port, std::uint32_t baud) override;
    void ShowProbeAddress(const std::string& address) override;
    void HideProbe() override;
    void ShowScanAddress(const std::string& address) override;
    void ShowProgress(int done, int total) override;
    bool AskStopSearching(const std::string& baud, const std::string& port, const std::string& address) override;
    void HideConnectDialog() override;
    void reject() override;

signals:
    // A connect attempt ended (the tables, slots and read-out may have changed).
    void connectFinished();

protected:
    void showEvent(QShowEvent* event) override;

private:
    void RunOnLine(std::function<void()> job);
    void AbortSearch();

    std::unique_ptr<Ui::TNewConnectDlg> ui;
    tessary::app::Session& session_;
    TGoodConnectDlg& good_;
    tessary::app::Connector connector_;
    bool busy_ = false;
    bool tryIniFirst_ = true;
    bool closing_ = false;
};
