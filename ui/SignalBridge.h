#pragma once
// Turns SIGTERM and SIGINT into a queued call on the window thread (a signal
// handler may only write to a pipe), so every way out runs the same close.
// On a simulated line SIGUSR1 and SIGUSR2 are its plug: pulled, put back.
// One file per platform: SignalBridgePosix.cpp, SignalBridgeWin32.cpp (the
// console's Ctrl+C and close, told as SIGINT and SIGTERM; no plug signals).

#include <QObject>

class QSocketNotifier;

class SignalBridge : public QObject {
    Q_OBJECT
public:
    explicit SignalBridge(QObject* parent = nullptr);
    ~SignalBridge() override;

    // SIGUSR1 and SIGUSR2 from now on give plugRequested.
    void CatchPlugSignals();

signals:
    void terminationRequested(int signal);
    void plugRequested(bool in);

private:
    QSocketNotifier* notifier_ = nullptr;  // POSIX: the pipe's reading end
};
