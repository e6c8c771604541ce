#pragma once
// The real port, link and session over one simulated line.

#include "app/Session.h"
#include "app/private/AppState.h"
#include "link/LinuxPort.h"
#include "sim/Line.h"
#include "testkit/RecordingOperator.h"
#include "testkit/UnpacedPort.h"

#include <string>
#include <vector>

namespace tessary::test {

using Strings = std::vector<std::string>;

// What the boxes heard from the PC since the last call, as "text" or "text@baud".
inline Strings Heard(bravik::sim::Line& line, bool withBaud = false) {
    Strings out;
    for (const auto& t : line.traffic())
        if (t.dir == bravik::sim::Traffic::Dir::FromPc)
            out.push_back(withBaud ? t.text + "@" + std::to_string(t.baud) : t.text);
    line.clearTraffic();
    return out;
}

struct SimSession {
    const bool paced;
    bravik::sim::Line line;
    link::PortMap ports;
    link::DeviceLink dl{paced ? std::unique_ptr<link::Port>(std::make_unique<link::PosixPort>())
                              : std::make_unique<testkit::UnpacedPort>(std::make_unique<link::PosixPort>()),
                        [this](const std::string& n) { return ports.Resolve(n); }};
    testkit::RecordingOperator op;
    app::Session s{dl, ports, op, app::Options{}};
    bool opened = false;

    // COM1 open at `baud` on the line of `cfg`.
    explicit SimSession(bravik::sim::LineConfig cfg, std::uint32_t baud = 9600)
        : paced(cfg.pacing), line(std::move(cfg)) {
        line.start();
        ports.SetFromCommandLine("COM1", line.slavePath());
        s.Reset();
        dl.SetLinkPortName("COM1");
        dl.SetLinkBaudRate(baud);
        opened = dl.OpenComPort();
    }
    app::AppState& st() { return s.State(); }
};

}  // namespace tessary::test
