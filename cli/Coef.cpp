// coef read, coef write: the Coefficients page's flows with a console view.

#include "cli/Rig.h"
#include "coef/CoefTransfer.h"
#include "device/DeviceInfo.h"

#include "link/Files.h"

#include <cctype>
#include <filesystem>

namespace tessary::cli {

namespace {

// The page's file dialogs answered by the command line.
class ConsoleCoefView final : public coef::CoefView {
public:
    explicit ConsoleCoefView(Rig& rig) : rig_(rig) {}
    std::string openPath, savePath;
    std::string saved;  // "Saved to ..." once the save went through

    std::optional<std::string> PickCoefFile(const std::string&) override { return openPath; }
    std::vector<std::string> PickQuickLoadFiles(const std::string&, const std::string&) override { return {}; }
    std::optional<std::string> PickSaveFile(const std::string&, const std::string&, const std::string&,
                                            const std::string&) override {
        if (savePath.empty()) return std::nullopt;
        return savePath;
    }
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
        if (text.rfind("Saved to ", 0) == 0) saved = text;
        else if (!text.empty()) rig_.progress.Show(text);
    }
    void ShowBackup(const std::string& text) override {
        rig_.progress.End();
        rig_.env.err << "tessary-cli: " << text << '\n';
    }

private:
    Rig& rig_;
};

// The flows tell their failures in the window's words; these say which are
// the box's and which the files'. Any other notice is for reading only.
int ExitFromMessages(const std::vector<std::string>& messages) {
    static const std::pair<const char*, int> kFailures[] = {
        {"The box stopped answering", kNoAnswer},
        {"Could not write the coefficients to the port", kNoAnswer},
        {"Bravik Reported error", kNoAnswer},
        {"Could not", kFileError},
        {"Cannot", kFileError},
    };
    for (const auto& m : messages)
        for (const auto& [prefix, code] : kFailures)
            if (m.rfind(prefix, 0) == 0) return code;
    return kDone;
}

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
    std::string block = rig.inv.Value("--block");
    for (char& c : block) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    if (digital && !block.empty() && block != "CAL")
        return rig.Usage("the Digital box at " + address + " has one block, CAL");
    if (!digital && block != "CAL1" && block != "CAL2")
        return rig.Usage("the Kestin box at " + address + " needs --block CAL1 (pressure) or CAL2 (temperature)");

    ConsoleCoefView view(rig);
    view.savePath = out;
    coef::CoefTransfer transfer(*rig.session, view);
    if (block == "CAL1") transfer.btReadPressClick();
    else transfer.btReadTempClick();
    rig.progress.End();
    if (const int rc = ExitFromMessages(rig.op.messages); rc != kDone) return rc;

    if (!out.empty()) {
        transfer.SaveCoefClick();
        return view.saved.empty() ? kFileError : ExitFromMessages(rig.op.messages);
    }
    for (const auto& line : digital ? transfer.HexLines() : transfer.MemoLines()) rig.env.out << line << '\n';
    return kDone;
}

int RunCoefWrite(Rig& rig) {
    const std::string file = rig.inv.operands[0];
    // Looked at without opening it: a FIFO or a device would hang or act.
    std::uint64_t size = 0;
    if (std::string why; !link::RegularFileSize(file, size, why)) return rig.Fail(kFileError, "cannot read " + file + ": " + why);
    const std::string address = rig.Address();
    if (address.empty()) return kUsage;
    if (const int rc = rig.Connect(address); rc != kDone) return rc;

    ConsoleCoefView view(rig);
    view.openPath = file;
    coef::CoefTransfer transfer(*rig.session, view);
    transfer.OpenCoefClick();
    if (transfer.CoefCommand().empty()) return ExitFromMessages(rig.op.messages);
    transfer.btWriteMemClick();
    rig.progress.End();
    return ExitFromMessages(rig.op.messages);
}

}  // namespace tessary::cli
