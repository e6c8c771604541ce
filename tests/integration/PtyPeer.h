#pragma once
// The far end of a pseudo-terminal, standing where the boxes would be: the
// code under test opens slavePath(), the test talks through the master.
//
// The peer also holds the slave open itself, so the master never sees the
// "no slave" hang-up while the port under test closes and reopens.
//
// Threading: one thread at a time uses the peer.

#include <asm/termbits.h>

#include <chrono>
#include <string>
#include <string_view>

namespace tessary::test {

class PtyPeer {
public:
    PtyPeer();  // throws std::system_error
    ~PtyPeer();
    PtyPeer(const PtyPeer&) = delete;
    PtyPeer& operator=(const PtyPeer&) = delete;

    const std::string& slavePath() const { return slavePath_; }
    // The line settings as the port side sees them (termios requests on a
    // master act on the slave's settings).
    termios2 line() const;
    void setLine(const termios2& settings);

    // Up to `count` bytes, returning early once that many have come.
    std::string read(std::size_t count, std::chrono::milliseconds limit);
    bool write(std::string_view bytes);
    // Closes the master at once: the port side sees a hang-up.
    void hangUp();

private:
    int master_ = -1;
    int keeper_ = -1;  // our own slave descriptor
    std::string slavePath_;
};

}  // namespace tessary::test
