#pragma once
// A simulated line with one box at #01, mapped to COM1, and a link on it.

#include "link/DeviceLink.h"
#include "link/PortMap.h"
#include "link/System.h"
#include "sim/Line.h"

#include <string>

namespace tessary::bench {

struct OneBoxLine {
    bravik::sim::Line line;
    link::PortMap ports;
    link::DeviceLink dl{link::MakeSystemPort(), [this](const std::string& n) { return ports.Resolve(n); }};

    explicit OneBoxLine(bravik::sim::BoxConfig box) : line(Config(box)) {
        line.start();
        ports.SetFromCommandLine("COM1", line.slavePath());
    }
    static bravik::sim::LineConfig Config(bravik::sim::BoxConfig box) {
        box.address = 1;
        bravik::sim::LineConfig cfg;
        cfg.boxes = {box};
        return cfg;
    }
};

}  // namespace tessary::bench
