#include "app/Connect.h"

#include "app/ShownText.h"
#include "app/private/AppState.h"
#include "link/Files.h"
#include "link/NetPort.h"

#include <algorithm>
#include <array>
#include <chrono>

namespace tessary::app {

namespace {
// The search's own time-outs, given to each exchange: the link's setting is the
// operator's and stays as it is.
constexpr std::chrono::milliseconds kProbeTimeout{500}, kScanTimeout{200}, kIniTimeout{500};

// The search's answer: noise (bytes outside printable ASCII) counts as none, so
// a box heard at the wrong rate does not stop the search at that rate.
std::string SearchAnswer(link::DeviceLink& link, const std::string& command, std::chrono::milliseconds timeout) {
    const link::Reply reply = link.Exchange(command, {timeout});
    return reply.outcome == link::ExchangeOutcome::Garbled ? std::string(kNoConnect) : reply.text;
}
}  // namespace

std::string AddressText(int address) {
    if (address < 1 || address > 99) return {};
    return (address < 10 ? "#0" : "#") + std::to_string(address);
}

std::optional<int> AddressNumber(const std::string& text) {
    if (text.size() != 3 || text[0] != '#') return std::nullopt;
    if (text[1] < '0' || text[1] > '9' || text[2] < '0' || text[2] > '9') return std::nullopt;
    return (text[1] - '0') * 10 + (text[2] - '0');
}

void AssignTransducerSlots(AppState& st) {
    for (auto& c : st.TransducerCaption) c = kNoConnect;
    std::size_t slot = 0;
    for (int a = 1; a <= 99 && slot < st.TransducerCaption.size(); ++a) {
        if (st.AddressTable[a] == kNoConnect) continue;
        st.TransducerCaption[slot] = AddressText(a) + "    " + st.AddressTable[a];
        st.TransducerAddress[slot] = st.TransducerCaption[slot].substr(0, 3);
        ++slot;
    }
    // Slots after the last box keep the address they had (the INI file's).
}

void NameCaptureFiles(AppState& st) {
    for (std::size_t k = 0; k < st.CapturePath.size(); ++k) {
        const std::string& caption = st.TransducerCaption[k];
        // The box's text never chooses the folder: it is made a safe name.
        const std::string id = caption.size() > 7 ? link::FileNamePart(caption.substr(7)) : std::string();
        st.CapturePath[k] = st.DefaultFolder + id + ".txt";
    }
}

void Connector::ResetTables() {
    auto& st = s_.State();
    for (auto& c : st.TransducerCaption) c = kNoConnect;
    for (std::size_t a = 1; a < st.AddressTable.size(); ++a) st.AddressTable[a] = kNoConnect;
}

void Connector::BeginNewConnect() {
    aborted_ = s_.Stopping();
    ResetTables();
}

bool Connector::OpenPort() {
    s_.Op().ProcessEvents();
    return !Aborted() && s_.Link().OpenComPort();
}

void Connector::ReadOut() {
    s_.Op().ProcessEvents();
    if (!Aborted()) s_.ReadDeviceInfo();
}

void Connector::FinishNewConnect() {
    AssignTransducerSlots(s_.State());
    ReadOut();
    NameCaptureFiles(s_.State());
}

void Connector::StepProgress() {
    ++progressDone_;
    view_.ShowProgress(std::min(progressDone_, progressTotal_), progressTotal_);
}

void Connector::ShowFound() {
    auto& st = s_.State();
    st.BaudRateValue = std::to_string(s_.Link().LinkBaudRate());
    st.ComPortValue = s_.Link().LinkPortName();
    st.ConnectionFound = true;
}

bool Connector::ProbePortBaud() {
    auto& link = s_.Link();
    view_.ShowProbe(link.LinkPortName(), link.LinkBaudRate());
    bool answered = false;
    for (int a = 1; a < 99; a += 3) {
        s_.Op().ProcessEvents();
        if (Aborted()) return false;
        const std::string address = AddressText(a);
        view_.ShowProbeAddress(address);
        s_.State().ReplyText = SearchAnswer(link, address + "VER\r\n", kProbeTimeout);
        StepProgress();
        if (s_.State().ReplyText != kNoConnect) {
            probeAnswered_ = a;
            answered = true;
            break;
        }
    }
    view_.HideProbe();
    return answered;
}

void Connector::SearchForBox() {
    auto& link = s_.Link();
    auto& st = s_.State();
    ResetTables();
    notAskedFrom_ = 0;
    probeAnswered_ = 0;
    // One probe here, then at most every other rate on each of the four ports.
    progressDone_ = 0;
    progressTotal_ = kProbeAddresses * (1 + static_cast<int>(link::kComPortNames.size()) *
                                                (static_cast<int>(kBaudSearchOrder.size()) - 1));
    view_.ShowProgress(0, progressTotal_);

    OpenPort();
    bool found = ProbePortBaud();
    std::vector<std::string> fixedRates;  // said when nothing is found: the rates not tried there
    if (found) {
        ShowFound();
    } else {
        progressDone_ = kProbeAddresses;
        const std::uint32_t startRate = link.LinkBaudRate();
        const std::string startPort = link.LinkPortName();
        for (std::size_t p = 0; p < link::kComPortNames.size() && !found; ++p) {
            const int portBase = kProbeAddresses * (1 + static_cast<int>(p) * (static_cast<int>(kBaudSearchOrder.size()) - 1));
            link.SetLinkPortName(link::kComPortNames[p]);
            if (!OpenPort()) continue;
            // Every other rate is skipped on a line whose rate the server fixes.
            if (!link.CanChangeRate()) {
                fixedRates.push_back(std::string(link::kComPortNames[p]) + " (" + link.DevicePath() +
                                     ") keeps the rate its server sets: only " + std::to_string(startRate) +
                                     " baud was tried there");
                link.SetLinkBaudRate(startRate);
                progressDone_ = portBase;
                if (link.LinkPortName() != startPort && ProbePortBaud()) {
                    ShowFound();
                    found = true;
                }
                continue;
            }
            int step = 0;
            for (std::uint32_t rate : kBaudSearchOrder) {
                link.SetLinkBaudRate(rate);
                if (rate == startRate) continue;
                progressDone_ = portBase + kProbeAddresses * step++;
                for (const auto& text : link.ApplyBaudRate().failures) s_.Op().ShowMessageBox(text);
                if (ProbePortBaud()) {
                    ShowFound();
                    found = true;
                    break;
                }
            }
        }
    }
    view_.ShowProgress(progressTotal_, progressTotal_);

    if (!st.ConnectionFound) {
        st.BaudRateValue.clear();
        st.ComPortValue.clear();
        link.SetLinkPortName("COM1");
        link.SetLinkBaudRate(9600);
        for (const auto& text : fixedRates) s_.Op().ShowMessageBox(text);
        s_.Op().ShowMessageBox("  Sorry.  Can not find device.");
        return;
    }
    ScanAddresses();
}

std::string ScanKindText(ScanKind kind) { return kind == ScanKind::Quick ? "quick scan" : "exact scan"; }

std::chrono::microseconds QuickScanWait(std::chrono::microseconds slowestAnswer, std::size_t answerBytes,
                                        std::uint32_t baud) {
    const auto chars = [baud](std::size_t n) {
        return std::chrono::microseconds(static_cast<std::int64_t>(n) * 10'000'000 / std::max<std::uint32_t>(baud, 1));
    };
    return std::max(3 * slowestAnswer + chars(answerBytes), std::chrono::microseconds(20'000) + chars(3));
}

bool Connector::AskId(int a, std::chrono::milliseconds timeout, link::Reply& reply) {
    const std::string address = AddressText(a);
    view_.ShowScanAddress(address);
    reply = s_.Link().Exchange(address + "ID\r\n", {timeout});
    if (reply.outcome != link::ExchangeOutcome::HangUp && reply.outcome != link::ExchangeOutcome::NotOpen) return true;
    // The boxes not asked are not absent: the result must not pass for a whole one.
    notAskedFrom_ = a;
    const bool network = link::IsNetworkPath(s_.Link().DevicePath());
    s_.Op().ShowMessageBox("The search stopped at " + address + ": " +
                           (network ? "the connection was lost. " : "the adapter was unplugged. ") +
                           (a == 99 ? "#99 was" : address + " to #99 were") + " not asked; search again once it is back.");
    return false;
}

bool Connector::Found(int a, int& count) {
    auto& link = s_.Link();
    const std::string address = AddressText(a);
    if (++count == 1) s_.State().CurrentAddress = address;
    if (!s_.State().TryIniFirst &&
        view_.AskStopSearching(std::to_string(link.LinkBaudRate()) + " BR", link.LinkPortName(), address)) {
        view_.HideConnectDialog();
        return true;
    }
    return count == 4;
}

void Connector::ScanAddresses() {
    auto& st = s_.State();
    st.CurrentAddress.clear();
    notAskedFrom_ = 0;
    if (scanKind_ == ScanKind::Quick) {
        QuickScan();
    } else {
        int count = 0;
        link::Reply reply;
        for (int a = 1; a <= 99; ++a) {
            s_.Op().ProcessEvents();
            // Abort leads from scanning to done, as it does from probing.
            if (Aborted() || !AskId(a, kScanTimeout, reply)) break;
            st.AddressTable[a] = reply.outcome == link::ExchangeOutcome::Garbled ? std::string(kNoConnect) : reply.text;
            view_.ShowProgress(a, 99);
            if (st.AddressTable[a] != kNoConnect && Found(a, count)) break;
        }
    }
    AssignTransducerSlots(st);
    ReadOut();
    NameCaptureFiles(st);
}

void Connector::QuickScan() {
    auto& link = s_.Link();
    auto& st = s_.State();
    const auto before = st.AddressTable;
    enum State : char { Unasked, Settled, Again };
    std::array<State, 100> state{};
    std::chrono::microseconds slowest{-1};
    std::size_t longest = 0;
    int count = 0, done = 0, lastBox = 99;
    bool end = false;
    link::Reply reply;
    // With the full time-out, as the exact scan asks.
    const auto askFully = [&](int a) {
        s_.Op().ProcessEvents();
        if (Aborted() || !AskId(a, kScanTimeout, reply)) return false;
        state[a] = Settled;
        st.AddressTable[a] = reply.outcome == link::ExchangeOutcome::Garbled ? std::string(kNoConnect) : reply.text;
        view_.ShowProgress(std::min(++done, 99), 99);
        if (st.AddressTable[a] == kNoConnect) return true;
        slowest = std::max(slowest, reply.answerAfter);
        longest = std::max(longest, reply.text.size() + 2);
        if (Found(a, count)) end = true, lastBox = a;
        return !end;
    };
    const auto askAll = [&](const std::vector<int>& addresses) {
        for (int a : addresses)
            if (state[a] != Settled && !askFully(a)) return false;
        return true;
    };

    // The boxes the search or the slots know are timed first; without one, the
    // addresses are asked in order until a box answers.
    std::vector<int> known;
    if (probeAnswered_) known.push_back(probeAnswered_);
    for (const auto& address : st.TransducerAddress)
        if (const int n = AddressNumber(address).value_or(0); n >= 1) known.push_back(n);
    std::sort(known.begin(), known.end());
    known.erase(std::unique(known.begin(), known.end()), known.end());
    bool goOn = askAll(known);
    for (int a = 1; goOn && a <= 99 && slowest.count() < 0; ++a) goOn = state[a] == Settled || askFully(a);

    if (goOn && slowest.count() >= 0) {
        const auto commandTime = link.WireTime(7);  // "#NNID" CR LF
        const auto timeout = std::min(kScanTimeout, std::chrono::ceil<std::chrono::milliseconds>(
                                                        commandTime + QuickScanWait(slowest, longest, link.LinkBaudRate())));
        // A slow box's answer may land in a later exchange: every address asked
        // in the full time-out before anything was heard is asked again.
        const auto reach = static_cast<std::size_t>(
            (kScanTimeout + link::kTrailingGap + std::chrono::ceil<std::chrono::milliseconds>(commandTime)) / timeout + 2);
        std::vector<int> asked;
        const auto askAgain = [&] {
            for (std::size_t i = asked.size() > reach ? asked.size() - reach : 0; i < asked.size(); ++i)
                state[asked[i]] = Again;
        };
        for (int a = 1; goOn && a <= 99; ++a) {
            if (state[a] != Unasked) continue;
            s_.Op().ProcessEvents();
            if (Aborted() || !AskId(a, timeout, reply)) goOn = false;
            if (!goOn) break;
            asked.push_back(a);
            view_.ShowProgress(std::min(++done, 99), 99);
            state[a] = Settled;
            st.AddressTable[a] = std::string(kNoConnect);
            if (reply.outcome != link::ExchangeOutcome::NoByte || reply.staleDiscarded) askAgain();
        }
        if (goOn) {
            const link::Reply tail = link.Exchange(std::string(link::kNoWrite), {kScanTimeout});
            if (tail.outcome != link::ExchangeOutcome::NoByte) askAgain();
            std::vector<int> again;
            for (int a = 1; a <= 99; ++a)
                if (state[a] == Again) again.push_back(a);
            askAll(again);
        }
    }
    // As the exact scan: the addresses past the box it ends with were not asked.
    for (int a = 1, boxes = 0; a <= 99; ++a) {
        if (a > lastBox || boxes == 4) st.AddressTable[a] = before[a];
        else boxes += st.AddressTable[a] != kNoConnect;
    }
    st.CurrentAddress.clear();
    for (int a = 1; a <= 99 && st.CurrentAddress.empty(); ++a)
        if (state[a] == Settled && st.AddressTable[a] != kNoConnect) st.CurrentAddress = AddressText(a);
}

bool Connector::ConnectFromIni() {
    auto& link = s_.Link();
    auto& st = s_.State();
    ResetTables();
    if (!OpenPort()) {
        // Another program's port or a forbidden one is said once, before the addresses fail.
        const std::string refusal = link::OpenRefusalNotice(link.LinkPortName(), link.DevicePath(), link.LastOpenStatus());
        if (!refusal.empty()) s_.Op().ShowMessageBox(refusal);
    }
    for (std::size_t k = 0; k < st.TransducerAddress.size(); ++k) {
        if (s_.Stopping()) break;
        const std::string address = st.TransducerAddress[k];
        if (address.empty()) continue;
        const int n = AddressNumber(address).value_or(0);
        // An address that is not #01..#99 is not asked: #00 would "answer" as a
        // broadcast, and anything else has no place in the table.
        if (n != 0) st.ReplyText = link.Exchange(address + "ID\r\n", {kIniTimeout}).text;
        if (n != 0 && st.ReplyText != kNoConnect) {
            if (!st.ConnectionFound) {
                st.ConnectionFound = true;
                st.BaudRateValue = std::to_string(link.LinkBaudRate());
                st.ComPortValue = link.LinkPortName();
                st.AddressValue = address;
                st.CurrentAddress = address;
            }
            st.IniConnectOk = true;
            st.AddressTable[n] = link.Exchange(address + "ID\r\n", {kIniTimeout}).text;
        } else {
            s_.Op().ShowMessageBox("Could not to connect with parameters found in INI file " + ShownText(address) + ", " +
                                   std::to_string(link.LinkBaudRate()) + ", " + ShownText(link.LinkPortName()));
            st.TransducerAddress[k].clear();
        }
    }
    if (s_.Stopping()) return st.ConnectionFound;
    if (st.ConnectionFound) {
        AssignTransducerSlots(st);
        ReadOut();
        NameCaptureFiles(st);
    } else {
        s_.Op().ShowMessageBox("Can't connect using INI paramaters");
    }
    st.TryIniFirst = false;
    return st.ConnectionFound;
}

}  // namespace tessary::app
