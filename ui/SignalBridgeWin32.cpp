#include "ui/SignalBridge.h"

#include <QMetaObject>

#include <windows.h>

#include <csignal>

// Ctrl+C, Ctrl+Break and the closing of a console the program was started
// from. A window's own close, log-off and shut-down come to Qt as window
// messages and reach the same close without this.
namespace {
SignalBridge* g_bridge = nullptr;

// Runs on a thread Windows starts for each event.
BOOL WINAPI OnConsoleEvent(DWORD event) {
    if (!g_bridge) return FALSE;
    const int sig = event == CTRL_C_EVENT || event == CTRL_BREAK_EVENT ? SIGINT : SIGTERM;
    SignalBridge* bridge = g_bridge;
    QMetaObject::invokeMethod(bridge, [bridge, sig] { emit bridge->terminationRequested(sig); }, Qt::QueuedConnection);
    // Windows ends the process once this returns from a console close: hold
    // it, within the 5 s Windows grants, while the window closes.
    if (event == CTRL_CLOSE_EVENT) ::Sleep(4500);
    return TRUE;
}
}  // namespace

SignalBridge::SignalBridge(QObject* parent) : QObject(parent) {
    g_bridge = this;
    ::SetConsoleCtrlHandler(OnConsoleEvent, TRUE);
}

// Windows has no signals for the simulated line's plug, and no simulated line.
void SignalBridge::CatchPlugSignals() {}

SignalBridge::~SignalBridge() {
    ::SetConsoleCtrlHandler(OnConsoleEvent, FALSE);
    g_bridge = nullptr;
}
