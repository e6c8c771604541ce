#pragma once
// What tessary-cli needs from the operating system beyond the line: its stop
// requests and the terminal test. One file per platform:
// PlatformPosix.cpp and PlatformWin32.cpp.

#include <atomic>
#include <string>
#include <vector>

namespace tessary::cli {

// Stop requests (POSIX: SIGINT, SIGTERM; Windows: Ctrl+C, Ctrl+Break, the
// console closed, log-off, shut-down). Each is counted in `count`; while
// `atOnce` holds, the process ends at once with kNoAnswer, saying why.
void InstallStopHandlers(std::atomic<int>& count, const std::atomic<bool>& atOnce);

bool StandardErrorIsTerminal();

// The arguments after the program's name, as UTF-8 (Windows hands `argv` over
// in its ANSI code page, which cannot hold every file name; its console is set
// to show UTF-8 for as long as the program runs).
std::vector<std::string> CommandLine(int argc, char* argv[]);

}  // namespace tessary::cli
