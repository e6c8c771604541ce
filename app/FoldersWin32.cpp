// Where the program keeps its files on Windows: the roaming application data
// folder (%APPDATA%) and the Documents folder.

#include "app/Options.h"
#include "link/Win32Text.h"

#include <windows.h>
// After windows.h: it needs its types.
#include <knownfolders.h>
#include <shlobj.h>

namespace tessary::app {
namespace {
// The known folder, or the temporary folder when the profile has none.
std::string KnownFolder(REFKNOWNFOLDERID id) {
    wchar_t* path = nullptr;
    std::string out;
    if (::SHGetKnownFolderPath(id, 0, nullptr, &path) == S_OK && path) out = link::Narrow(path);
    ::CoTaskMemFree(path);
    if (out.empty()) {
        wchar_t temp[MAX_PATH + 1]{};
        const DWORD n = ::GetTempPathW(MAX_PATH + 1, temp);
        out = link::Narrow(std::wstring(temp, n));
        while (!out.empty() && out.back() == '\\') out.pop_back();
    }
    return out;
}
}  // namespace

std::string DefaultIniPath() { return KnownFolder(FOLDERID_RoamingAppData) + "\\Veltrona\\Tessary.ini"; }

std::string DefaultCaptureFolder() { return KnownFolder(FOLDERID_Documents) + "\\Tessary\\"; }

}  // namespace tessary::app
