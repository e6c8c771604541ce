#include "PacedPeer.h"

std::unique_ptr<PacedPeer> StartPacedPeer(std::uint32_t, const std::string&, std::string& error) {
    error = "Windows has no pseudo-terminal: start `link_bench --peer LINK` on Linux and give --device";
    return nullptr;
}
