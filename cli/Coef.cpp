// coef read, coef write: the Coefficients page's flows with a console view.

#include "cli/Rig.h"
#include "app/private/AppState.h"
#include "coef/CoefTransfer.h"
#include "device/DeviceInfo.h"

#include <cctype>
#include <filesystem>

namespace tessary::cli {

namespace {

std::string Upper(std::string s) {
    for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return s;
}

// The page's file dialogs answered by the command line.
class ConsoleCoefView final : public coef::CoefView {
public:
    explicit ConsoleCoefView(Rig& rig) : rig_(rig) {}
    std::string openPath, savePath;

    std::optional<std::string> PickCoefFile(const std::string&) override { return openPath; }
    std::vector<std::string> PickQuickLoadFiles(const std::string&, const std::string&) override { return {}; }
    std::optional<std::string> PickSaveFile(const std::string&, const std::string&, const std::string&,
                                            const std::string&) override {
        if (savePath.empty()) return std::nullopt;
        return savePath;
    }
    // Checked and said before the box was asked anything.
    bool AskSendUncheckedBlock(const std::string&) override { return rig_.inv.Has("--yes"); }
    bool AskMakePermanent() override { return rig_.inv.Has("--commit"); }
    bool AskGoOn(const std::string& text) override {
        rig_.progress.End();
        rig_.env.err << "tessary-cli: " << text << '\n';
        if (!rig_.inv.Has("--yes")) rig_.op.NeedChoice("--yes");
        return rig_.inv.Has("--yes");
    }
    void ShowHexLines(const std::vector<std::string>&) override {}
    void ShowMemoLines(const std::vector<std::string>&) override {}
    void ShowHexBox(bool) override {}
    void ShowWriteButton() override {}
    void ShowProgress(const std::string& text) override {
        if (!text.empty()) rig_.progress.Show(text);
    }
    void ShowBackup(const std::string& text) override {
        rig_.progress.End();
        rig_.env.err << "tessary-cli: " << text << '\n';
    }

private:
    Rig& rig_;
};

}  // namespace

int RunCoefRead(Rig& rig) {
    const std::string out = rig.inv.Value("--out");
    std::error_code ec;
    if (!out.empty() && std::filesystem::exists(out, ec) && !rig.inv.Has("--overwrite"))
        return rig.Usage(out + " exists: give --overwrite to replace it");
    const std::string address = rig.Address();
    if (address.empty()) return kUsage;
    if (const int rc = rig.Connect(address); rc != kDone) return rc;

    const bool digital = rig.session->State().DeviceType == device::kDigital;
    const std::string block = Upper(rig.inv.Value("--block"));
    if (digital && !block.empty() && block != "CAL")
        return rig.Usage("the Digital box at " + address + " has one block, CAL");
    if (!digital && block != "CAL1" && block != "CAL2")
        return rig.Usage("the Kestin box at " + address + " needs --block CAL1 (pressure) or CAL2 (temperature)");

    ConsoleCoefView view(rig);
    view.savePath = out;
    coef::CoefTransfer transfer(*rig.session, view);
    const app::Outcome read = block == "CAL1" ? transfer.ReadPressureCoefficients() : transfer.ReadTemperatureCoefficients();
    rig.progress.End();
    if (!read.Ok()) return Rig::ExitFor(read);
    // A backup that failed was said; the block is still saved or printed.
    if (!out.empty()) return Rig::ExitFor(transfer.SaveCoefficientFile());
    for (const auto& line : digital ? transfer.HexLines() : transfer.MemoLines()) rig.env.out << line << '\n';
    return kDone;
}

int RunCoefWrite(Rig& rig) {
    const std::string file = rig.inv.operands[0];
    std::vector<std::string> lines;
    if (const std::string error = coef::ReadLinesFile(file, lines); !error.empty())
        return rig.Fail(kFileError, "cannot read " + error);
    // The file is checked before the box is asked anything.
    // As the page opens it: a name ending in HEX, any case, is an image.
    const bool hex = file.size() >= 3 && Upper(file.substr(file.size() - 3)) == "HEX";
    if (const auto problems = coef::CheckCoefLines(lines, hex); !problems.empty()) {
        rig.env.err << "tessary-cli: " << file << " is not a clean " << (hex ? "Intel HEX image" : "Kestin block")
                    << ":\n";
        for (const auto& p : problems) rig.env.err << "  " << p << '\n';
        if (!rig.inv.Has("--yes")) return rig.Usage("coef write needs --yes to send it anyway");
    }
    const std::string address = rig.Address();
    if (address.empty()) return kUsage;
    if (const int rc = rig.Connect(address); rc != kDone) return rc;

    ConsoleCoefView view(rig);
    view.openPath = file;
    coef::CoefTransfer transfer(*rig.session, view);
    if (const app::Outcome opened = transfer.OpenCoefficientFile(); !opened.Ok()) return Rig::ExitFor(opened);
    const app::Outcome written = transfer.WriteCoefficients();
    rig.progress.End();
    return Rig::ExitFor(written);
}

}  // namespace tessary::cli
