#include "device/DeviceInfo.h"

#include "app/Connect.h"
#include "app/Session.h"
#include "app/private/AppState.h"
#include "device/DeviceTime.h"

#include <charconv>
#include <cmath>

namespace tessary::device {

namespace {
constexpr const char* kNotInitialized = "Not Initialized";
using link::kBroadcast;
constexpr std::uint32_t kMaxPollTimeoutMs = 60000;
}  // namespace

link::Reply AskBox(app::Session& session, const std::string& word, link::ExchangeOptions options) {
    auto& st = session.State();
    st.CommandText = st.CurrentAddress + word + "\r\n";
    // Closing: a read-out of twenty exchanges must not hold the exit.
    if (session.Stopping()) {
        link::Reply none;
        none.text = link::kNoConnect;
        return none;  // NotOpen
    }
    return session.Link().Exchange(st.CommandText, options);
}

std::string QueryBox(app::Session& session, const std::string& word, link::ExchangeOptions options) {
    return AskBox(session, word, options).text;
}

std::string UnitItemName(const std::string& upAnswer) {
    const auto comma = upAnswer.find(',');
    const std::string name = comma == std::string::npos ? std::string() : upAnswer.substr(0, comma);
    if (name == "C") return "Celsius";
    if (name == "K") return "Kelvin";
    if (name == "F") return "Fahrenheit";
    if (name == "R") return "Rankine";
    return name;
}

std::string ReadDisplayMode(app::Session& session, link::ExchangeOptions options) {
    auto& st = session.State();
    std::string result;
    if (st.CurrentAddress != kBroadcast) {
        const std::string a = QueryBox(session, "DM", options);
        if (a.size() < 2) {
            const int mode = a.size() == 1 && a[0] >= '0' && a[0] <= '9' ? a[0] - '0' : 0;
            result = mode >= 1 && mode <= 7 ? kDisplayModes[static_cast<std::size_t>(mode - 1)] : "0";
            st.Info.KestinSelection = mode >= 1 && mode <= 7 ? mode - 1 : -1;
        } else {
            result = app::kNoConnect;
        }
    }
    if (st.CurrentAddress == kBroadcast)
        result = kBroadcast;
    else if (st.CurrentAddress == app::kNoConnect)
        result = app::kNoConnect;
    return result;
}

void ReadPanelUnits(app::Session& session, link::ExchangeOptions options) {
    auto& st = session.State();
    for (std::size_t k = 0; k < 4; ++k) {
        const std::string& caption = st.TransducerCaption[k];
        // A caption too short to hold an address has no box to ask.
        if (caption == app::kNoConnect || caption.size() < 3 || session.Stopping()) continue;
        const std::string p = caption.substr(0, 3);
        st.CommandText = p + "UN1\r\n";
        st.Info.PanelPUnits[k] = session.Link().Exchange(st.CommandText, options).text;
        st.CommandText = p + "UN2\r\n";
        st.Info.PanelTUnits[k] = session.Link().Exchange(st.CommandText, options).text;
    }
}

void ReadDeviceInfo(app::Session& session) { ReadInformation(session, false); }

InfoReadOut ReadInformation(app::Session& session, bool stopWhenSilent) {
    auto& st = session.State();
    auto& info = st.Info;
    auto& link = session.Link();
    InfoReadOut out;
    // Every answer is filed as a field: a late answer must not land in the next one.
    const auto Ask = [&](const std::string& word) {
        const link::Reply reply = AskBox(session, word, link::kFiledAsData);
        if (reply.outcome == link::ExchangeOutcome::Garbled) out.garbled.push_back(word);
        out.lateDiscarded = out.lateDiscarded || reply.lateDiscarded;
        return reply.text;
    };
    session.Op().ProcessEvents();
    app::BusyCursor busy(session.Op());

    st.BaudRateValue = std::to_string(link.LinkBaudRate());
    st.ComPortValue = link.LinkPortName();
    st.DataPrecisionValue = std::to_string(st.DataPrecision);
    if (st.CurrentAddress.empty()) return out;
    st.AddressValue = st.CurrentAddress;

    if (st.CurrentAddress == kBroadcast) {
        for (std::string* field : {&info.ModelNumber, &info.FPGA, &info.KestinDisplay, &info.SerialNumber,
                                   &info.GateTime, &info.FirmwareVersion, &info.ClockTime, &info.InitLog,
                                   &info.LogRate, &info.LogStart, &info.LogStop, &info.PressUnits, &info.TempUnits,
                                   &st.DataPrecisionValue})
            *field = kBroadcast;
        st.CommandLineText = kBroadcast;
        return out;
    }

    const std::string model = Ask("M");
    if (stopWhenSilent && model == app::kNoConnect) {
        out.unanswered = true;
        return out;
    }
    info.ModelNumber = model;
    // The FPGA version is the one answer only the digital family gives in 8 characters.
    if (Ask("VF").size() == 8) {
        st.DeviceType = kDigital;
        info.FpgaRowVisible = true;
        info.KestinRowVisible = false;
        info.KestinButtonVisible = false;
        info.FPGA = Ask("VF");
    } else {
        st.DeviceType = kKestin;
        info.KestinRowVisible = true;
        info.FpgaRowVisible = false;
        info.KestinDisplay = ReadDisplayMode(session, link::kFiledAsData);
    }
    ++info.DeviceTypeSerial;

    info.SerialNumber = Ask("ID");
    if (const auto n = app::AddressNumber(st.CurrentAddress))
        st.AddressTable[static_cast<std::size_t>(*n)] = info.SerialNumber;
    // The box an unplugged adapter must bring back before the loops go on.
    if (info.SerialNumber != app::kNoConnect && (out.garbled.empty() || out.garbled.back() != "ID"))
        session.Watch().Arm(st.CurrentAddress, info.SerialNumber);
    info.FirmwareVersion = Ask("VER");
    info.GateTime = Ask("GA");
    info.PressUnits = Ask("UN1");
    info.PUnits = info.PressUnits;
    info.TempUnits = Ask("UN2");
    info.TUnits = info.TempUnits;
    ReadPanelUnits(session, link::kFiledAsData);
    st.CommandLineText = st.CurrentAddress;

    for (int i = 1; i <= 8; ++i) {
        const std::string name = UnitItemName(Ask("UP" + std::to_string(i)));
        info.PressUnitItems.push_back(name);
        info.TempUnitItems.push_back(name);
    }

    info.ClockTime = FormatDeviceTime(Ask("TM"));

    if (Ask("LI") == "ERROR 13")
        info.InitLog = kNotInitialized;
    else
        info.InitLog = Ask("LI");  // the first answer only says that a list is there

    const std::string rate = Ask("LR");
    info.LogRate = rate == "ERROR 4" ? kNotInitialized : rate;

    const std::string ls = Ask("LS");
    if (ls.size() == 39) {
        st.LogStartText = ls.substr(0, 19);
        info.LogStart = FormatDeviceTime(ls.substr(0, 19));
        info.LogStop = FormatDeviceTime(ls.substr(20, 19));
    } else if (ls.size() == 19) {
        st.LogStartText = ls;
        info.LogStart = FormatDeviceTime(ls);
    } else {
        const std::string tail = ls.size() >= 2 ? ls.substr(ls.size() - 2) : ls;
        const std::string shown = tail == "14" ? "Log is Full" : tail == "13" ? kNotInitialized : ls;
        info.LogStart = shown;
        info.LogStop = shown;
    }
    return out;
}

std::uint32_t TimeoutFromGateTime(const std::string& gateTimeText) {
    // from_chars: the window's locale must not turn "0.5" into 0.
    const char* begin = gateTimeText.data();
    const char* end = begin + gateTimeText.size();
    double g = 0;
    const auto [stop, ec] = std::from_chars(begin, end, g);
    const bool number = !gateTimeText.empty() && ec == std::errc() && stop == end && std::isfinite(g);
    if (!number || g < 1.0) return 1000;
    const double ms = std::floor(g * 1500.0);
    return ms >= kMaxPollTimeoutMs ? kMaxPollTimeoutMs : static_cast<std::uint32_t>(ms);
}

void TimeoutFromGateTime(app::Session& session) {
    session.Link().SetResponseTimeoutMs(TimeoutFromGateTime(session.State().Info.GateTime));
}

}  // namespace tessary::device
