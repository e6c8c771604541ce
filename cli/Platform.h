#pragma once
// What tessary-cli needs from the operating system beyond the line: its stop
// requests and the terminal test. One file per platform:
// PlatformPosix.cpp and PlatformWin32.cpp.

#include <atomic>

namespace tessary::cli {

// Stop requests (POSIX: SIGINT, SIGTERM; Windows: Ctrl+C, Ctrl+Break, the
// console closed, log-off, shut-down). Each is counted in `count`; while
// `atOnce` holds, the process ends at once with kNoAnswer, saying why.
void InstallStopHandlers(std::atomic<int>& count, const std::atomic<bool>& atOnce);

bool StandardErrorIsTerminal();

}  // namespace tessary::cli
