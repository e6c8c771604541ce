#include "coef/CoefBackup.h"

#include "coef/CoefFiles.h"
#include "link/Files.h"
#include "link/System.h"

#include <cctype>

namespace tessary::coef {

std::string TimeText(std::time_t when, const char* format) {
    const std::tm local = link::LocalTime(when);
    char buf[32];
    std::strftime(buf, sizeof buf, format, &local);
    return buf;
}

std::string WriteBackup(const std::string& defaultFolder, const std::string& serial, std::time_t when,
                        const std::string& ext, const std::vector<std::string>& lines, std::string& error) {
    std::string dir = defaultFolder;
    while (dir.size() > 1 && (dir.back() == '/' || dir.back() == '\\')) dir.pop_back();
    dir += "/backups";
    if (std::string why = link::MakeFolders(dir); !why.empty()) {
        error = dir + ": " + why;
        return {};
    }
    // The same cleaning as the capture's file names: a box never chooses the folder.
    const std::string stem = dir + "/" + link::FileNamePart(serial) + "-" + TimeText(when, "%Y%m%d-%H%M%S");
    for (int n = 1; n < 100; ++n) {
        const std::string path = stem + (n == 1 ? "" : "-" + std::to_string(n)) + "." + ext;
        if (link::AnythingAt(path)) continue;  // never over an older backup
        error = WriteLinesFile(path, lines, true);
        return error.empty() ? path : std::string();
    }
    error = stem + ": every name is taken";
    return {};
}

}  // namespace tessary::coef
