#include "device/Settings.h"

#include "app/Session.h"
#include "app/private/AppState.h"
#include "device/DeviceInfo.h"

namespace tessary::device {

void CommitToEeprom(app::Session& session) {
    auto& st = session.State();
    st.ReplyText = QueryBox(session, "EW");
    if (st.CurrentAddress != "#00" && st.ReplyText != "0")
        session.Op().ShowMessageBox("Bravik Reported error " + st.ReplyText + " when writing to the EEprom.");
}

void AskMakePermanent(app::Session& session, SettingsView& view) {
    if (view.AskMakePermanent()) CommitToEeprom(session);
}

bool RequireConnection(app::Session& session) {
    if (!session.State().CurrentAddress.empty()) return true;
    session.Op().ShowMessageBox("Please Auto Connect first.");
    return false;
}

void ChangeGateTime(app::Session& session, SettingsView& view) {
    if (!RequireConnection(session)) return;
    auto& info = session.State().Info;
    const auto choice = view.AskGateTime(info.GateTime);
    if (!choice) return;
    // Sent as typed: the box judges the range and answers with what it took.
    info.GateTime = QueryBox(session, "GA=" + choice->text);
    if (choice->permanent) CommitToEeprom(session);
    TimeoutFromGateTime(session);
}

void SetDataPrecision(app::Session& session, int digits) {
    auto& st = session.State();
    st.DataPrecision = digits;
    st.DataPrecisionValue = std::to_string(digits);
}

int PressUnitsItemIndex(const std::string& unit) {
    if (unit == "bar") return 1;
    if (unit == "MPa") return 2;
    if (unit == "mH2O") return 3;
    return 0;
}

int TempUnitsItemIndex(const std::string& unit) {
    if (unit == "C") return 4;
    if (unit == "K") return 5;
    if (unit == "F") return 6;
    if (unit == "R") return 7;
    return 0;
}

namespace {
bool RequireAddress(app::Session& session) {
    if (!session.State().CurrentAddress.empty()) return true;
    session.Op().ShowMessageBox("Please select an address first.");
    return false;
}
}  // namespace

void SetPressUnits(app::Session& session, SettingsView& view, const std::string& item) {
    if (!RequireAddress(session)) return;
    auto& info = session.State().Info;
    info.PressUnits = QueryBox(session, "UN1=" + item);
    info.PUnits = item;
    ReadPanelUnits(session);
    AskMakePermanent(session, view);
}

void SetTempUnits(app::Session& session, SettingsView& view, const std::string& item) {
    if (!RequireAddress(session)) return;
    auto& info = session.State().Info;
    const std::string letter = item.substr(0, 1);  // the box knows "C", not "Celsius"
    info.TempUnits = QueryBox(session, "UN2=" + letter);
    info.TUnits = letter;
    ReadPanelUnits(session);
    AskMakePermanent(session, view);
}

bool SetDisplayMode(app::Session& session, SettingsView& view, int item) {
    if (item < 0 || item >= static_cast<int>(kDisplayModes.size())) return false;
    auto& info = session.State().Info;
    const std::string chosen = kDisplayModes[static_cast<std::size_t>(item)];
    if (chosen == info.KestinDisplay) return false;
    QueryBox(session, "DM=" + std::to_string(item + 1));
    info.KestinDisplay = ReadDisplayMode(session);
    const bool confirmed = view.AskMakePermanent();
    // Only a mode the box confirmed in its read-back is worth committing.
    const int sel = info.KestinSelection;
    if (confirmed && sel >= 0 && info.KestinDisplay == kDisplayModes[static_cast<std::size_t>(sel)])
        CommitToEeprom(session);
    return true;
}

}  // namespace tessary::device
