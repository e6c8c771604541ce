#pragma once
// Start-up, INI file, console exchange and shutdown: the flows the main window
// runs as it is made, shown and closed, without any widget.

#include "app/ConnectionCopy.h"
#include "app/LineWatch.h"
#include "app/Operator.h"
#include "app/Options.h"
#include "link/DeviceLink.h"
#include "link/PortMap.h"

#include <atomic>
#include <ctime>
#include <functional>
#include <memory>
#include <string>

namespace tessary::app {

// The line's own state: complete only in app/private/AppState.h, which the
// window's layer cannot include.
struct AppState;

class Session {
public:
    Session(link::DeviceLink& link, link::PortMap& ports, Operator& op, Options options);
    ~Session();

    // No box known, no address, both polls off: the state the program starts in.
    void Reset();
    // Reads the INI file and opens the remembered port, publishing a copy that
    // says so before the open. Call once, on the line, before the connect dialog
    // is shown.
    void Open();
    // Writes the INI file (after a connection only), closes the port, stops
    // the polling loops. Safe to call more than once:
    // only the first call does anything.
    void Close();

    void SelectIniFile();
    void ReadIniFile();
    // Writes ComPort, BaudRate (when they are among the known values) and
    // Addr1..Addr4. Reports a failure to the operator; returns success.
    bool WriteIniFile();

    // The information read-out that follows every connect. The device layer
    // plugs it in; the connect flows only call it.
    void SetReadDeviceInfo(std::function<void(Session&)> readOut) { readDeviceInfo_ = std::move(readOut); }
    void ReadDeviceInfo() {
        if (readDeviceInfo_) readDeviceInfo_(*this);
    }

    // The console: CommandText = text + "\r\n", the answer (or a sentinel) back
    // with the outcome of that very exchange, for the status bar.
    link::Reply ConsoleCommand(const std::string& text);

    // Asks whatever runs to wind down: from now on the flows send nothing more
    // and their loops end at their next check. Any thread; Close starts here.
    void RequestStop() { stopping_ = true; }
    bool Stopping() const { return stopping_.load(); }
    // For an exchange's wait, so a close is not kept waiting for a slow box.
    const std::atomic<bool>* StopFlag() const { return &stopping_; }

    // The readings loops' switches off, so they end at their next check. On the line.
    void StopLoops();

    // On the thread that owns the state: a copy of what the window shows, handed
    // to the observer (which only queues it). A command-line text goes out once.
    ConnectionCopy CopyConnection() const;
    void PublishConnection();
    void SetConnectionObserver(std::function<void(ConnectionCopy)> observer) {
        connectionObserver_ = std::move(observer);
    }

    // The work layers' way in (they include app/private/AppState.h); on the line.
    AppState& State() { return *state_; }
    const AppState& State() const { return *state_; }
    // Fixed at construction: readable from any thread.
    const std::string& DefaultFolder() const { return defaultFolder_; }
    link::DeviceLink& Link() { return link_; }
    link::PortMap& Ports() { return ports_; }
    LineWatch& Watch() { return watch_; }
    Operator& Op() { return op_; }
    const Options& Opts() const { return options_; }
    bool Closed() const { return closed_; }

private:
    link::DeviceLink& link_;
    link::PortMap& ports_;
    Operator& op_;
    Options options_;
    const std::string defaultFolder_;
    std::unique_ptr<AppState> state_;
    bool opening_ = false;
    bool closed_ = false;
    std::atomic<bool> stopping_{false};
    std::function<void(Session&)> readDeviceInfo_;
    std::function<void(ConnectionCopy)> connectionObserver_;
    LineWatch watch_{link_};
};

// The executable's date as the version label shows it: the formatted date-time
// text up to and including its first blank (empty when it has none).
std::string VersionDateText(const std::string& formattedDateTime);
// Short date, and the long time unless it is exactly midnight, in the C locale
// of the process (e.g. "12/05/26 23:15:02").
std::string FormatFileDateTime(std::time_t t);

}  // namespace tessary::app
