#include "device/Readings.h"

#include "app/Session.h"
#include "app/private/AppState.h"
#include "device/DeviceInfo.h"
#include "device/DeviceTime.h"

#include <charconv>
#include <chrono>
#include <functional>
#include <cmath>
#include <set>

namespace tessary::device {

namespace {

std::optional<double> Number(const std::string& text) {
    // from_chars: the window's locale must not read "25.5" as 25.
    double v = 0;
    const char* end = text.data() + text.size();
    const auto [stop, ec] = std::from_chars(text.data(), end, v);
    if (text.empty() || ec != std::errc() || stop != end || !std::isfinite(v)) return std::nullopt;
    return v;
}

// Both switches refuse alike, before their state is looked at.
bool AddressChecked(app::Session& session) {
    const std::string& address = session.State().CurrentAddress;
    if (address.empty()) {
        session.Op().ShowMessageBox("Please Auto Connect first.");
        return false;
    }
    if (address == "#00") {
        session.Op().ShowMessageBox("Please select an address first.");
        return false;
    }
    return true;
}

// The one road from the switches to the loops' flags, labels and time-out.
bool Switch(app::Session& session, bool on, bool& stopped, std::string& label) {
    if (!AddressChecked(session)) return false;
    if (!on) {
        stopped = true;
        label = kGetReadingsCaption;
        session.Link().SetResponseTimeoutMs(1000);
        return false;
    }
    stopped = false;
    label = kStopCaption;
    TimeoutFromGateTime(session);
    return true;
}

enum class Pause { NotUnplugged, Resumed, Ended };

// A failed exchange of a loop: when the adapter is gone, the loop waits for it
// here (the operator's requests still run, the switch still stops it) instead
// of showing "NoConnect". Ended: the loop is over, the operator told why.
Pause AwaitAdapter(app::Session& session, std::chrono::steady_clock::time_point since,
                   const std::function<bool()>& stopped, bool& stopFlag, std::string& label) {
    auto& watch = session.Watch();
    if (!watch.UnpluggedSince(since)) return Pause::NotUnplugged;
    auto& op = session.Op();
    const auto back = watch.AwaitReturn(since, stopped, [&op](int ms) { op.WaitForEvents(ms); });
    if (back.kind == app::LineWatch::ReturnKind::Resumed) return Pause::Resumed;
    if (back.kind == app::LineWatch::ReturnKind::Refused) {
        stopFlag = true;
        label = kGetReadingsCaption;
        op.ShowState();
        op.ShowMessageBox(back.notice + ". The readings stopped.");
    }
    return Pause::Ended;
}

// A loop's readings, handed to the publisher with the box they came from.
class Publishing {
public:
    explicit Publishing(ReadingsPublisher* publisher) : publisher_(publisher) {}
    void Publish(const std::string& address, const std::string& id, const link::Reply& reply, const app::InfoValues* info) {
        using link::ExchangeOutcome;
        if (!publisher_ || reply.outcome == ExchangeOutcome::HangUp || reply.outcome == ExchangeOutcome::NotOpen ||
            reply.outcome == ExchangeOutcome::Broadcast || reply.outcome == ExchangeOutcome::Stopped)
            return;
        if (started_.insert(address).second) {
            PublishedBox box{address, id, {}, {}, {}, {}};
            if (info) box = {address, id, info->ModelNumber, info->FirmwareVersion, info->PressUnits, info->TempUnits};
            publisher_->BoxStarted(box);
        }
        PublishedReading row;
        row.address = address;
        row.id = id;
        row.pcTime = std::chrono::system_clock::now();
        // The loops ask "TM;D3;D4;D1;D2": counts before values.
        const Reading r = ParseReadings(reply.text, 1 << 20);
        if (reply.outcome == ExchangeOutcome::Garbled) {
            row.error = "garbled";
        } else if (!r.complete || reply.text.find(':') == std::string::npos) {
            row.error = std::string(link::kNoConnect);
        } else {
            row.boxTime = FormatCaptureTime(reply.text.substr(0, reply.text.find(',')));
            row.pressure = r.press;
            row.temperature = r.temp;
            row.pressureCounts = r.pressCounts;
            row.temperatureCounts = r.tempCounts;
        }
        publisher_->Reading(row);
    }

private:
    ReadingsPublisher* publisher_;
    std::set<std::string> started_;
};

}  // namespace

std::string CutToPrecision(const std::string& field, int precision) {
    const std::size_t keep = precision < 0 ? 0 : static_cast<std::size_t>(precision);
    const auto point = field.find('.');
    if (point == std::string::npos) return field.substr(0, keep);
    return field.substr(0, point + 1 + keep);
}

Reading ParseReadings(const std::string& answer, int precision) {
    Reading r;
    std::array<std::string, 5> f;
    std::size_t from = 0;
    for (std::size_t k = 0; k < 4; ++k) {
        const auto comma = answer.find(',', from);
        if (comma == std::string::npos) {
            r.time = answer;
            return r;
        }
        f[k] = answer.substr(from, comma - from);
        from = comma + 1;
    }
    f[4] = answer.substr(from);
    r.time = FormatDeviceTime(f[0]);
    r.pressCounts = f[1];
    r.tempCounts = f[2];
    r.press = CutToPrecision(f[3], precision);
    r.temp = CutToPrecision(f[4], precision);
    r.pressure = Number(f[3]);
    r.temperature = Number(f[4]);
    r.complete = true;
    return r;
}

bool ProbeDevice(app::Session& session, const std::string& address) {
    auto& st = session.State();
    st.CommandText = address + "VF" + "\r\n";
    for (int attempt = 0; attempt < 3; ++attempt) {
        st.ReplyText = session.Link().Exchange(st.CommandText, link::kFiledAsData).text;
        if (st.ReplyText != link::kNoConnect) return true;
    }
    return false;
}

link::Reply ShowReadings(app::Session& session, const std::string& address, ReadingsView& displays) {
    // Filed as data: after a silent exchange the line must be quiet first, or a
    // late answer would be shown as this one.
    // A box seen answering late gets as long as it took.
    link::DeviceLink& line = session.Link();
    const auto timeout = line.TimeoutFor(address, std::chrono::milliseconds(line.ResponseTimeoutMs()));
    link::Reply reply = line.Exchange(address + kReadingsCommand + "\r\n", {timeout, true, session.StopFlag()});
    // An unplugged adapter leaves the last reading shown; the status line says why.
    const bool unplugged = reply.outcome == link::ExchangeOutcome::HangUp ||
                           (reply.outcome == link::ExchangeOutcome::NotOpen && session.Watch().Unplugged());
    if (!unplugged) displays.ShowReading(ParseReadings(reply.text, session.State().DataPrecision));
    return reply;
}

void ClearReadings(ReadingsView& displays) { displays.ClearReadings(); }

bool SwitchPanelPolling(app::Session& session, bool on) {
    auto& st = session.State();
    return Switch(session, on, st.PanelPollStopped, st.GetReadingsLabel);
}

bool SwitchSinglePolling(app::Session& session, bool on) {
    auto& st = session.State();
    return Switch(session, on, st.SinglePollStopped, st.EZGetReadingsLabel);
}

bool PanelPollingStopped(const app::Session& session) { return session.State().PanelPollStopped; }
bool SinglePollingStopped(const app::Session& session) { return session.State().SinglePollStopped; }

void PollPanels(app::Session& session, const std::array<ReadingsView*, 4>& panels, ReadingsPublisher* publisher) {
    auto& st = session.State();
    Publishing publishing(publisher);
    auto& op = session.Op();
    const std::function<bool()> stopped = [&] { return st.PanelPollStopped || session.Stopping(); };
    while (!stopped()) {
        bool sent = false;
        for (std::size_t k = 0; k < panels.size(); ++k) {
            op.ProcessEvents();
            std::string& slot = st.TransducerCaption[k];
            // An empty slot (no search yet) has no box either.
            if (!slot.empty() && slot != app::kNoConnect && !stopped()) {
                const std::string address = slot.substr(0, 3);
                sent = true;
                const auto since = std::chrono::steady_clock::now();
                const bool present = ProbeDevice(session, address);
                bool hungUp = false;
                if (present && panels[k]) {
                    const link::Reply reply = ShowReadings(session, address, *panels[k]);
                    hungUp = reply.outcome == link::ExchangeOutcome::HangUp;
                    const auto id = slot.find_first_not_of(' ', 3);
                    publishing.Publish(address, id == std::string::npos ? std::string() : slot.substr(id), reply,
                                       address == st.CurrentAddress ? &st.Info : nullptr);
                }
                if (present && !hungUp) {
                    op.ProcessEvents();
                } else if (const Pause p = AwaitAdapter(session, since, stopped, st.PanelPollStopped, st.GetReadingsLabel);
                           p == Pause::Ended) {
                    return;
                } else if (p == Pause::NotUnplugged && !present) {
                    slot = app::kNoConnect;
                    session.PublishConnection();  // the capture page drops the slot
                    if (panels[k]) {
                        panels[k]->ShowCaption(slot);
                        ClearReadings(*panels[k]);
                    }
                }
            }
            op.ProcessEvents();
        }
        // Nothing left to poll: sleep until the operator acts (a connect may fill a slot).
        if (!sent && !stopped()) op.WaitForEvents(kIdleWaitMs);
    }
}

void PollSingle(app::Session& session, ReadingsView& panel, ReadingsPublisher* publisher) {
    auto& st = session.State();
    Publishing publishing(publisher);
    auto& op = session.Op();
    const std::function<bool()> stopped = [&] { return st.SinglePollStopped || session.Stopping(); };
    while (!stopped()) {
        // These come back at once (no port, a hang-up, "#00" selected in a nested
        // handler); waiting keeps them from spinning.
        const auto since = std::chrono::steady_clock::now();
        const link::Reply reply = ShowReadings(session, st.CurrentAddress, panel);
        publishing.Publish(st.CurrentAddress, st.Info.SerialNumber, reply, &st.Info);
        const auto outcome = reply.outcome;
        using link::ExchangeOutcome;
        if (outcome == ExchangeOutcome::NotOpen || outcome == ExchangeOutcome::HangUp) {
            const Pause p = AwaitAdapter(session, since, stopped, st.SinglePollStopped, st.EZGetReadingsLabel);
            if (p == Pause::Ended) return;
            if (p == Pause::NotUnplugged) op.WaitForEvents(kIdleWaitMs);
        } else if (outcome == ExchangeOutcome::Broadcast) {
            op.WaitForEvents(kIdleWaitMs);
        } else {
            op.ProcessEvents();
        }
    }
}

}  // namespace tessary::device
