#include "coef/CoefTransfer.h"

#include "app/private/AppState.h"
#include "coef/CoefCompare.h"
#include "device/DeviceInfo.h"
#include "device/Settings.h"
#include "link/Files.h"

#include <cctype>

namespace tessary::coef {

namespace {

std::string Upper(std::string s) {
    for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return s;
}

std::string Joined(const std::vector<std::string>& lines) {
    std::string text;
    for (const auto& line : lines) text += line + "\r\n";
    return text;
}

// What the operator is told of a block that did not come whole.
std::string Stopped(const BlockRead& block, const std::string& what) {
    if (block.garbled)
        return "A line of " + what + " came garbled after " + std::to_string(block.lines.size()) +
               " lines; the block was read to its end and not taken.";
    return "The box stopped answering after " + std::to_string(block.lines.size()) + " lines of " + what +
           (block.lines.empty() && !block.firstAnswer.empty() && block.firstAnswer != app::kNoConnect
                ? " (it answered \"" + block.firstAnswer + "\")."
                : ".");
}

}  // namespace

BlockRead ReadBlock(app::Session& session, const std::string& command,
                    const std::function<void(std::size_t)>& onLine) {
    auto& st = session.State();
    auto& link = session.Link();
    BlockRead block;
    link::Reply reply = link.Exchange(command.empty() ? std::string(link::kNoWrite) : command);
    block.firstAnswer = reply.text;
    for (std::size_t read = 0; reply.text != "}" && reply.text != app::kNoConnect && read < kMaxBlockLines; ++read) {
        reply = link.Exchange(std::string(link::kNoWrite));
        // Read on to the "}" all the same, so the rest of the block is not taken for later answers.
        if (reply.outcome == link::ExchangeOutcome::Garbled) block.garbled = true;
        if (block.garbled || reply.text == "}" || reply.text == app::kNoConnect) continue;
        block.lines.push_back(reply.text);
        if (onLine) onLine(block.lines.size());
    }
    st.ReplyText = reply.text;
    block.complete = reply.text == "}" && !block.garbled;
    return block;
}

bool CoefTransfer::NoBoxSelected() const {
    const auto& a = s_.State().CurrentAddress;
    return a.empty() || a == "#00";
}

app::Outcome CoefTransfer::Tell(app::Outcome outcome) {
    if (!outcome.Ok() && !outcome.text.empty())
        s_.Op().ShowMessageBox(outcome.ending == app::Ending::BoxError
                                   ? "Bravik Reported error " + outcome.text + " when writing the Coefficients."
                                   : outcome.text);
    return outcome;
}

std::string CoefTransfer::KestinExtension(char block) const {
    const auto& serial = s_.State().Info.SerialNumber;
    return std::string("C") + (!serial.empty() && serial.back() == 'R' ? 'R' : 'F') + block;
}

std::string CoefTransfer::BoxBlockKey() const { return s_.State().Info.SerialNumber + "|" + coefCommand_; }

BlockRead CoefTransfer::ReadCoefLines() {
    auto& st = s_.State();
    auto hold = s_.Link().Hold();
    st.CommandText = st.CurrentAddress + coefCommand_ + "\r\n";
    return ReadBlock(s_, st.CommandText, [this](std::size_t n) {
        view_.ShowProgress("Reading " + coefCommand_ + ": " + std::to_string(n) + " lines");
    });
}

void CoefTransfer::KeepBoxBlock(const std::vector<std::string>& lines, app::Outcome& outcome) {
    if (lines.empty()) return;
    const std::time_t when = Now();
    boxBlocks_[BoxBlockKey()] = {lines, TimeText(when, "%H:%M:%S")};
    filePath_.clear();
    const std::string ext = coefCommand_ == "CAL" ? "hex" : KestinExtension(coefCommand_ == "CAL1" ? 'F' : 'T');
    std::string error;
    const std::string path = WriteBackup(s_.State().DefaultFolder, s_.State().Info.SerialNumber, when, ext, lines, error);
    if (path.empty()) {
        // The coefficients themselves are fine: the read or write still counts.
        const std::string text = "Could not write the backup of the coefficients: " + error;
        view_.ShowBackup("No backup: " + error);
        s_.Op().ShowMessageBox(text);
        outcome.warnings.push_back(text);
        return;
    }
    lastBackup_ = path;
    view_.ShowBackup("Last backup: " + path);
}

void CoefTransfer::ShowDecoded(const CoefHexResult& res) {
    for (const auto& message : res.messages) s_.Op().ShowMessageBox(message);
    memo_.clear();
    if (res.ok) {
        CoefImage image = res.image;
        MapCoefImage(image);
        memo_ = ShowCoefImage(image);
    }
    view_.ShowMemoLines(memo_);
}

app::Outcome CoefTransfer::ReadBlockInto(bool digital) {
    const BlockRead block = ReadCoefLines();
    (digital ? hex_ : memo_) = block.lines;
    if (digital) view_.ShowHexLines(hex_);
    view_.ShowMemoLines(digital ? std::vector<std::string>{} : memo_);
    if (digital) memo_.clear();
    if (!block.complete)
        return Tell(app::Outcome::NoAnswer(Stopped(block, "the coefficient block") + (digital ? " Nothing was decoded." : "")));
    app::Outcome outcome;
    KeepBoxBlock(block.lines, outcome);
    // The box's lines go through the file reader, as if saved and opened.
    if (digital) ShowDecoded(ReadCoefHex(Joined(hex_), "the coefficient lines read from the box"));
    return outcome;
}

app::Outcome CoefTransfer::ReadPressureCoefficients() {
    if (NoBoxSelected()) return Tell(app::Outcome::Cancelled("Please select an address first."));
    memo_.clear();
    view_.ShowMemoLines(memo_);
    coefCommand_ = "CAL1";
    saveFilter_ = "." + KestinExtension('F') + "|." + KestinExtension('F') + "|All Files|*.*";
    return ReadBlockInto(false);
}

app::Outcome CoefTransfer::ReadTemperatureCoefficients() {
    if (NoBoxSelected()) return Tell(app::Outcome::Cancelled("Please select an address first."));
    const bool digital = s_.State().DeviceType == device::kDigital;
    if (digital) {
        view_.ShowHexBox(true);
        hex_.clear();
        view_.ShowHexLines(hex_);
        coefCommand_ = "CAL";
        saveFilter_ = ".HEX|.HEX|All Files|*.*";
    } else {
        memo_.clear();
        view_.ShowMemoLines(memo_);
        coefCommand_ = "CAL2";
        saveFilter_ = "." + KestinExtension('T') + "|." + KestinExtension('T') + "|All Files|*.*";
    }
    return ReadBlockInto(digital);
}

app::Outcome CoefTransfer::LoadCoefFile(const std::string& path) {
    std::vector<std::string> lines;
    const std::string error = ReadLinesFile(path, lines);
    if (!error.empty()) {
        auto outcome = app::Outcome::FileError(path, "Cannot open the coefficient file " + error);
        return Tell(outcome);
    }
    const std::string upper = Upper(path);
    filePath_ = path;
    if (upper.size() < 3 || upper.substr(upper.size() - 3) != "HEX") {
        coefCommand_ = !upper.empty() && upper.back() == 'F' ? "CAL1" : "CAL2";
        view_.ShowHexBox(false);
        memo_ = lines;
        view_.ShowMemoLines(memo_);
        return {};
    }
    coefCommand_ = "CAL";
    view_.ShowHexBox(true);
    hex_ = lines;
    view_.ShowHexLines(hex_);
    ShowDecoded(ReadCoefHexFile(path));
    return {};
}

app::Outcome CoefTransfer::OpenCoefficientFile() {
    const auto path = view_.PickCoefFile(s_.State().DefaultFolder);
    if (!path) return app::Outcome::Cancelled();
    view_.ShowWriteButton();
    return LoadCoefFile(*path);
}

app::Outcome CoefTransfer::QuickLoadCoefficientFiles() {
    const auto files = view_.PickQuickLoadFiles(kQuickLoadFilter, s_.State().DefaultFolder);
    if (files.empty()) return app::Outcome::Cancelled();
    app::Outcome outcome = LoadCoefFile(files.front());
    if (!outcome.Ok()) return outcome;
    memo_.insert(memo_.end(), files.begin(), files.end());
    view_.ShowMemoLines(memo_);
    return outcome;
}

app::Outcome CoefTransfer::SaveCoefficientFile() {
    const auto& st = s_.State();
    const std::string serial = st.Info.SerialNumber.substr(0, 8);
    const std::string name = serial.empty() ? std::string() : link::FileNamePart(serial);
    // The filter's own extension, so a saved block opens again as the same kind.
    std::string suffix = "txt";
    const std::size_t bar = saveFilter_.find('|');
    if (saveFilter_.rfind('.', 0) == 0 && bar != std::string::npos) suffix = saveFilter_.substr(1, bar - 1);
    const auto path = view_.PickSaveFile(saveFilter_, st.DefaultFolder, name, suffix);
    if (!path) return app::Outcome::Cancelled();
    const std::string error = WriteLinesFile(*path, st.DeviceType == device::kDigital ? hex_ : memo_, false);
    if (!error.empty()) return Tell(app::Outcome::FileError(*path, "Could not save the coefficients to " + error));
    view_.ShowProgress("Saved to " + *path);
    return {};
}

bool CoefTransfer::ConfirmFileLines() {
    if (filePath_.empty()) return true;
    const auto problems = CheckCoefLines(coefCommand_ == "CAL" ? hex_ : memo_, coefCommand_ == "CAL");
    if (problems.empty()) return true;
    std::string text = "The coefficient file " + filePath_ + " is not a clean " +
                       (coefCommand_ == "CAL" ? "Intel HEX image" : "Kestin block") + ":\n";
    for (const auto& p : problems) text += p + "\n";
    return view_.AskSendUncheckedBlock(text + "Load it into the box anyway?");
}

bool CoefTransfer::ConfirmAgainstBox() {
    if (filePath_.empty()) return true;
    const auto found = boxBlocks_.find(BoxBlockKey());
    if (found == boxBlocks_.end()) return true;
    const auto diffs = CompareBlocks(found->second.lines, coefCommand_ == "CAL" ? hex_ : memo_, coefCommand_ == "CAL");
    return view_.AskGoOn(CompareQuestion(diffs, coefCommand_ + " block read from the box (serial " +
                                                    s_.State().Info.SerialNumber + ") at " + found->second.at));
}

BlockWrite CoefTransfer::SendCoefLines() {
    auto& link = s_.Link();
    auto hold = link.Hold();
    // A late answer waiting now would be read as the start of the echo.
    link.DiscardWaiting();
    if (!link.WriteRaw(s_.State().CurrentAddress + coefCommand_ + "={")) return BlockWrite::LeftOpen;
    for (const auto& line : coefCommand_ == "CAL" ? hex_ : memo_) {
        if (link.WriteRaw(line + "\r\n")) continue;
        // Whatever part of the line went out is ended, then the block: the box must not stay inside it.
        return link.WriteRaw("\r\n}\r\n") ? BlockWrite::Closed : BlockWrite::LeftOpen;
    }
    return link.WriteRaw("}\r\n") ? BlockWrite::Sent : BlockWrite::LeftOpen;
}

app::Outcome CoefTransfer::WriteCoefficients() {
    auto& st = s_.State();
    if (NoBoxSelected()) return Tell(app::Outcome::Cancelled("Please Auto Connect first."));
    if (coefCommand_.empty())
        return Tell(app::Outcome::Cancelled(
            "There are no coefficients to load: read them or open a coefficient file first."));
    if (!ConfirmFileLines() || !ConfirmAgainstBox()) return app::Outcome::Cancelled();
    const bool digital = st.DeviceType == device::kDigital;
    const std::string port = s_.Link().LinkPortName();
    BlockRead echo;
    BlockWrite sent;
    {
        // The write and the box's echo are one stream.
        auto hold = s_.Link().Hold();
        view_.ShowProgress("Writing " + coefCommand_);
        sent = SendCoefLines();
        if (sent != BlockWrite::LeftOpen) echo = ReadBlock(s_, {});
    }
    view_.ShowProgress("");
    if (sent == BlockWrite::LeftOpen)
        return Tell(app::Outcome::NoAnswer(
            "Could not write the coefficients to the port " + port + ". The box may be left waiting inside the " +
            coefCommand_ + " block. To recover once the port works: read one line with \"NoWrite\" in the console, "
            "then send the next command."));
    if (sent == BlockWrite::Closed)
        return Tell(app::Outcome::NoAnswer("Could not write every line of the " + coefCommand_ +
                                           " block to the port " + port +
                                           "; the block was ended early. Read the coefficients to see what the box holds."));
    // A refused block must not be committed: what the box holds is not what was sent.
    if (echo.firstAnswer.rfind("ERROR", 0) == 0) return Tell(app::Outcome::BoxError(echo.firstAnswer));
    filePath_.clear();
    (digital ? hex_ : memo_) = echo.lines;
    if (digital) view_.ShowHexLines(hex_);
    else view_.ShowMemoLines(memo_);
    app::Outcome outcome;
    if (echo.complete) KeepBoxBlock(echo.lines, outcome);
    else outcome = Tell(app::Outcome::NoAnswer(Stopped(echo, "its answer to the coefficients written")));
    if (!view_.AskMakePermanent()) return outcome;
    app::Outcome commit;
    if (digital) {
        commit = CommitCoefficients();
    } else {
        device::CommitToEeprom(s_);
        if (st.CurrentAddress != "#00" && st.ReplyText != "0") commit = app::Outcome::BoxError(st.ReplyText);
    }
    if (!commit.Ok()) {
        commit.warnings = outcome.warnings;
        return commit;
    }
    return outcome;
}

app::Outcome CoefTransfer::CommitCoefficients() {
    auto& st = s_.State();
    st.CommandText = st.CurrentAddress + "CW" + "\r\n";
    st.ReplyText = s_.Link().SendCommand(st.CommandText);
    if (st.CurrentAddress != "#00" && st.ReplyText != "0") return Tell(app::Outcome::BoxError(st.ReplyText));
    return {};
}

}  // namespace tessary::coef
