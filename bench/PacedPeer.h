#pragma once
// The far end of link_bench's line: it takes a command as arriving only when
// its last byte would have crossed the wire, then sends its answer one byte
// per character time, on absolute deadlines. A command to #07 gets no answer.
// It stands on a pseudo-terminal, so only POSIX has it (PacedPeerPosix.cpp);
// on Windows the bench reaches a Linux one through a COM port.

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>

class PacedPeer {
public:
    virtual ~PacedPeer() = default;
    virtual const std::string& path() const = 0;  // what the port opens
};

// Null, with `error` saying why, where there is no pseudo-terminal.
std::unique_ptr<PacedPeer> StartPacedPeer(std::uint32_t baud, const std::string& reply, std::string& error);
