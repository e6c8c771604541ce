#pragma once
// The Coefficients page's flows: reading a coefficient block from the box,
// opening, saving and quick-loading coefficient files, and writing a block
// back with its commit. The lines shown in the two memos live here; the page
// only mirrors them. Files, backups and the comparison have files of their own.
//
// Threading: every member runs on the thread that runs the page's operations
// (one at a time). The view is called with the link released, apart from
// ShowProgress, which must not wait for the window.

#include "app/Outcome.h"
#include "app/Session.h"
#include "coef/CoefBackup.h"
#include "coef/CoefFiles.h"
#include "coef/CoefImage.h"

#include <ctime>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace tessary::coef {

inline constexpr const char* kQuickLoadFilter = "Kestin Coef|*.CRF;*.CRT;*.CFF;*CFT";
inline constexpr const char* kSaveFilterStart = "All Files|*.*";

class CoefView {
public:
    virtual ~CoefView() = default;
    // OpenDialog1, opened in `folder` with the dialog's own filter; empty on Cancel.
    virtual std::optional<std::string> PickCoefFile(const std::string& folder) = 0;
    // OpenDialog3: several files, in the dialog's order; empty on Cancel.
    virtual std::vector<std::string> PickQuickLoadFiles(const std::string& filter, const std::string& folder) = 0;
    // SaveDialog1 proposing `name`; a name typed without an extension gets `suffix`.
    virtual std::optional<std::string> PickSaveFile(const std::string& filter, const std::string& folder,
                                                    const std::string& name, const std::string& suffix) = 0;
    // A Yes/No question, No by default; true to go on.
    virtual bool AskGoOn(const std::string& text) = 0;
    // The file's lines would not make a clean block (`report` says why), No by
    // default; true sends them anyway.
    virtual bool AskSendUncheckedBlock(const std::string& report) = 0;
    // ChangeDlg: true when closed with "Ok" and "Make Change Permanent" ticked.
    virtual bool AskMakePermanent() = 0;
    virtual void ShowHexLines(const std::vector<std::string>& lines) = 0;   // HexMemoBox
    virtual void ShowMemoLines(const std::vector<std::string>& lines) = 0;  // Memo1
    virtual void ShowHexBox(bool shown) = 0;                                // HexGroupBox and HexMemoBox
    virtual void ShowWriteButton() = 0;                                     // btWriteMem, from now on
    // A status line for the running step; must return at once.
    virtual void ShowProgress(const std::string& text) = 0;
    // Where the last backup went (or why it failed).
    virtual void ShowBackup(const std::string& text) = 0;
};

// Lines of a block as they came, and whether its closing "}" came.
struct BlockRead {
    std::string firstAnswer;  // the answer to the command itself, not part of the block
    std::vector<std::string> lines;
    bool complete = false;
    bool garbled = false;  // a line came with bytes outside printable ASCII: the block is not taken
};

// How a raw block write ended.
enum class BlockWrite {
    Sent,      // every line and the closing "}"
    Closed,    // a line could not be written, but the block was closed with "}"
    LeftOpen,  // the port stopped taking bytes: the box may wait inside the block
};

// Reads a block up to "}" (not kept) with "NoWrite" reads after `command` (or
// after a first "NoWrite" read when `command` is empty); ends at the first
// "NoConnect" and after kMaxBlockLines reads. After a garbled line the rest is
// read, not kept. `onLine` hears the count of lines kept so far. The caller
// holds the link.
BlockRead ReadBlock(app::Session& session, const std::string& command,
                    const std::function<void(std::size_t)>& onLine = {});

class CoefTransfer {
public:
    CoefTransfer(app::Session& session, CoefView& view) : s_(session), view_(view) {}

    // Each tells the operator its notices and returns how it ended.
    app::Outcome ReadPressureCoefficients();
    app::Outcome ReadTemperatureCoefficients();
    app::Outcome WriteCoefficients();
    app::Outcome OpenCoefficientFile();
    app::Outcome SaveCoefficientFile();
    app::Outcome QuickLoadCoefficientFiles();

    // CurrentAddress + CoefCommand, then every line up to "}" (not kept), under
    // one hold of the link.
    BlockRead ReadCoefLines();
    // The framed block as raw writes: "={", each line + "\r\n", "}\r\n". Input
    // waiting before it is thrown away. After a failed line write the line and
    // the block are still closed ("\r\n}\r\n"), so the box takes commands again.
    BlockWrite SendCoefLines();
    app::Outcome CommitCoefficients();

    const std::string& CoefCommand() const { return coefCommand_; }
    const std::vector<std::string>& HexLines() const { return hex_; }
    const std::vector<std::string>& MemoLines() const { return memo_; }
    const std::string& SaveDialog1Filter() const { return saveFilter_; }
    const std::string& LastBackup() const { return lastBackup_; }

    // The clock of backup names; tests set their own.
    std::function<std::time_t()> Now = [] { return std::time(nullptr); };

private:
    bool NoBoxSelected() const;
    // Shows the outcome's text (when it has one) and returns it.
    app::Outcome Tell(app::Outcome outcome);
    app::Outcome ReadBlockInto(bool digital);
    void ShowDecoded(const CoefHexResult& res);
    app::Outcome LoadCoefFile(const std::string& path);
    // Backs the block up; a failed backup is a warning in `outcome`.
    void KeepBoxBlock(const std::vector<std::string>& lines, app::Outcome& outcome);
    bool ConfirmFileLines();
    bool ConfirmAgainstBox();
    std::string BoxBlockKey() const;
    std::string KestinExtension(char block) const;

    app::Session& s_;
    CoefView& view_;
    std::string coefCommand_;
    std::vector<std::string> hex_, memo_;
    std::string saveFilter_ = kSaveFilterStart;
    std::string filePath_;  // the shown block came from this file; empty: from the box
    std::string lastBackup_;
    struct BoxBlock {
        std::vector<std::string> lines;
        std::string at;  // time it was read
    };
    std::map<std::string, BoxBlock> boxBlocks_;  // serial + word -> last block read this session
};

}  // namespace tessary::coef
