#include "coef/CoefFiles.h"

#include "coef/CoefImage.h"
#include "coef/IntelHex.h"
#include "link/Files.h"

namespace tessary::coef {

std::string ReadLinesFile(const std::string& path, std::vector<std::string>& lines) {
    lines.clear();
    const link::FileText file = link::ReadRegularFile(path, kMaxCoefFileBytes);
    if (!file.ok) return path + ": " + file.error;
    std::string line;
    for (const char c : file.bytes) {
        if (c == '\n') {
            lines.push_back(line);
            line.clear();
        } else if (c != '\r') {
            line += c;
        }
    }
    if (!line.empty()) lines.push_back(line);
    return {};
}

std::string WriteLinesFile(const std::string& path, const std::vector<std::string>& lines, bool mustBeNew) {
    link::LineFile file;
    std::string error =
        file.Open(path, mustBeNew ? link::LineFile::Mode::CreateNew : link::LineFile::Mode::Truncate);
    for (std::size_t i = 0; error.empty() && i < lines.size(); ++i) error = file.Write(lines[i] + "\r\n");
    const std::string closed = file.Close();
    if (error.empty()) error = closed;
    return error.empty() ? std::string() : path + ": " + error;
}

std::vector<std::string> CheckCoefLines(const std::vector<std::string>& lines, bool hex) {
    std::vector<std::string> problems;
    std::size_t bad = 0;
    const auto problem = [&](std::size_t i, const std::string& text) {
        if (++bad <= kCheckProblemsShown) problems.push_back("Line " + std::to_string(i + 1) + ": " + text);
    };
    if (lines.empty()) return {"the file holds no lines"};
    if (lines.size() > kMaxBlockLines) return {std::to_string(lines.size()) + " lines, more than a block holds"};
    bool ended = false;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const std::string& line = lines[i];
        if (!hex) {
            if (line.empty()) problem(i, "empty");
            else if (line.size() > kMaxKestinLine) problem(i, std::to_string(line.size()) + " characters");
            else if (line == "}") problem(i, "\"}\" would end the block early");
            else
                for (const char c : line)
                    if (c < 0x20 || c > 0x7e) {
                        problem(i, "a byte outside printable ASCII");
                        break;
                    }
            continue;
        }
        const HexLine parsed = ParseHexRecord(line.size() > 600 ? line.substr(0, 600) : line);
        if (!parsed.record || !parsed.error.empty()) {
            problem(i, parsed.error);
            continue;
        }
        const HexRecord& r = *parsed.record;
        if (ended) problem(i, "after the end record");
        else if (r.type == kEndRecord) ended = true;
        else if (r.type != kDataRecord) problem(i, "record type " + HexDigits(r.type, 2) + " is not data");
        else if (r.address + r.data.size() > kImageBytes)
            problem(i, "bytes past the " + std::to_string(kImageBytes) + "-byte image");
    }
    if (hex && !ended) problems.push_back("no end record (:00000001FF)");
    if (bad > kCheckProblemsShown) problems.push_back("... and " + std::to_string(bad - kCheckProblemsShown) + " more");
    return problems;
}

}  // namespace tessary::coef
