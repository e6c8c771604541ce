#include "firmware/ImageCheck.h"

#include <cstdint>
#include <cstdio>

namespace tessary::firmware {
namespace {

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

std::string Hex2(unsigned v) {
    char buf[8];
    std::snprintf(buf, sizeof buf, "%02X", v & 0xFFu);
    return buf;
}

// Empty when the line is a good record; else what is wrong with it.
std::string RecordProblem(const std::string& line, unsigned& type) {
    if (line.empty()) return "empty line";
    if (line[0] != ':') return "does not start with ':'";
    if (line.size() < 11 || line.size() % 2 == 0) return "not a record (length " + std::to_string(line.size()) + ")";
    std::vector<std::uint8_t> bytes;
    for (std::size_t i = 1; i < line.size(); i += 2) {
        const int hi = HexDigit(line[i]), lo = HexDigit(line[i + 1]);
        if (hi < 0 || lo < 0) return "not hexadecimal at column " + std::to_string(hi < 0 ? i + 1 : i + 2);
        bytes.push_back(static_cast<std::uint8_t>(hi * 16 + lo));
    }
    if (bytes.size() != bytes[0] + 5u) return "byte count " + Hex2(bytes[0]) + " does not match the line";
    unsigned sum = 0;
    for (std::size_t i = 0; i + 1 < bytes.size(); ++i) sum += bytes[i];
    const unsigned should = (0x100u - (sum & 0xFFu)) & 0xFFu;
    if (bytes.back() != should) return "checksum " + Hex2(bytes.back()) + ", should be " + Hex2(should);
    type = bytes[3];
    if (type > 5) return "unknown record type " + Hex2(type);
    if (type == 1 && bytes[0] != 0) return "end record with data";
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
        else if (type == 1) endAt = i + 1;
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
