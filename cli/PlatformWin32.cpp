#include "cli/Cli.h"
#include "cli/Platform.h"

#include "link/Win32Text.h"

#include <windows.h>
// After windows.h: it needs its types.
#include <shellapi.h>

#include <cstdio>
#include <cstdlib>
#include <io.h>

namespace tessary::cli {
namespace {

std::atomic<int>* gCount = nullptr;
const std::atomic<bool>* gAtOnce = nullptr;

// Runs on a thread of its own that Windows starts for each event.
BOOL WINAPI OnConsoleEvent(DWORD event) {
    if (gAtOnce->load()) {
        // Nothing is half written: end here, saying why.
        static const char kText[] = "tessary-cli: stopped by a signal\r\n";
        DWORD written = 0;
        ::WriteFile(::GetStdHandle(STD_ERROR_HANDLE), kText, sizeof kText - 1, &written, nullptr);
        std::_Exit(kNoAnswer);
    }
    gCount->fetch_add(1);
    if (event == CTRL_CLOSE_EVENT || event == CTRL_LOGOFF_EVENT || event == CTRL_SHUTDOWN_EVENT) {
        // Windows ends the process as soon as this returns: hold it while the
        // command winds down, within the 5 s Windows grants. The program's own
        // end stops this thread sooner.
        ::Sleep(4500);
    }
    return TRUE;
}

}  // namespace

void InstallStopHandlers(std::atomic<int>& count, const std::atomic<bool>& atOnce) {
    gCount = &count;
    gAtOnce = &atOnce;
    ::SetConsoleCtrlHandler(OnConsoleEvent, TRUE);
}

bool StandardErrorIsTerminal() { return ::_isatty(::_fileno(stderr)) != 0; }

std::vector<std::string> CommandLine(int argc, char* argv[]) {
    static const UINT shown = ::GetConsoleOutputCP();
    if (::SetConsoleOutputCP(CP_UTF8)) std::atexit([] { ::SetConsoleOutputCP(shown); });
    int count = 0;
    LPWSTR* wide = ::CommandLineToArgvW(::GetCommandLineW(), &count);
    if (!wide) return {argv + 1, argv + argc};
    std::vector<std::string> args;
    for (int i = 1; i < count; ++i) args.push_back(link::Narrow(wide[i]));
    ::LocalFree(wide);
    return args;
}

}  // namespace tessary::cli
