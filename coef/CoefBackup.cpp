#include "coef/CoefBackup.h"

#include "coef/CoefFiles.h"
#include "link/Files.h"

#include <cerrno>
#include <sys/stat.h>

namespace tessary::coef {

namespace {

bool MakeDirs(const std::string& dir) {
    for (std::size_t at = 1; at <= dir.size(); ++at) {
        if (at != dir.size() && dir[at] != '/') continue;
        const std::string part = dir.substr(0, at);
        if (::mkdir(part.c_str(), 0777) != 0 && errno != EEXIST) return false;
    }
    struct stat st {};
    if (::stat(dir.c_str(), &st) != 0) return false;
    if (!S_ISDIR(st.st_mode)) errno = ENOTDIR;
    return S_ISDIR(st.st_mode);
}

}  // namespace

std::string TimeText(std::time_t when, const char* format) {
    std::tm local{};
    localtime_r(&when, &local);
    char buf[32];
    std::strftime(buf, sizeof buf, format, &local);
    return buf;
}

std::string WriteBackup(const std::string& defaultFolder, const std::string& serial, std::time_t when,
                        const std::string& ext, const std::vector<std::string>& lines, std::string& error) {
    std::string dir = defaultFolder;
    while (dir.size() > 1 && dir.back() == '/') dir.pop_back();
    dir += "/backups";
    if (!MakeDirs(dir)) {
        error = dir + ": " + link::SystemErrorText(errno);
        return {};
    }
    // The same cleaning as the capture's file names: a box never chooses the folder.
    const std::string stem = dir + "/" + link::FileNamePart(serial) + "-" + TimeText(when, "%Y%m%d-%H%M%S");
    for (int n = 1; n < 100; ++n) {
        const std::string path = stem + (n == 1 ? "" : "-" + std::to_string(n)) + "." + ext;
        // Never over an older backup.
        struct stat st {};
        if (::lstat(path.c_str(), &st) == 0) continue;
        error = WriteLinesFile(path, lines, true);
        return error.empty() ? path : std::string();
    }
    error = stem + ": every name is taken";
    return {};
}

}  // namespace tessary::coef
