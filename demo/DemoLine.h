#pragma once
// The simulated line of --simulate, for the window and for tessary-cli: the
// simulator's demo boxes on a pseudo-terminal, in this process. Windows has no
// pseudo-terminal: DemoLinePosix.cpp, DemoLineWin32.cpp.

#include <memory>
#include <string>

namespace tessary::demo {

class DemoLine {
public:
    virtual ~DemoLine() = default;
    // What COM1 opens: the stable link when there is one.
    virtual std::string DevicePath() const = 0;
    virtual void PullPlug() = 0;
    // Empty when the line is back (or never left), else why not.
    virtual std::string PutPlugBack() = 0;
};

// The running line, behind a by-id link in `byIdDir` when that is not empty;
// or null with `error` saying why.
std::unique_ptr<DemoLine> StartDemoLine(const std::string& byIdDir, std::string& error);

// How the operator pulls and puts back the plug from outside ("kill -USR1
// 1234 ..."); empty where there is no way.
std::string DemoPlugHint();

}  // namespace tessary::demo
