#pragma once
// The demo line of --simulate, in this process. It needs a pseudo-terminal,
// so Windows has none: DemoLinePosix.cpp, DemoLineWin32.cpp.

#include <memory>
#include <string>

class DemoLine {
public:
    virtual ~DemoLine() = default;
    virtual std::string DevicePath() const = 0;
};

// The running line, or null with `error` saying why.
std::unique_ptr<DemoLine> StartDemoLine(std::string& error);
