#include "coef/CoefCompare.h"

#include "coef/CoefImage.h"

#include <algorithm>

namespace tessary::coef {

namespace {

constexpr std::size_t kMaxDiffLines = 30;

std::string Joined(const std::vector<std::string>& lines) {
    std::string text;
    for (const auto& line : lines) text += line + "\r\n";
    return text;
}

}  // namespace

std::vector<std::string> CompareBlocks(const std::vector<std::string>& box, const std::vector<std::string>& file,
                                       bool hex) {
    const CoefHexResult a = hex ? ReadCoefHex(Joined(box), "") : CoefHexResult{};
    const CoefHexResult b = hex ? ReadCoefHex(Joined(file), "") : CoefHexResult{};
    if (a.ok && b.ok) {
        CoefImage boxImage = a.image, fileImage = b.image;
        MapCoefImage(boxImage);
        MapCoefImage(fileImage);
        return CompareCoefImages(boxImage, fileImage);
    }
    std::vector<std::string> diffs;
    for (std::size_t i = 0; i < std::max(box.size(), file.size()); ++i) {
        const std::string x = i < box.size() ? "\"" + box[i] + "\"" : "(none)";
        const std::string y = i < file.size() ? "\"" + file[i] + "\"" : "(none)";
        if (x != y) diffs.push_back("Line " + std::to_string(i + 1) + ": box " + x + ", file " + y);
    }
    return diffs;
}

std::string CompareQuestion(const std::vector<std::string>& diffs, const std::string& from) {
    if (diffs.empty())
        return "The box already holds these coefficients: the " + from + " is the same as the file's.\nLoad them anyway?";
    std::string text = "The file's coefficients differ from the " + from + " in " + std::to_string(diffs.size()) +
                       (diffs.size() == 1 ? " place" : " places") + ":\n";
    for (std::size_t i = 0; i < diffs.size() && i < kMaxDiffLines; ++i) text += diffs[i] + "\n";
    if (diffs.size() > kMaxDiffLines) text += "... and " + std::to_string(diffs.size() - kMaxDiffLines) + " more\n";
    return text + "Load the file's coefficients into the box?";
}

}  // namespace tessary::coef
