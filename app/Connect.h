#pragma once
// Finding the boxes: the search over ports, baud rates and addresses, and the
// connect from the INI file's remembered addresses.

#include "app/Session.h"

#include <atomic>
#include <chrono>
#include <optional>
#include <string>

namespace tessary::app {

// What the connect dialogs show while a search runs; the window implements it
// with NewConnectDlg and GoodConnectDlg, tests with a recorder.
class SearchView {
public:
    virtual ~SearchView() = default;
    // lbTrying, lbConnectCom and lbConnectBaud shown with the port and rate.
    virtual void ShowProbe(const std::string& port, std::uint32_t baud) = 0;
    virtual void ShowProbeAddress(const std::string& address) = 0;  // lbConnectAddr
    virtual void HideProbe() = 0;
    virtual void ShowScanAddress(const std::string& address) = 0;  // lbConnecting
    // Steps done out of all steps of the running search or scan.
    virtual void ShowProgress(int done, int total) = 0;
    // GoodConnectDlg: true for "OK - STOP Searching", false for "Search For More".
    virtual bool AskStopSearching(const std::string& baudText, const std::string& port, const std::string& address) = 0;
    virtual void HideConnectDialog() = 0;
};

inline constexpr int kProbeAddresses = 33;  // 1, 4, 7 ... 97

// The exact scan gives every address the full time-out; the quick one gives a
// silent address only what the boxes already heard need, and asks again with
// the full time-out wherever anything but silence came.
enum class ScanKind { Exact, Quick };
std::string ScanKindText(ScanKind kind);  // "exact scan", "quick scan"

// The quick scan's wait for an address after its command has crossed the wire:
// three times the slowest answer heard plus that answer's own wire time, and
// never less than 20 ms and three characters.
std::chrono::microseconds QuickScanWait(std::chrono::microseconds slowestAnswer, std::size_t answerBytes,
                                        std::uint32_t baud);

// "#01" .. "#99"; empty outside 1..99.
std::string AddressText(int address);
// The bus address of a text "#nn", nn two decimal digits (00, the broadcast,
// included); empty for any other text.
std::optional<int> AddressNumber(const std::string& text);

class Connector {
public:
    Connector(Session& session, SearchView& view) : s_(session), view_(view) {}

    // A new connect, before the dialog: clears the abort and the tables.
    void BeginNewConnect();
    // A new connect, after the dialog, whatever happened in it.
    void FinishNewConnect();

    void SearchForBox();
    bool ProbePortBaud();
    void ScanAddresses();
    void SetScanKind(ScanKind kind) { scanKind_ = kind; }
    ScanKind Kind() const { return scanKind_; }
    bool ConnectFromIni();
    // The first address the last scan could not ask (the adapter was unplugged
    // there; it was said); 0 when the scan ran its course.
    int NotAskedFrom() const { return notAskedFrom_; }
    // Ends the search or scan at its next step; from then on until the next
    // BeginNewConnect no port is opened and no read-out runs. Any thread.
    void Abort() { aborted_ = true; }
    bool Aborted() const { return aborted_.load() || s_.Stopping(); }

private:
    void ResetTables();
    // Runs what the operator queued (an Abort) first.
    bool OpenPort();
    void ReadOut();
    void ShowFound();
    void StepProgress();
    void QuickScan();
    // One "ID" at `address`; false when the adapter went away (said once).
    bool AskId(int address, std::chrono::milliseconds timeout, link::Reply& reply);
    // A box settled at `address`: true when the scan ends with it.
    bool Found(int address, int& count);

    Session& s_;
    SearchView& view_;
    int progressDone_ = 0;
    int progressTotal_ = 0;
    int notAskedFrom_ = 0;
    int probeAnswered_ = 0;  // the address that answered the last probe
    ScanKind scanKind_ = ScanKind::Exact;
    std::atomic<bool> aborted_{false};
};

// Fills the four transducer slots from AddressTable, in address order.
void AssignTransducerSlots(AppState& state);
// Proposes the capture file of each slot: DefaultFolder + the ID answer made a
// safe file name (link::FileNamePart) + ".txt".
void NameCaptureFiles(AppState& state);

}  // namespace tessary::app
