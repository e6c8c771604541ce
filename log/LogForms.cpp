#include "log/LogForms.h"

#include "device/DeviceTime.h"

#include <cstdint>
#include <limits>

namespace tessary::log {

namespace {
bool IsDigit(char c) { return c >= '0' && c <= '9'; }
bool AllDigits(const std::string& s) {
    if (s.empty()) return false;
    for (char c : s)
        if (!IsDigit(c)) return false;
    return true;
}
}  // namespace

std::optional<long long> WholeNumber(const std::string& text) {
    std::size_t i = 0;
    while (i < text.size() && text[i] == ' ') ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
    if (i == text.size()) return std::nullopt;
    long long v = 0;
    for (; i < text.size(); ++i) {
        if (!IsDigit(text[i])) return std::nullopt;
        v = v * 10 + (text[i] - '0');
        if (v > static_cast<long long>(std::numeric_limits<std::int32_t>::max()) + 1) return std::nullopt;
    }
    if (negative) v = -v;
    if (v > std::numeric_limits<std::int32_t>::max()) return std::nullopt;
    return v;
}

std::string ConversionError(const std::string& text) { return "'" + text + "' is not a valid integer value."; }

std::string InitLogCommand(const std::string& address, const std::array<bool, 4>& chosen) {
    std::string command = address + "LI=TM";
    for (std::size_t i = 0; i < chosen.size(); ++i)
        if (chosen[i]) command += ",D" + std::to_string(i + 1);
    // The time stamp alone is no log: nothing to send.
    return command.size() > address.size() + 5 ? command : std::string();
}

void LogRateForm::NotInitialisedDefaults() {
    EditLogRate = "1";
    SelectCondition(Neither);
    BasedOnEnabled = false;
    DataStepEnabled = false;
}

void LogRateForm::Prefill(const std::string& s) {
    if (s == "Not Initalized" || s == "Not Initialized") return NotInitialisedDefaults();
    // A rate alone (the box's answer without a condition).
    if (s.size() < 3 || AllDigits(s)) {
        EditLogRate = s;
        SelectCondition(Neither);
        BasedOnEnabled = false;
        DataStepEnabled = false;
        return;
    }
    // "10 OR D1 = 5" / "30 AND D3 = 100": the item digit follows "D" (OR) or
    // the "D" of "AND" after one blank; the step follows "= ".
    const auto blank = s.find(' ');
    const auto d = s.find('D');
    const auto eq = s.find('=');
    const bool isOr = s.find('O') != std::string::npos;
    const bool isAnd = !isOr && s.find('A') != std::string::npos;
    const std::size_t digitAt = d == std::string::npos ? s.size() : d + (isOr ? 1 : 3);
    if (blank == std::string::npos || !AllDigits(s.substr(0, blank)) || (!isOr && !isAnd) || eq == std::string::npos ||
        digitAt >= s.size() || !IsDigit(s[digitAt]))
        return NotInitialisedDefaults();

    EditLogRate = s.substr(0, blank);
    const int item = s[digitAt] - '1';
    SelectCondition(isOr ? Or : And);
    BasedOn = item >= 0 && item <= 3 ? item : -1;  // selected, not clicked
    ConditionText = isOr ? "OR" : "AND";
    BasedOnText = s.substr(isOr ? d : d + 2, 2);
    EditDataStep = eq + 2 <= s.size() ? s.substr(eq + 2) : std::string();
    StepText = EditDataStep;
}

void LogRateForm::SelectCondition(int index) {
    if (index == ConditionIndex) return;
    ConditionIndex = index;
    if (index == And || index == Or) {
        ConditionText = index == And ? " AND" : " OR";
        BasedOnEnabled = true;
        SelectBasedOn(0);
        DataStepEnabled = true;
        if (EditDataStep.empty()) EditDataStep = "1";
    } else {
        ConditionText.clear();
        BasedOnEnabled = false;
        BasedOn = -1;
        DataStepEnabled = false;
    }
}

void LogRateForm::SelectBasedOn(int index) {
    if (index < 0 || index > 3) return;
    BasedOn = index;
    BasedOnText = " D" + std::to_string(index + 1);
    StepUnitVisible = index < 2;
    if (StepUnitVisible) StepUnit = index == 0 ? PressUnit : TempUnit;
}

void LogRateForm::UpdateStepUnit() {
    StepUnitVisible = BasedOn == 0 || BasedOn == 1;
    if (StepUnitVisible) StepUnit = BasedOn == 0 ? PressUnit : TempUnit;
}

bool LogRateForm::Ok() {
    const auto rate = WholeNumber(EditLogRate);
    if (!rate) {
        EditLogRate.clear();
        return false;
    }
    RateText = std::to_string(*rate);
    if (!BasedOnText.empty() && EditDataStep.empty()) EditDataStep = "1";
    StepText = EditDataStep;
    return true;
}

std::string LogRateForm::Command(const std::string& address) const {
    std::string command = address + "LR=" + RateText;
    if (!ConditionText.empty()) command += ConditionText + BasedOnText + "=" + StepText;
    return command;
}

std::string LogTimeArgument(bool stop, bool now, const std::string& pickedTime, const std::string& logStartText) {
    if (now) return stop ? "STOP" : "START";
    return stop ? logStartText + "," + pickedTime : pickedTime;
}

LogTimeAnswer ReadLogTimeAnswer(const std::string& a, bool stop) {
    using device::FormatDeviceTime;
    LogTimeAnswer r;
    const std::string tail = a.size() >= 2 ? a.substr(a.size() - 2) : std::string();
    if (a.size() == 39) {
        r.start = FormatDeviceTime(a.substr(0, 19));
        r.stop = FormatDeviceTime(a.substr(20, 19));
        r.logStartText = a.substr(0, 19);
    } else if (a.size() == 19) {
        r.start = FormatDeviceTime(a);
        if (stop)
            r.stop = kNotInitalized;
        else
            r.logStartText = a;
    } else if (tail == "14") {
        r.start = r.stop = kLogIsFull;
    } else if (tail == "13") {
        r.start = r.stop = kNotInitalized;
    } else if (stop) {
        r.stop = a;
    } else {
        r.start = a;
    }
    return r;
}

DumpRange CorrectDumpRange(const std::string& startText, const std::string& endText, long long setCount) {
    const auto start = WholeNumber(startText);
    if (!start) return {{}, {}, ConversionError(startText)};
    const auto end = WholeNumber(endText);
    if (!end) return {{}, {}, ConversionError(endText)};
    long long s = *start < 0 ? -*start : *start;
    long long e = *end < 0 ? -*end : *end;
    if (e < 1) s = 1;
    if (e > setCount) e = setCount;
    if (e < s) s = e;
    return {std::to_string(s), std::to_string(e), {}};
}

}  // namespace tessary::log
