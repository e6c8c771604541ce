#pragma once
// The backup every block read from a box gets, without asking.

#include <ctime>
#include <string>
#include <vector>

namespace tessary::coef {

// <folder>/backups/<serial>-<yyyymmdd-hhmmss>.<ext>, "-2", "-3"... when taken.
// Returns the path written, or empty with `error` set ("path: reason").
std::string WriteBackup(const std::string& defaultFolder, const std::string& serial, std::time_t when,
                        const std::string& ext, const std::vector<std::string>& lines, std::string& error);

// The clock text of a backup's name or a block's read time.
std::string TimeText(std::time_t when, const char* format);

}  // namespace tessary::coef
