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

void AppendUtf8(std::string& out, char32_t c) {
    if (c < 0x80) {
        out += static_cast<char>(c);
        return;
    }
    const int tail = c < 0x800 ? 1 : c < 0x10000 ? 2 : 3;
    out += static_cast<char>(((0xFF00u >> (tail + 1)) & 0xFF) | (c >> (6 * tail)));
    for (int i = tail - 1; i >= 0; --i) out += static_cast<char>(0x80 | ((c >> (6 * i)) & 0x3F));
}

// UTF-16 after its byte order mark, as UTF-8; nothing when it is cut or holds
// a lone surrogate.
std::optional<std::string> FromUtf16(std::string_view bytes, bool big) {
    if (bytes.size() % 2 != 0) return std::nullopt;
    auto unit = [&](std::size_t i) {
        const auto a = static_cast<unsigned char>(bytes[i]), b = static_cast<unsigned char>(bytes[i + 1]);
        return static_cast<char32_t>(big ? (a << 8 | b) : (b << 8 | a));
    };
    std::string out;
    for (std::size_t i = 0; i < bytes.size(); i += 2) {
        char32_t c = unit(i);
        if (c >= 0xDC00 && c <= 0xDFFF) return std::nullopt;
        if (c >= 0xD800 && c <= 0xDBFF) {
            const char32_t low = i + 3 < bytes.size() ? unit(i + 2) : 0;
            if (low < 0xDC00 || low > 0xDFFF) return std::nullopt;
            c = 0x10000 + ((c - 0xD800) << 10) + (low - 0xDC00);
            i += 2;
        }
        AppendUtf8(out, c);
    }
    return out;
}

// Back to UTF-16; a byte that is not UTF-8 (none was read from the file)
// becomes U+FFFD.
std::string ToUtf16(const std::string& text, bool big) {
    std::string out;
    auto put = [&](char32_t u) {
        const auto hi = static_cast<char>(u >> 8), lo = static_cast<char>(u & 0xFF);
        out += big ? hi : lo;
        out += big ? lo : hi;
    };
    put(0xFEFF);
    for (std::size_t i = 0; i < text.size();) {
        const auto b = static_cast<unsigned char>(text[i]);
        const int tail = b < 0x80 ? 0 : (b & 0xE0) == 0xC0 ? 1 : (b & 0xF0) == 0xE0 ? 2 : (b & 0xF8) == 0xF0 ? 3 : -1;
        char32_t c = tail < 0 ? 0xFFFD : b & (0x7F >> tail);
        std::size_t n = 1;
        for (; tail > 0 && n <= static_cast<std::size_t>(tail); ++n) {
            if (i + n >= text.size() || (static_cast<unsigned char>(text[i + n]) & 0xC0) != 0x80) break;
            c = c << 6 | (static_cast<unsigned char>(text[i + n]) & 0x3F);
        }
        if (tail > 0 && n != static_cast<std::size_t>(tail) + 1) c = 0xFFFD, n = 1;
        i += n;
        if (c >= 0x10000 && c <= 0x10FFFF) {
            put(0xD800 + ((c - 0x10000) >> 10));
            put(0xDC00 + ((c - 0x10000) & 0x3FF));
        } else {
            put(c > 0x10FFFF ? 0xFFFD : c);
        }
    }
    return out;
}

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
    if (ini.origin_ != Origin::Unreadable) ini.origin_ = Origin::Read;
    return ini;
}

IniFile IniFile::Parse(const std::string& raw) {
    IniFile ini;
    auto refuse = [&ini](std::string why) {
        ini.origin_ = Origin::Unreadable;
        ini.problem_ = std::move(why);
        return ini;
    };
    std::string text;
    if (raw.compare(0, 2, "\xFF\xFE") == 0 || raw.compare(0, 2, "\xFE\xFF") == 0) {
        const bool big = raw[0] == '\xFE';
        auto utf8 = FromUtf16(std::string_view(raw).substr(2), big);
        if (!utf8) return refuse("it is UTF-16 text that is cut short or holds a broken character");
        ini.encoding_ = big ? Encoding::Utf16BE : Encoding::Utf16LE;
        text = std::move(*utf8);
    } else {
        text = raw;
        if (text.compare(0, kBom.size(), kBom) == 0) {
            ini.bom_ = true;
            text.erase(0, kBom.size());
        }
    }
    // UTF-16 without its byte order mark, UTF-32, or no text at all.
    if (text.find('\0') != std::string::npos)
        return refuse("it holds NUL bytes: save it as UTF-8, or as UTF-16 with a byte order mark");
    for (std::size_t pos = 0; pos < text.size();) {
        const auto end = text.find_first_of("\r\n", pos);
        if (end == std::string::npos) {
            ini.lines_.push_back({text.substr(pos), ""});
            break;
        }
        const std::size_t eol = text.compare(end, 2, "\r\n") == 0 ? 2 : 1;
        ini.lines_.push_back({text.substr(pos, end - pos), text.substr(end, eol)});
        pos = end + eol;
    }
    return ini;
}

std::string IniFile::NewLineEnd() const {
    std::size_t crlf = 0, lf = 0, cr = 0;
    for (const auto& l : lines_) {
        crlf += l.eol == "\r\n";
        lf += l.eol == "\n";
        cr += l.eol == "\r";
    }
    return lf > crlf && lf >= cr ? "\n" : cr > crlf && cr > lf ? "\r" : "\r\n";
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
    // A CR at the very end of a CR LF or LF file was half a line end: completed, not doubled.
    auto complete = [this, &eol](Line& last) {
        if (last.eol.empty()) last.eol = eol;
        if (last.eol == "\r" && eol != "\r" && &last == &lines_.back()) last.eol = "\r\n";
    };
    if (lastInSection) {
        // After a last line without a line end the new line becomes that last line.
        Line& before = lines_[*lastInSection];
        const std::string own = before.eol.empty() ? std::string() : eol;
        complete(before);
        Insert(*lastInSection + 1, Line{entry, own});
        return;
    }
    if (!lines_.empty()) complete(lines_.back());
    if (!lines_.empty() && !Trim(lines_.back().text).empty()) lines_.push_back({"", eol});
    lines_.push_back({"[" + section + "]", eol});
    lines_.push_back({entry, eol});
}

void IniFile::Insert(std::size_t at, Line line) {
    // A CR before an empty LF line would read back as one CR LF: one line lost.
    if (line.eol == "\r" && at < lines_.size() && lines_[at].text.empty() && lines_[at].eol.rfind('\n', 0) == 0)
        line.eol = "\r\n";
    lines_.insert(lines_.begin() + static_cast<std::ptrdiff_t>(at), std::move(line));
}

void IniFile::WriteInteger(const std::string& section, const std::string& key, int value) {
    WriteString(section, key, std::to_string(value));
}

std::string IniFile::Text() const {
    std::string out = bom_ ? std::string(kBom) : std::string();
    for (const auto& [text, eol] : lines_) out += text + eol;
    return encoding_ == Encoding::Utf8 ? out : ToUtf16(out, encoding_ == Encoding::Utf16BE);
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
