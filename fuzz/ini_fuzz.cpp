// The INI file as an operator may have edited it: read, write our keys, save,
// load again. Nothing of the operator's may be lost: every line survives but
// the lines of the keys written, and a text read and saved unchanged comes
// back byte for byte.

#include "app/IniFile.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <set>
#include <string>
#include <unistd.h>
#include <vector>

using tessary::app::IniFile;

namespace {

const std::string& TempPath() {
    static const std::string path = [] {
        const std::filesystem::path dir = std::filesystem::exists("/dev/shm") ? "/dev/shm" : "/tmp";
        return (dir / ("tessary_ini_fuzz_" + std::to_string(::getpid()) + ".ini")).string();
    }();
    return path;
}

// Lines end at CR LF, LF or CR (a last line's CR may gain its LF).
std::vector<std::string> LineTexts(const std::string& text) {
    std::vector<std::string> out;
    std::size_t pos = text.compare(0, 3, "\xEF\xBB\xBF") == 0 ? 3 : 0;
    while (pos < text.size()) {
        const auto end = text.find_first_of("\r\n", pos);
        out.push_back(text.substr(pos, end == std::string::npos ? std::string::npos : end - pos));
        if (end == std::string::npos) break;
        pos = end + (text.compare(end, 2, "\r\n") == 0 ? 2 : 1);
    }
    return out;
}

bool IsUtf16(const std::string& text) {
    return text.compare(0, 2, "\xFF\xFE") == 0 || text.compare(0, 2, "\xFE\xFF") == 0;
}

bool IsOurKeyLine(std::string line) {
    line.erase(0, line.find_first_not_of(" \t\r"));
    std::transform(line.begin(), line.end(), line.begin(), [](char c) { return static_cast<char>(std::tolower(static_cast<unsigned char>(c))); });
    for (const char* key : {"comport", "baudrate", "addr1", "addr2", "addr3", "addr4"})
        if (line.rfind(key, 0) == 0 && line.find('=') != std::string::npos) return true;
    return false;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    IniFile ini = IniFile::Parse(text);
    std::string reason;
    if (ini.From() == IniFile::Origin::Unreadable) {  // not understood: never written
        ini.WriteString("Communication", "ComPort", "COM2");
        if (ini.Problem().empty() || ini.Save(TempPath(), &reason) != IniFile::SaveResult::LeftAlone) std::abort();
        return 0;
    }
    if (ini.Text() != text) std::abort();  // read back unchanged

    const std::string section = "Communication";
    const std::string port = ini.ReadString(section, "ComPort", "COM1");
    const int baud = ini.ReadInteger(section, "BaudRate", 9600);
    std::map<std::string, std::string> other;  // what a reader sees in another section
    for (const auto& key : ini.Keys("Ports")) other[key] = ini.ReadString("Ports", key, "?");

    ini.WriteString(section, "ComPort", port.size() < 5 ? port : "COM2");
    ini.WriteInteger(section, "BaudRate", baud);
    for (int k = 1; k <= 4; ++k) {
        const std::string key = "Addr" + std::to_string(k);
        ini.WriteString(section, key, ini.ReadString(section, key, ""));
    }
    std::filesystem::remove(TempPath());
    if (ini.Save(TempPath(), &reason) != IniFile::SaveResult::Saved) std::abort();
    const IniFile again = IniFile::Load(TempPath());
    std::filesystem::remove(TempPath());
    if (again.From() != IniFile::Origin::Read || again.Text() != ini.Text()) std::abort();

    // Each line of the operator's is still there, apart from lines of the keys
    // written (UTF-16 is checked through its keys only).
    std::multiset<std::string> after;
    for (auto& l : LineTexts(again.Text())) after.insert(l);
    for (const auto& line : IsUtf16(text) ? std::vector<std::string>() : LineTexts(text)) {
        auto it = after.find(line);
        if (it != after.end()) after.erase(it);
        else if (!IsOurKeyLine(line)) std::abort();
    }
    if (text.compare(0, 3, "\xEF\xBB\xBF") == 0 && again.Text().compare(0, 3, "\xEF\xBB\xBF") != 0) std::abort();
    if (again.ReadInteger(section, "BaudRate", baud + 1) != baud) std::abort();
    for (const auto& [key, value] : other)
        if (again.ReadString("Ports", key, "?") != value) std::abort();
    return 0;
}
