#pragma once
// Turns SIGTERM and SIGINT into a queued call on the window thread (a signal
// handler may only write to a pipe), so every way out runs the same close.
// One file per platform: SignalBridgePosix.cpp, SignalBridgeWin32.cpp (the
// console's Ctrl+C and close, told as SIGINT and SIGTERM).

#include <QObject>

class QSocketNotifier;

class SignalBridge : public QObject {
    Q_OBJECT
public:
    explicit SignalBridge(QObject* parent = nullptr);
    ~SignalBridge() override;

signals:
    void terminationRequested(int signal);

private:
    QSocketNotifier* notifier_ = nullptr;  // POSIX: the pipe's reading end
};
