#pragma once
// The Coefficients page's view, answered from a script and recorded.

#include "coef/CoefTransfer.h"

#include <string>
#include <vector>

namespace tessary::testkit {

struct ScriptCoefView final : coef::CoefView {
    using Strings = std::vector<std::string>;
    std::string openPath, savePath;
    bool goOn = true, sendUnchecked = false;
    Strings hex, memo, asked, saveProposals;
    int changeDlgShown = 0;

    std::optional<std::string> PickCoefFile(const std::string&) override { return openPath; }
    Strings PickQuickLoadFiles(const std::string&, const std::string&) override { return {openPath}; }
    std::optional<std::string> PickSaveFile(const std::string& filter, const std::string&, const std::string& name,
                                            const std::string& suffix) override {
        saveProposals.push_back(filter + " " + name + " " + suffix);
        return savePath;
    }
    bool AskGoOn(const std::string& text) override { return asked.push_back(text), goOn; }
    bool AskSendUncheckedBlock(const std::string& text) override { return asked.push_back(text), sendUnchecked; }
    bool AskMakePermanent() override { return ++changeDlgShown, true; }
    void ShowHexLines(const Strings& lines) override { hex = lines; }
    void ShowMemoLines(const Strings& lines) override { memo = lines; }
    void ShowHexBox(bool) override {}
    void ShowWriteButton() override {}
    void ShowProgress(const std::string&) override {}
    void ShowBackup(const std::string&) override {}
};

}  // namespace tessary::testkit
