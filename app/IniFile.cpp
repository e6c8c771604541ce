#include "app/IniFile.h"

#include "link/Files.h"

#include <algorithm>
#include <charconv>
#include <optional>

namespace tessary::app {

namespace {

std::string Trim(const std::string& s) {
    const auto b = s.find_first_not_of(" \t\r");
    if (b == std::string::npos) return {};
    const auto e = s.find_last_not_of(" \t\r");
    return s.substr(b, e - b + 1);
}

bool SameText(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        auto lower = [](char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; };
        if (lower(a[i]) != lower(b[i])) return false;
    }
    return true;
}

// "[name]" -> name
std::optional<std::string> SectionName(const std::string& line) {
    const std::string t = Trim(line);
    if (t.size() < 2 || t.front() != '[') return std::nullopt;
    const auto close = t.find(']');
    if (close == std::string::npos) return std::nullopt;
    return Trim(t.substr(1, close - 1));
}

bool IsComment(const std::string& t) { return t.empty() || t[0] == ';' || t[0] == '#'; }

// "key = value" -> key; nothing for comments and lines without '='.
std::optional<std::string> KeyName(const std::string& line) {
    const std::string t = Trim(line);
    if (IsComment(t) || t[0] == '[') return std::nullopt;
    const auto eq = t.find('=');
    if (eq == std::string::npos) return std::nullopt;
    return Trim(t.substr(0, eq));
}

constexpr std::string_view kBom = "\xEF\xBB\xBF";

}  // namespace

IniFile IniFile::Load(const std::string& path) {
    IniFile ini;
    link::FileText file = link::ReadRegularFile(path, kMaxIniBytes);
    if (file.missing) return ini;
    if (!file.ok) {
        ini.origin_ = Origin::Unreadable;
        ini.problem_ = std::move(file.error);
        return ini;
    }
    ini = Parse(file.bytes);
    ini.origin_ = Origin::Read;
    return ini;
}

IniFile IniFile::Parse(const std::string& text) {
    IniFile ini;
    std::size_t pos = 0;
    if (text.compare(0, kBom.size(), kBom) == 0) {
        ini.bom_ = true;
        pos = kBom.size();
    }
    while (pos < text.size()) {
        const auto nl = text.find('\n', pos);
        if (nl == std::string::npos) {
            // A CR at the very end is the start of a line end, not text.
            const bool cr = text.back() == '\r';
            ini.lines_.push_back({text.substr(pos, text.size() - pos - (cr ? 1 : 0)), cr ? "\r" : ""});
            break;
        }
        const bool cr = nl > pos && text[nl - 1] == '\r';
        ini.lines_.push_back({text.substr(pos, nl - pos - (cr ? 1 : 0)), cr ? "\r\n" : "\n"});
        pos = nl + 1;
    }
    return ini;
}

std::string IniFile::NewLineEnd() const {
    std::ptrdiff_t balance = 0;  // CR LF lines minus LF lines
    for (const auto& l : lines_) balance += l.eol == "\r\n" ? 1 : l.eol == "\n" ? -1 : 0;
    return balance < 0 ? "\n" : "\r\n";
}

std::string IniFile::ReadString(const std::string& section, const std::string& key, const std::string& def) const {
    bool in = false;
    for (const auto& [line, eol] : lines_) {
        if (auto s = SectionName(line)) {
            in = SameText(*s, section);
            continue;
        }
        if (!in) continue;
        auto k = KeyName(line);
        if (!k || !SameText(*k, key)) continue;
        std::string v = Trim(line.substr(line.find('=') + 1));
        if (v.size() >= 2 && ((v.front() == '"' && v.back() == '"') || (v.front() == '\'' && v.back() == '\'')))
            v = v.substr(1, v.size() - 2);
        return v;
    }
    return def;
}

int IniFile::ReadInteger(const std::string& section, const std::string& key, int def) const {
    const std::string v = ReadString(section, key, "");
    if (v.empty()) return def;
    const char* first = v.data();
    if (*first == '+') ++first;
    int out = 0;
    auto [ptr, ec] = std::from_chars(first, v.data() + v.size(), out);
    if (ec != std::errc() || ptr != v.data() + v.size()) return def;
    return out;
}

std::vector<std::string> IniFile::Keys(const std::string& section) const {
    std::vector<std::string> keys;
    bool in = false;
    for (const auto& [line, eol] : lines_) {
        if (auto s = SectionName(line)) {
            in = SameText(*s, section);
            continue;
        }
        if (in) {
            if (auto k = KeyName(line)) keys.push_back(*k);
        }
    }
    return keys;
}

void IniFile::WriteString(const std::string& section, const std::string& key, const std::string& value) {
    const std::string entry = key + "=" + value;
    bool in = false;
    std::optional<std::size_t> lastInSection;  // last key line or the header
    for (std::size_t i = 0; i < lines_.size(); ++i) {
        if (auto s = SectionName(lines_[i].text)) {
            if (in) break;
            in = SameText(*s, section);
            if (in) lastInSection = i;
            continue;
        }
        if (!in) continue;
        if (auto k = KeyName(lines_[i].text)) {
            if (SameText(*k, key)) {
                lines_[i].text = entry;
                return;
            }
            lastInSection = i;
        }
    }
    const std::string eol = NewLineEnd();
    if (lastInSection) {
        // After a last line without a line end the new line becomes that last line.
        Line& before = lines_[*lastInSection];
        const std::string own = before.eol.empty() ? std::string() : eol;
        if (before.eol.empty()) before.eol = eol;
        if (before.eol == "\r") before.eol = "\r\n";
        lines_.insert(lines_.begin() + static_cast<std::ptrdiff_t>(*lastInSection + 1), Line{entry, own});
        return;
    }
    if (!lines_.empty() && lines_.back().eol.empty()) lines_.back().eol = eol;
    if (!lines_.empty() && lines_.back().eol == "\r") lines_.back().eol = "\r\n";
    if (!lines_.empty() && !Trim(lines_.back().text).empty()) lines_.push_back({"", eol});
    lines_.push_back({"[" + section + "]", eol});
    lines_.push_back({entry, eol});
}

void IniFile::WriteInteger(const std::string& section, const std::string& key, int value) {
    WriteString(section, key, std::to_string(value));
}

std::string IniFile::Text() const {
    std::string out = bom_ ? std::string(kBom) : std::string();
    for (const auto& [text, eol] : lines_) out += text + eol;
    return out;
}

IniFile::SaveResult IniFile::Save(const std::string& path, std::string* reason) {
    auto result = [reason](SaveResult r, std::string why) {
        if (reason) *reason = std::move(why);
        return r;
    };
    if (origin_ == Origin::Unreadable) return result(SaveResult::LeftAlone, "it was not read at start: " + problem_);
    if (origin_ == Origin::Missing) {
        const std::string parent = link::ParentFolder(path);
        if (!parent.empty()) (void)link::MakeFolders(parent);  // the write reports a failure
    }
    using Code = link::InPlaceWrite::Code;
    const link::InPlaceWrite w = link::WriteInPlace(path, Text(), origin_ == Origin::Missing);
    switch (w.code) {
    case Code::Written: break;
    case Code::Denied:
    case Code::NotRegular: return result(SaveResult::LeftAlone, w.error);
    case Code::NotEmpty: return result(SaveResult::LeftAlone, "it was made by someone else while the program ran");
    case Code::Failed: return result(SaveResult::Failed, w.error);
    }
    origin_ = Origin::Read;
    return result(SaveResult::Saved, {});
}

}  // namespace tessary::app
