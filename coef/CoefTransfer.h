#pragma once
// The Coefficients page's work: reading a coefficient block from the box,
// opening, saving and quick-loading coefficient files, and writing a block
// back with its commit. The lines shown in the two memos live here; the page
// only mirrors them.
//
// Threading: every member runs on the thread that runs the page's operations
// (one at a time). The view is called with the link released, apart from
// ShowProgress, which must not wait for the window.

#include "app/Session.h"
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
// More lines than this in one block is not a coefficient block.
inline constexpr std::size_t kMaxBlockLines = 2000;

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
    // A Yes/No question; true to go on.
    virtual bool AskGoOn(const std::string& text) = 0;
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
};

class CoefTransfer {
public:
    CoefTransfer(app::Session& session, CoefView& view) : s_(session), view_(view) {}

    void btReadPressClick();
    void btReadTempClick();
    void btWriteMemClick();
    void OpenCoefClick();
    void SaveCoefClick();
    void btQuickLoadClick();

    // CurrentAddress + CoefCommand, then every line up to "}" (not kept), under
    // one hold of the link; ends at the first "NoConnect".
    BlockRead ReadCoefLines();
    // The framed block as raw writes: "={", each line + "\r\n", "}\r\n". False
    // when a write failed.
    bool SendCoefLines();
    void CommitCoefficients();

    const std::string& CoefCommand() const { return coefCommand_; }
    const std::vector<std::string>& HexLines() const { return hex_; }
    const std::vector<std::string>& MemoLines() const { return memo_; }
    const std::string& SaveDialog1Filter() const { return saveFilter_; }
    const std::string& LastBackup() const { return lastBackup_; }

    // The clock of backup names; tests set their own.
    std::function<std::time_t()> Now = [] { return std::time(nullptr); };

private:
    bool NoBoxSelected() const;
    // Hex lines through a private temporary file into the listing.
    void DecodeBoxHex();
    void ShowDecoded(const CoefHexResult& res);
    bool LoadCoefFile(const std::string& path);
    void KeepBoxBlock(const std::vector<std::string>& lines);
    bool ConfirmAgainstBox();
    std::string BoxBlockKey() const;
    std::string KestinExtension(char block) const;

    app::Session& s_;
    CoefView& view_;
    std::string coefCommand_;
    std::vector<std::string> hex_, memo_;
    std::string saveFilter_ = kSaveFilterStart;
    bool fileBlock_ = false;  // the shown block came from a file
    std::string lastBackup_;
    struct BoxBlock {
        std::vector<std::string> lines;
        std::string at;  // time it was read
    };
    std::map<std::string, BoxBlock> boxBlocks_;  // serial + word -> last block read this session
};

// Line-file helpers with the program's file rules: "\r\n" ends, one flush per
// line, and on failure the file and the system's reason in the result.
std::string WriteLinesFile(const std::string& path, const std::vector<std::string>& lines, bool mustBeNew);
std::string ReadLinesFile(const std::string& path, std::vector<std::string>& lines);

// <folder>/backups/<serial>-<yyyymmdd-hhmmss>.<ext>, "-2", "-3"... when taken.
// Returns the path written, or empty with `error` set.
std::string WriteBackup(const std::string& defaultFolder, const std::string& serial, std::time_t when,
                        const std::string& ext, const std::vector<std::string>& lines, std::string& error);

}  // namespace tessary::coef
