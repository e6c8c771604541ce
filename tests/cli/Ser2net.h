#pragma once
// Debian's ser2net in front of a simulated line: an rfc2217:// and a tcp://
// port on 127.0.0.1, both on the line's pty, without the character delay (it
// holds each answer up to 20 ms). Stopped (and waited for) at the end.

#include <arpa/inet.h>
#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <fstream>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace tessary::clitest {

struct Ser2net {
    std::string dir;
    int rfcPort = FreePort(), rawPort = FreePort();
    pid_t pid = -1;

    // The raw port's line runs at `rawBaud`, fixed, on `rawTty` when given. Two
    // connections on one tty share its settings and queues: the server's late
    // close of one flushes the other's first bytes.
    Ser2net(const std::string& folder, const std::string& tty, int rawBaud, const std::string& rawTty = {})
        : dir(folder) {
        std::ofstream(dir + "/ser2net.yaml")
            << "connection: &rfc\n  accepter: telnet(rfc2217),tcp,127.0.0.1," << rfcPort << "\n  connector: serialdev,"
            << tty << ",9600n81,local\n  options:\n    chardelay: false\nconnection: &raw\n  accepter: tcp,127.0.0.1," << rawPort
            << "\n  connector: serialdev," << (rawTty.empty() ? tty : rawTty) << "," << rawBaud << "n81,local\n  options:\n    chardelay: false\n";
        Start();
    }
    ~Ser2net() { Stop(); }
    std::string Rfc() const { return "rfc2217://127.0.0.1:" + std::to_string(rfcPort); }
    std::string Raw() const { return "tcp://127.0.0.1:" + std::to_string(rawPort); }

    static int FreePort() {
        const int s = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t len = sizeof a;
        ::bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a);
        ::getsockname(s, reinterpret_cast<sockaddr*>(&a), &len);
        ::close(s);
        return ntohs(a.sin_port);
    }
    void Start() {
        posix_spawn_file_actions_t io;
        posix_spawn_file_actions_init(&io);
        posix_spawn_file_actions_addopen(&io, 1, (dir + "/ser2net.log").c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
        posix_spawn_file_actions_adddup2(&io, 1, 2);
        std::string yaml = dir + "/ser2net.yaml", pidFile = dir + "/ser2net.pid";
        char* argv[] = {const_cast<char*>("ser2net"), const_cast<char*>("-d"), const_cast<char*>("-c"), yaml.data(),
                        const_cast<char*>("-P"), pidFile.data(), nullptr};
        if (::posix_spawnp(&pid, "ser2net", &io, nullptr, argv, environ) != 0) pid = -1;
        posix_spawn_file_actions_destroy(&io);
        // Bounded wait until it listens: the socket table says so without a connection.
        char want[32];
        std::snprintf(want, sizeof want, ":%04X 00000000:0000 0A", rfcPort);
        for (int i = 0; i < 300 && pid > 0; ++i, std::this_thread::sleep_for(std::chrono::milliseconds(10))) {
            std::ifstream tcp("/proc/net/tcp");
            if (std::string((std::istreambuf_iterator<char>(tcp)), {}).find(want) != std::string::npos) break;
        }
    }
    void Stop() {
        if (pid <= 0) return;
        ::kill(pid, SIGTERM);
        ::waitpid(pid, nullptr, 0);
        pid = -1;
    }
};

}  // namespace tessary::clitest
