#pragma once
// The far end of a pseudo-terminal, standing where the boxes would be: the
// code under test opens slavePath(), the test talks through the master.
//
// The peer also holds the slave open itself, so the master never sees the
// "no slave" hang-up while the port under test closes and reopens; the line
// settings stay the port's business (the peer never sets any).
//
// Threading: one thread uses the peer, except that respond() runs a thread of
// its own; while it runs, do not read or write from the test thread.

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace tessary::test {

class PtyPeer {
public:
    struct Reply {
        std::string bytes;
        std::chrono::milliseconds delay{0};  // counted from the arrival of the line
        std::uint32_t pacedBaud = 0;         // 0: all at once; else 10 bits a byte at this rate
        bool hangUpAfter = false;            // close the master once the port has read the reply
    };
    // Gets each line from the PC without its "\r\n"; nullopt stays silent.
    using Responder = std::function<std::optional<Reply>(const std::string& line)>;

    PtyPeer();  // throws std::system_error
    ~PtyPeer();
    PtyPeer(const PtyPeer&) = delete;
    PtyPeer& operator=(const PtyPeer&) = delete;

    const std::string& slavePath() const { return slavePath_; }
    int masterFd() const { return master_.load(); }  // -1 after a hang-up
    bool isOpen() const { return master_.load() >= 0; }
    // The output rate the port side has set on the line; 0 when unknown.
    std::uint32_t lineBaud() const;

    // Up to `count` bytes, returning early once that many have come.
    std::string read(std::size_t count, std::chrono::milliseconds limit);
    // Through the next "\n" (included); what came so far when the limit passes.
    std::string readLine(std::chrono::milliseconds limit);
    bool write(std::string_view bytes);
    // As a line at `baud` delivers them: byte i lands at start + (i+1) * 10 bits.
    bool writePaced(std::string_view bytes, std::uint32_t baud);
    // Closes the master at once: the port side sees a hang-up, and the kernel
    // discards whatever it had not read yet.
    void hangUp();

    // Answers each line the PC sends from a background thread until
    // stopResponding(), a hang-up reply or destruction.
    void respond(Responder responder);
    void stopResponding();
    std::vector<std::string> linesHeard() const;

private:
    void respondLoop(Responder responder);
    bool waitForStop(std::chrono::steady_clock::time_point until) const;
    bool writeAll(int fd, std::string_view bytes);
    void closeFds();

    std::atomic<int> master_{-1};
    int keeper_ = -1;  // our own slave descriptor
    int stopEvent_ = -1;
    std::string slavePath_;
    std::thread responder_;
    mutable std::mutex mutex_;
    std::vector<std::string> heard_;  //!< guarded by mutex_
};

}  // namespace tessary::test
