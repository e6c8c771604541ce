#pragma once
// The box's data log: the texts and bytes of its commands, the state its
// dialogs keep between showings, and the readers of its answers. Pure: no
// exchange, no operator.

#include <array>
#include <optional>
#include <string>

namespace tessary::log {

// The data items in list order: "Pressure" ... "Temperature Counts".
inline constexpr std::array<const char*, 4> kLogItems = {"Pressure", "Temperature", "Pressure Counts",
                                                         "Temperature Counts"};
inline constexpr const char* kNotInitalized = "Not Initalized";  // the box's own spelling, kept
inline constexpr const char* kLogIsFull = "Log is full";
inline constexpr const char* kBadRate = "Not a valid value for Rate!";

// A whole number as the operator may type it: leading blanks, an optional sign,
// decimal digits, nothing after; within 32 bits.
std::optional<long long> WholeNumber(const std::string& text);
// What a failed conversion tells the operator.
std::string ConversionError(const std::string& text);

// CurrentAddress + "LI=TM" + ",D1".. for each chosen item, in item order.
// Empty when no item is chosen: then nothing is sent.
std::string InitLogCommand(const std::string& address, const std::array<bool, 4>& chosen);

// LogRateDlg's fields and the four texts it keeps between showings. The dialog
// mirrors this and routes its handlers here.
struct LogRateForm {
    enum Condition { And = 0, Or = 1, Neither = 2 };

    std::string EditLogRate;
    int ConditionIndex = -1;  // rgCondition, -1: none yet
    int BasedOn = -1;         // LogBasedOnBox, -1: none selected
    bool BasedOnEnabled = true;
    bool DataStepEnabled = true;
    std::string EditDataStep;
    bool StepUnitVisible = false;
    std::string StepUnit;
    std::string PressUnit, TempUnit;  // the unit names shown at the time

    std::string RateText, ConditionText, BasedOnText, StepText;

    // Fills the fields from the rate label. A label that is neither a rate
    // alone nor an OR / AND form ("NoConnect", a garbled answer) gives the
    // fields of a log without items.
    void Prefill(const std::string& label);
    // rgCondition changes to `index` (nothing happens when it already is).
    void SelectCondition(int index);
    // A click on LogBasedOnBox item `index`.
    void SelectBasedOn(int index);
    // As the dialog shows: the unit beside the step follows the selected item.
    void UpdateStepUnit();
    // OK: false when the rate is not a whole number (EditLogRate is emptied).
    bool Ok();
    // CurrentAddress + "LR=" + rate [+ condition + item + "=" + step], no line end.
    std::string Command(const std::string& address) const;

private:
    void NotInitialisedDefaults();
};

// The "LS=" argument: "START"/"STOP" now, or the picked 19-character time;
// a stop at a time carries the known start first.
std::string LogTimeArgument(bool stop, bool now, const std::string& pickedTime, const std::string& logStartText);

// What an "LS=" answer shows. A label or text left empty here is left alone.
struct LogTimeAnswer {
    std::optional<std::string> start, stop, logStartText;
};
LogTimeAnswer ReadLogTimeAnswer(const std::string& answer, bool stop);

// "Save Log to File": the start and end fields corrected against the set count.
struct DumpRange {
    std::string start, end;  // as the fields now read, in plain decimal
    std::string error;       // a field that is not a whole number: the conversion error
};
DumpRange CorrectDumpRange(const std::string& start, const std::string& end, long long setCount);

}  // namespace tessary::log
