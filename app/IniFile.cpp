#include "app/IniFile.h"

#include <cerrno>
#include <charconv>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>

namespace tessary::app {

namespace {

std::string Trim(const std::string& s) {
    const auto b = s.find_first_not_of(" \t");
    if (b == std::string::npos) return {};
    const auto e = s.find_last_not_of(" \t");
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

}  // namespace

IniFile IniFile::Load(const std::string& path) {
    IniFile ini;
    std::ifstream in(path, std::ios::binary);
    if (!in) return ini;
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (text.find("\r\n") == std::string::npos && text.find('\n') != std::string::npos) ini.eol_ = "\n";
    std::size_t pos = 0;
    while (pos < text.size()) {
        auto nl = text.find('\n', pos);
        std::string line = text.substr(pos, nl == std::string::npos ? std::string::npos : nl - pos);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        ini.lines_.push_back(line);
        if (nl == std::string::npos) {
            ini.finalEol_ = false;
            break;
        }
        pos = nl + 1;
    }
    return ini;
}

std::string IniFile::ReadString(const std::string& section, const std::string& key, const std::string& def) const {
    bool in = false;
    for (const auto& line : lines_) {
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
    for (const auto& line : lines_) {
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
        if (auto s = SectionName(lines_[i])) {
            if (in) break;
            in = SameText(*s, section);
            if (in) lastInSection = i;
            continue;
        }
        if (!in) continue;
        if (auto k = KeyName(lines_[i])) {
            if (SameText(*k, key)) {
                lines_[i] = entry;
                return;
            }
            lastInSection = i;
        }
    }
    if (lastInSection) {
        lines_.insert(lines_.begin() + static_cast<std::ptrdiff_t>(*lastInSection + 1), entry);
        return;
    }
    if (!lines_.empty() && !Trim(lines_.back()).empty()) lines_.emplace_back();
    lines_.push_back("[" + section + "]");
    lines_.push_back(entry);
    finalEol_ = true;
}

void IniFile::WriteInteger(const std::string& section, const std::string& key, int value) {
    WriteString(section, key, std::to_string(value));
}

std::string IniFile::Text() const {
    std::string out;
    for (std::size_t i = 0; i < lines_.size(); ++i) {
        out += lines_[i];
        if (i + 1 < lines_.size() || finalEol_) out += eol_;
    }
    return out;
}

bool IniFile::Save(const std::string& path, std::string* error) const {
    namespace fs = std::filesystem;
    std::error_code ec;
    fs::path target(path);
    // Write through a link to the file it points at, keeping the link.
    if (fs::is_symlink(target, ec)) target = fs::canonical(target, ec);
    if (target.has_parent_path()) fs::create_directories(target.parent_path(), ec);
    const fs::path temp = target.string() + ".tmp";
    {
        std::ofstream out(temp, std::ios::binary | std::ios::trunc);
        if (!out) {
            if (error) *error = std::string("cannot create ") + temp.string() + ": " + std::strerror(errno);
            return false;
        }
        const std::string text = Text();
        out.write(text.data(), static_cast<std::streamsize>(text.size()));
        out.flush();
        if (!out) {
            if (error) *error = std::string("cannot write ") + temp.string();
            out.close();
            fs::remove(temp, ec);
            return false;
        }
    }
    fs::rename(temp, target, ec);
    if (ec) {
        if (error) *error = "cannot replace " + target.string() + ": " + ec.message();
        fs::remove(temp, ec);
        return false;
    }
    return true;
}

}  // namespace tessary::app
