#pragma once
// A small INI file with the semantics of the classic profile functions: read a
// key with a default, write one key in place. Every other line (comments,
// other sections, blank lines, key order, each line's own line end (CR LF,
// LF or CR), a UTF-8 byte order mark) is kept as it was. UTF-16 with its byte
// order mark is read and written back as UTF-16; a text that cannot be
// understood (broken UTF-16, NUL bytes) is not read and never written.
// Sections and keys match case-insensitively; values are trimmed.
//
// The file is the operator's: it is read only when it is a regular file of at
// most kMaxIniBytes, and it is never replaced by a fresh one. Saving writes the
// same file in place (through a symbolic link to its target), so its mode,
// owner and hard links stay.

#include <cstddef>
#include <string>
#include <vector>

namespace tessary::app {

inline constexpr std::size_t kMaxIniBytes = 1024 * 1024;

class IniFile {
public:
    enum class Origin {
        Missing,     // no file at the path: every read falls back, Save creates it
        Read,        // read whole
        Unreadable,  // there is something at the path, but it was not read (Problem() says why)
    };
    // Never throws; anything but a readable regular file gives an empty INI.
    static IniFile Load(const std::string& path);
    // The text of a file as Load reads it (for tests and fuzzing); a text it
    // cannot understand gives Origin::Unreadable.
    static IniFile Parse(const std::string& text);

    Origin From() const { return origin_; }
    // Why the file was not read, e.g. "it is a folder"; empty otherwise.
    const std::string& Problem() const { return problem_; }

    std::string ReadString(const std::string& section, const std::string& key, const std::string& def) const;
    // The whole trimmed value must be a decimal integer in int range; otherwise `def`.
    int ReadInteger(const std::string& section, const std::string& key, int def) const;
    std::vector<std::string> Keys(const std::string& section) const;

    void WriteString(const std::string& section, const std::string& key, const std::string& value);
    void WriteInteger(const std::string& section, const std::string& key, int value);

    enum class SaveResult {
        Saved,
        LeftAlone,  // the file exists but was not read, or the operator may not write it: untouched
        Failed,     // could not be written (the file may be short of the new text)
    };
    // Writes the text to `path`: a file that was read is rewritten in place;
    // a missing one is created with its folder (but a file that appeared since
    // Load is not overwritten). `reason` gets the system's reason.
    SaveResult Save(const std::string& path, std::string* reason = nullptr);
    std::string Text() const;

private:
    struct Line {
        std::string text;  // without its line end
        std::string eol;   // "\r\n", "\n", "\r" or "" (the last line without one)
    };
    enum class Encoding { Utf8, Utf16LE, Utf16BE };
    std::string NewLineEnd() const;
    void Insert(std::size_t at, Line line);

    std::vector<Line> lines_;  // UTF-8 whatever the file's encoding
    bool bom_ = false;         // UTF-8's
    Encoding encoding_ = Encoding::Utf8;
    Origin origin_ = Origin::Missing;
    std::string problem_;
};

}  // namespace tessary::app
