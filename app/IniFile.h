#pragma once
// A small INI file with the semantics of the classic profile functions: read a
// key with a default, write one key in place. Every other line (comments,
// other sections, blank lines, key order) is kept as it was.
// Sections and keys match case-insensitively; values are trimmed.

#include <string>
#include <vector>

namespace tessary::app {

class IniFile {
public:
    // A missing or unreadable file gives an empty INI (every read falls back).
    static IniFile Load(const std::string& path);

    std::string ReadString(const std::string& section, const std::string& key, const std::string& def) const;
    // The whole trimmed value must be a decimal integer in int range; otherwise `def`.
    int ReadInteger(const std::string& section, const std::string& key, int def) const;
    std::vector<std::string> Keys(const std::string& section) const;

    void WriteString(const std::string& section, const std::string& key, const std::string& value);
    void WriteInteger(const std::string& section, const std::string& key, int value);

    // Writes the file whole (a temporary beside it, then renamed, so a crash
    // never leaves half a file); creates the folder. False with `error` set.
    bool Save(const std::string& path, std::string* error = nullptr) const;
    std::string Text() const;

private:
    std::vector<std::string> lines_;  // without line ends
    std::string eol_ = "\r\n";        // kept from the file read
    bool finalEol_ = true;
};

}  // namespace tessary::app
