#pragma once
// A file's block against the block last read from the same box: what the
// operator is asked before the file's coefficients go in.

#include <string>
#include <vector>

namespace tessary::coef {

// Where the two differ: named fields for two readable HEX images (`hex`),
// else line by line. Empty when they are the same.
std::vector<std::string> CompareBlocks(const std::vector<std::string>& box, const std::vector<std::string>& file,
                                       bool hex);

// The question: `from` names the box's block ("CAL block read from the box
// (serial 21040117) at 10:02:03").
std::string CompareQuestion(const std::vector<std::string>& diffs, const std::string& from);

}  // namespace tessary::coef
