#pragma once
// Boxes behind a ScriptedPort: each answers "ID" and "VER" at its own port
// path, baud rate and address. Enough for the flows that only find boxes.

#include "testkit/ScriptedPort.h"

#include <string>
#include <vector>

namespace tessary::testkit {

struct FakeBox {
    std::string path;
    std::uint32_t baud;
    int address;
    std::string id;
};

inline void AttachBus(ScriptedPort& port, const std::vector<FakeBox>& boxes) {
    port.onWrite = [&port, boxes](const std::string& cmd) {
        if (cmd.size() < 5 || cmd[0] != '#') return;
        const int address = (cmd[1] - '0') * 10 + (cmd[2] - '0');
        const std::string word = cmd.substr(3, cmd.size() - 5);
        for (const auto& b : boxes) {
            if (b.path != port.path || b.baud != port.baud || b.address != address) continue;
            if (word == "ID") port.Arrive(b.id + "\r\n", std::chrono::milliseconds(3));
            if (word == "VER") port.Arrive("VER 4.11\r\n", std::chrono::milliseconds(3));
        }
    };
}

}  // namespace tessary::testkit
