// The log's readers of box answers and operator fields: the rate label
// pre-fill, the start/stop answer table and the dump range corrections.
// Input: three fields separated by '\n'.

#include "log/LogForms.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string in(reinterpret_cast<const char*>(data), size);
    const auto a = in.find('\n');
    const auto b = a == std::string::npos ? a : in.find('\n', a + 1);
    const std::string label = in.substr(0, a);
    const std::string start = a == std::string::npos ? "" : in.substr(a + 1, b - a - 1);
    const std::string end = b == std::string::npos ? "" : in.substr(b + 1);

    tessary::log::LogRateForm form;
    form.Prefill(label);
    form.UpdateStepUnit();
    const bool ok = form.Ok();
    const std::string command = form.Command("#01");
    // The condition goes out only with an item to go with it.
    if (ok && form.ConditionIndex != tessary::log::LogRateForm::Neither && form.BasedOnText.empty()) std::abort();
    if (command.compare(0, 6, "#01LR=") != 0) std::abort();

    for (bool stop : {false, true}) {
        const auto shown = tessary::log::ReadLogTimeAnswer(label, stop);
        if (!shown.start && !shown.stop) std::abort();
        if (shown.logStartText && shown.logStartText->size() != 19) std::abort();
    }

    const auto n = tessary::log::WholeNumber(end);
    const auto range = tessary::log::CorrectDumpRange(start, end, n && *n >= 0 ? *n : 25);
    if (range.error.empty()) {
        const auto s = tessary::log::WholeNumber(range.start), e = tessary::log::WholeNumber(range.end);
        if (!s || !e || *s < 0 || *s > *e) std::abort();
    }
    return 0;
}
