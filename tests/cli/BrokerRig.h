#pragma once
// A real mosquitto on 127.0.0.1 at a free port, with a config of its own in a
// temp folder, and a listener of our own that keeps what it hears.

#include <mosquitto.h>
#include <netinet/in.h>
#include <pwd.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <fstream>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace tessary::clitest {

inline int FreePort() {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t n = sizeof a;
    ::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &n);
    ::close(fd);
    return ntohs(a.sin_port);
}

inline bool WaitFor(const std::function<bool()>& done, std::chrono::milliseconds limit = std::chrono::seconds(10)) {
    for (auto end = std::chrono::steady_clock::now() + limit; !done();) {
        if (std::chrono::steady_clock::now() > end) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return true;
}

struct Broker {
    std::filesystem::path dir;
    int port = FreePort();
    pid_t pid = 0;

    explicit Broker(std::filesystem::path folder) : dir(std::move(folder)) {
        std::filesystem::create_directories(dir);
        std::ofstream(dir / "broker.conf") << "listener " << port << " 127.0.0.1\nallow_anonymous true\n"
                                           << "persistence true\npersistence_location " << dir.string() << "/\nlog_dest none\n"
                                           << "user " << ::getpwuid(::geteuid())->pw_name << "\n";  // root would switch
        Start();
    }
    ~Broker() { Stop(); }
    void Start() {
        const std::string conf = (dir / "broker.conf").string();
        std::vector<std::string> args = {"/usr/sbin/mosquitto", "-c", conf};
        std::vector<char*> argv;
        for (auto& a : args) argv.push_back(a.data());
        argv.push_back(nullptr);
        ::posix_spawn(&pid, argv[0], nullptr, nullptr, argv.data(), environ);
        WaitFor([this] {  // listening
            const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
            sockaddr_in a{};
            a.sin_family = AF_INET;
            a.sin_port = htons(static_cast<std::uint16_t>(port));
            a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
            const bool ok = ::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
            ::close(fd);
            return ok;
        });
    }
    void Stop() {
        if (pid <= 0) return;
        ::kill(pid, SIGTERM);
        ::waitpid(pid, nullptr, 0);
        pid = 0;
    }
    std::string Url(const std::string& prefix = "t") const {
        return "mqtt://127.0.0.1:" + std::to_string(port) + "/" + prefix;
    }
};

struct Heard {
    std::string topic, payload;
    bool retained;
};

// Subscribed to `filter` at QoS 1; a session the broker keeps when `session` is named.
class Listener {
public:
    Listener(int port, const std::string& filter, const std::string& session = {}) : filter_(filter) {
        mosquitto_lib_init();
        m_ = mosquitto_new(session.empty() ? nullptr : session.c_str(), session.empty(), this);
        mosquitto_connect_callback_set(m_, [](mosquitto* m, void* self, int) {
            mosquitto_subscribe(m, nullptr, static_cast<Listener*>(self)->filter_.c_str(), 1);
        });
        mosquitto_subscribe_callback_set(m_, [](mosquitto*, void* self, int, int, const int*) {
            static_cast<Listener*>(self)->subscribed_ = true;
        });
        mosquitto_message_callback_set(m_, [](mosquitto*, void* self, const mosquitto_message* msg) {
            auto* l = static_cast<Listener*>(self);
            std::lock_guard lock(l->mutex_);
            l->heard_.push_back({msg->topic, std::string(static_cast<const char*>(msg->payload),
                                                         static_cast<std::size_t>(msg->payloadlen)),
                                 msg->retain});
        });
        mosquitto_reconnect_delay_set(m_, 1, 1, false);
        mosquitto_connect(m_, "127.0.0.1", port, 30);
        mosquitto_loop_start(m_);
        WaitFor([this] { return subscribed_.load(); });
    }
    ~Listener() {
        mosquitto_disconnect(m_);
        mosquitto_loop_stop(m_, false);
        mosquitto_destroy(m_);
    }
    std::vector<Heard> All() {
        std::lock_guard lock(mutex_);
        return heard_;
    }
    std::vector<std::string> On(const std::string& topic) {
        std::vector<std::string> out;
        for (const auto& h : All())
            if (h.topic == topic) out.push_back(h.payload);
        return out;
    }

private:
    std::string filter_;
    mosquitto* m_;
    std::atomic<bool> subscribed_{false};
    std::mutex mutex_;
    std::vector<Heard> heard_;
};

}  // namespace tessary::clitest
