#pragma once
// A look at a program image before it goes to the box: a file that is not
// clean Intel HEX would leave the box without a working program.

#include <cstddef>
#include <string>
#include <vector>

namespace tessary::firmware {

struct ImageReport {
    std::vector<std::string> problems;  // "Line 3: ...", the first few only
    std::size_t badLines = 0;           // all of them
};

inline constexpr std::size_t kProblemsShown = 5;

// Every line a record with a good checksum and a known type, the end record last.
ImageReport CheckImage(const std::vector<std::string>& lines);
// The question's text: the problems found, one a line.
std::string FormatReport(const ImageReport& report);

}  // namespace tessary::firmware
