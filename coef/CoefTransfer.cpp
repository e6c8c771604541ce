#include "coef/CoefTransfer.h"

#include "coef/CoefImage.h"
#include "device/DeviceInfo.h"
#include "device/Settings.h"
#include "link/Files.h"

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace tessary::coef {

namespace {

constexpr std::size_t kMaxDiffLines = 30;
constexpr long kMaxCoefFileBytes = 4L << 20;

std::string Upper(std::string s) {
    for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return s;
}

std::string Reason(int err) { return std::strerror(err); }

// Writes and flushes each line; closes on every path.
std::string WriteLinesTo(std::FILE* f, const std::string& path, const std::vector<std::string>& lines) {
    for (const auto& line : lines) {
        const std::string text = line + "\r\n";
        if (std::fwrite(text.data(), 1, text.size(), f) != text.size() || std::fflush(f) != 0) {
            const int err = errno;
            std::fclose(f);
            return path + ": " + Reason(err);
        }
    }
    if (std::fclose(f) != 0) return path + ": " + Reason(errno);
    return {};
}

std::string Joined(const std::vector<std::string>& lines) {
    std::string text;
    for (const auto& line : lines) text += line + "\r\n";
    return text;
}

std::string TimeText(std::time_t when, const char* format) {
    std::tm local{};
    localtime_r(&when, &local);
    char buf[32];
    std::strftime(buf, sizeof buf, format, &local);
    return buf;
}

std::string Stopped(const BlockRead& block) {
    return "The box stopped answering after " + std::to_string(block.lines.size()) + " lines of the coefficient block" +
           (block.lines.empty() && block.firstAnswer != app::kNoConnect ? " (it answered \"" + block.firstAnswer + "\")."
                                                                        : ".");
}

bool MakeDirs(const std::string& dir) { return link::MakeFolders(dir).empty(); }

}  // namespace

std::string WriteLinesFile(const std::string& path, const std::vector<std::string>& lines, bool mustBeNew) {
    std::FILE* f = std::fopen(path.c_str(), mustBeNew ? "wbx" : "wb");
    if (!f) return path + ": " + Reason(errno);
    return WriteLinesTo(f, path, lines);
}

std::string ReadLinesFile(const std::string& path, std::vector<std::string>& lines) {
    lines.clear();
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) return path + ": " + Reason(errno);
    std::string line;
    long total = 0;
    int c;
    while ((c = std::fgetc(f)) != EOF && ++total <= kMaxCoefFileBytes) {
        if (c == '\n') {
            lines.push_back(line);
            line.clear();
        } else if (c != '\r') {
            line += static_cast<char>(c);
        }
    }
    const bool failed = std::ferror(f) != 0;
    const int err = errno;
    std::fclose(f);
    if (failed) return path + ": " + Reason(err);
    if (total > kMaxCoefFileBytes) return path + ": larger than 4 MiB, not a coefficient file";
    if (!line.empty()) lines.push_back(line);
    return {};
}

std::string WriteBackup(const std::string& defaultFolder, const std::string& serial, std::time_t when,
                        const std::string& ext, const std::vector<std::string>& lines, std::string& error) {
    std::string dir = defaultFolder;
    while (dir.size() > 1 && dir.back() == '/') dir.pop_back();
    dir += "/backups";
    if (!MakeDirs(dir)) {
        error = dir + ": " + Reason(errno);
        return {};
    }
    std::string name;
    for (char c : serial) name += std::isalnum(static_cast<unsigned char>(c)) || c == '-' || c == '_' ? c : '_';
    if (name.empty()) name = "unknown";
    const std::string stem = dir + "/" + name + "-" + TimeText(when, "%Y%m%d-%H%M%S");
    for (int n = 1; n < 100; ++n) {
        const std::string path = stem + (n == 1 ? "" : "-" + std::to_string(n)) + "." + ext;
        std::FILE* f = std::fopen(path.c_str(), "wbx");  // never over an older backup
        if (!f && errno == EEXIST) continue;
        if (!f) {
            error = path + ": " + Reason(errno);
            return {};
        }
        error = WriteLinesTo(f, path, lines);
        return error.empty() ? path : std::string();
    }
    error = stem + ": every name is taken";
    return {};
}

bool CoefTransfer::NoBoxSelected() const {
    const auto& a = s_.State().CurrentAddress;
    return a.empty() || a == "#00";
}

std::string CoefTransfer::KestinExtension(char block) const {
    const auto& serial = s_.State().Info.SerialNumber;
    return std::string("C") + (!serial.empty() && serial.back() == 'R' ? 'R' : 'F') + block;
}

std::string CoefTransfer::BoxBlockKey() const { return s_.State().Info.SerialNumber + "|" + coefCommand_; }

BlockRead CoefTransfer::ReadCoefLines() {
    auto& st = s_.State();
    auto& link = s_.Link();
    BlockRead block;
    auto hold = link.Hold();
    st.CommandText = st.CurrentAddress + coefCommand_ + "\r\n";
    st.ReplyText = link.SendCommand(st.CommandText);
    block.firstAnswer = st.ReplyText;
    while (st.ReplyText != "}" && st.ReplyText != app::kNoConnect && block.lines.size() < kMaxBlockLines) {
        st.ReplyText = link.SendCommand(std::string(link::kNoWrite));
        if (st.ReplyText != "}" && st.ReplyText != app::kNoConnect) {
            block.lines.push_back(st.ReplyText);
            view_.ShowProgress("Reading " + coefCommand_ + ": " + std::to_string(block.lines.size()) + " lines");
        }
    }
    block.complete = st.ReplyText == "}";
    return block;
}

void CoefTransfer::KeepBoxBlock(const std::vector<std::string>& lines) {
    if (lines.empty()) return;
    const std::time_t when = Now();
    boxBlocks_[BoxBlockKey()] = {lines, TimeText(when, "%H:%M:%S")};
    fileBlock_ = false;
    const std::string ext = coefCommand_ == "CAL" ? "hex" : KestinExtension(coefCommand_ == "CAL1" ? 'F' : 'T');
    std::string error;
    const std::string path = WriteBackup(s_.State().DefaultFolder, s_.State().Info.SerialNumber, when, ext, lines, error);
    if (path.empty()) {
        view_.ShowBackup("No backup: " + error);
        s_.Op().ShowMessageBox("Could not write the backup of the coefficients: " + error);
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

void CoefTransfer::DecodeBoxHex() {
    // The lines as a save writes them, read back as a file is, without the file.
    ShowDecoded(ReadCoefHex(Joined(hex_), "the coefficient lines read from the box"));
}

void CoefTransfer::btReadPressClick() {
    if (NoBoxSelected()) {
        s_.Op().ShowMessageBox("Please select an address first.");
        return;
    }
    memo_.clear();
    view_.ShowMemoLines(memo_);
    coefCommand_ = "CAL1";
    const BlockRead block = ReadCoefLines();
    memo_ = block.lines;
    view_.ShowMemoLines(memo_);
    saveFilter_ = "." + KestinExtension('F') + "|." + KestinExtension('F') + "|All Files|*.*";
    if (block.complete) KeepBoxBlock(block.lines);
    else s_.Op().ShowMessageBox(Stopped(block));
}

void CoefTransfer::btReadTempClick() {
    if (NoBoxSelected()) {
        s_.Op().ShowMessageBox("Please select an address first.");
        return;
    }
    const bool digital = s_.State().DeviceType == device::kDigital;
    if (digital) {
        view_.ShowHexBox(true);
        hex_.clear();
        view_.ShowHexLines(hex_);
        coefCommand_ = "CAL";
    } else {
        memo_.clear();
        view_.ShowMemoLines(memo_);
        coefCommand_ = "CAL2";
    }
    const BlockRead block = ReadCoefLines();
    if (digital) {
        hex_ = block.lines;
        view_.ShowHexLines(hex_);
        saveFilter_ = ".HEX|.HEX|All Files|*.*";
    } else {
        memo_ = block.lines;
        view_.ShowMemoLines(memo_);
        saveFilter_ = "." + KestinExtension('T') + "|." + KestinExtension('T') + "|All Files|*.*";
    }
    if (!block.complete) {
        if (digital) {
            memo_.clear();
            view_.ShowMemoLines(memo_);
        }
        s_.Op().ShowMessageBox(Stopped(block) + (digital ? " Nothing was decoded." : ""));
        return;
    }
    KeepBoxBlock(block.lines);
    if (digital) DecodeBoxHex();
}

bool CoefTransfer::LoadCoefFile(const std::string& path) {
    std::vector<std::string> lines;
    const std::string error = ReadLinesFile(path, lines);
    if (!error.empty()) {
        s_.Op().ShowMessageBox("Cannot open the coefficient file " + error);
        return false;
    }
    const std::string upper = Upper(path);
    fileBlock_ = true;
    if (upper.size() < 3 || upper.substr(upper.size() - 3) != "HEX") {
        coefCommand_ = !upper.empty() && upper.back() == 'F' ? "CAL1" : "CAL2";
        view_.ShowHexBox(false);
        memo_ = lines;
        view_.ShowMemoLines(memo_);
        return true;
    }
    coefCommand_ = "CAL";
    view_.ShowHexBox(true);
    hex_ = lines;
    view_.ShowHexLines(hex_);
    ShowDecoded(ReadCoefHexFile(path));
    return true;
}

void CoefTransfer::OpenCoefClick() {
    const auto path = view_.PickCoefFile(s_.State().DefaultFolder);
    if (!path) return;
    view_.ShowWriteButton();
    LoadCoefFile(*path);
}

void CoefTransfer::btQuickLoadClick() {
    const auto files = view_.PickQuickLoadFiles(kQuickLoadFilter, s_.State().DefaultFolder);
    if (files.empty() || !LoadCoefFile(files.front())) return;
    memo_.insert(memo_.end(), files.begin(), files.end());
    view_.ShowMemoLines(memo_);
}

void CoefTransfer::SaveCoefClick() {
    const auto& st = s_.State();
    std::string name = st.Info.SerialNumber.substr(0, 8);
    for (char& c : name)
        if (c == '/') c = '_';
    // The filter's own extension, so a saved block opens again as the same kind.
    std::string suffix = "txt";
    const std::size_t bar = saveFilter_.find('|');
    if (saveFilter_.rfind('.', 0) == 0 && bar != std::string::npos) suffix = saveFilter_.substr(1, bar - 1);
    const auto path = view_.PickSaveFile(saveFilter_, st.DefaultFolder, name, suffix);
    if (!path) return;
    const std::string error = WriteLinesFile(*path, st.DeviceType == device::kDigital ? hex_ : memo_, false);
    if (!error.empty()) s_.Op().ShowMessageBox("Could not save the coefficients to " + error);
    else view_.ShowProgress("Saved to " + *path);
}

bool CoefTransfer::ConfirmAgainstBox() {
    if (!fileBlock_) return true;
    const auto found = boxBlocks_.find(BoxBlockKey());
    if (found == boxBlocks_.end()) return true;
    const auto& box = found->second.lines;
    const auto& file = coefCommand_ == "CAL" ? hex_ : memo_;
    std::vector<std::string> diffs;
    const CoefHexResult a = coefCommand_ == "CAL" ? ReadCoefHex(Joined(box), "") : CoefHexResult{};
    const CoefHexResult b = coefCommand_ == "CAL" ? ReadCoefHex(Joined(file), "") : CoefHexResult{};
    if (a.ok && b.ok) {
        CoefImage boxImage = a.image, fileImage = b.image;
        MapCoefImage(boxImage);
        MapCoefImage(fileImage);
        diffs = CompareCoefImages(boxImage, fileImage);
    } else {
        for (std::size_t i = 0; i < std::max(box.size(), file.size()); ++i) {
            const std::string x = i < box.size() ? "\"" + box[i] + "\"" : "(none)";
            const std::string y = i < file.size() ? "\"" + file[i] + "\"" : "(none)";
            if (x != y) diffs.push_back("Line " + std::to_string(i + 1) + ": box " + x + ", file " + y);
        }
    }
    const std::string from = coefCommand_ + " block read from the box (serial " + s_.State().Info.SerialNumber +
                             ") at " + found->second.at;
    if (diffs.empty())
        return view_.AskGoOn("The box already holds these coefficients: the " + from +
                             " is the same as the file's.\nLoad them anyway?");
    std::string text = "The file's coefficients differ from the " + from + " in " + std::to_string(diffs.size()) +
                       (diffs.size() == 1 ? " place" : " places") + ":\n";
    for (std::size_t i = 0; i < diffs.size() && i < kMaxDiffLines; ++i) text += diffs[i] + "\n";
    if (diffs.size() > kMaxDiffLines) text += "... and " + std::to_string(diffs.size() - kMaxDiffLines) + " more\n";
    return view_.AskGoOn(text + "Load the file's coefficients into the box?");
}

bool CoefTransfer::SendCoefLines() {
    auto& link = s_.Link();
    auto hold = link.Hold();
    bool ok = link.WriteRaw(s_.State().CurrentAddress + coefCommand_ + "={");
    for (const auto& line : coefCommand_ == "CAL" ? hex_ : memo_) ok = ok && link.WriteRaw(line + "\r\n");
    return ok && link.WriteRaw("}\r\n");
}

void CoefTransfer::btWriteMemClick() {
    auto& st = s_.State();
    if (NoBoxSelected()) {
        s_.Op().ShowMessageBox("Please Auto Connect first.");
        return;
    }
    if (coefCommand_.empty()) {
        s_.Op().ShowMessageBox("There are no coefficients to load: read them or open a coefficient file first.");
        return;
    }
    if (!ConfirmAgainstBox()) return;
    const bool digital = st.DeviceType == device::kDigital;
    BlockRead echo;
    bool sent;
    {
        // The write and the box's echo are one stream.
        auto hold = s_.Link().Hold();
        view_.ShowProgress("Writing " + coefCommand_);
        sent = SendCoefLines();
        if (sent) {
            st.ReplyText = s_.Link().SendCommand(std::string(link::kNoWrite));
            while (st.ReplyText != "}" && st.ReplyText != app::kNoConnect && echo.lines.size() < kMaxBlockLines) {
                st.ReplyText = s_.Link().SendCommand(std::string(link::kNoWrite));
                if (st.ReplyText != "}" && st.ReplyText != app::kNoConnect) echo.lines.push_back(st.ReplyText);
            }
            echo.complete = st.ReplyText == "}";
        }
    }
    if (!sent) {
        s_.Op().ShowMessageBox("Could not write the coefficients to the port " + s_.Link().LinkPortName() + ".");
        return;
    }
    fileBlock_ = false;
    (digital ? hex_ : memo_) = echo.lines;
    if (digital) view_.ShowHexLines(hex_);
    else view_.ShowMemoLines(memo_);
    if (echo.complete) {
        KeepBoxBlock(echo.lines);
    } else {
        s_.Op().ShowMessageBox("The box stopped answering after " + std::to_string(echo.lines.size()) +
                               " lines of its answer to the coefficients written.");
    }
    view_.ShowProgress("");
    if (!view_.AskMakePermanent()) return;
    if (digital) CommitCoefficients();
    else device::CommitToEeprom(s_);
}

void CoefTransfer::CommitCoefficients() {
    auto& st = s_.State();
    st.CommandText = st.CurrentAddress + "CW" + "\r\n";
    st.ReplyText = s_.Link().SendCommand(st.CommandText);
    if (st.CurrentAddress != "#00" && st.ReplyText != "0")
        s_.Op().ShowMessageBox("Bravik Reported error " + st.ReplyText + " when writing the Coefficients.");
}

}  // namespace tessary::coef
