#include "firmware/ImageCheck.h"

#include "coef/IntelHex.h"

namespace tessary::firmware {
namespace {

// Empty when the line is a record the box knows; else what is wrong with it.
std::string RecordProblem(const std::string& line, unsigned& type) {
    const coef::HexLine parsed = coef::ParseHexRecord(line);
    if (!parsed.Ok()) return parsed.error;
    type = parsed.record->type;
    // 00 data, 01 end, 02 to 05 segment and linear addresses.
    if (type > 5) return "unknown record type " + coef::HexDigits(type, 2);
    if (type == coef::kEndRecord && parsed.record->byteCount != 0) return "end record with data";
    return {};
}

}  // namespace

ImageReport CheckImage(const std::vector<std::string>& lines) {
    ImageReport report;
    auto bad = [&report](std::string text) {
        ++report.badLines;
        if (report.problems.size() < kProblemsShown) report.problems.push_back(std::move(text));
    };
    auto at = [](std::size_t i) { return "Line " + std::to_string(i + 1) + ": "; };
    std::size_t endAt = 0;  // line number of the first end record
    for (std::size_t i = 0; i < lines.size(); ++i) {
        unsigned type = 0;
        const std::string why = RecordProblem(lines[i], type);
        if (!why.empty()) bad(at(i) + why);
        else if (endAt != 0) bad(at(i) + "after the end record");
        else if (type == coef::kEndRecord) endAt = i + 1;
    }
    if (endAt == 0) bad("No end record (:00000001FF)");
    return report;
}

std::string FormatReport(const ImageReport& report) {
    std::string text = "This file is not a clean Intel HEX image (" + std::to_string(report.badLines) +
                       (report.badLines == 1 ? " problem" : " problems") + "):\n";
    for (const auto& p : report.problems) text += p + "\n";
    if (report.badLines > report.problems.size()) text += "...\n";
    text += "A box that takes a bad image is left without a working program.\nSend it anyway?";
    return text;
}

}  // namespace tessary::firmware
