#include "mqtt/Publisher.h"

#include <mosquitto.h>

#include <atomic>
#include <cerrno>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <fstream>
#include <map>
#include <mutex>
#include <thread>
#include <unistd.h>

namespace tessary::mqtt {

namespace {

struct Message {
    std::string topic, payload;
    int qos = 0;
    bool retain = false;
};

class MosquittoPublisher final : public Publisher {
public:
    MosquittoPublisher(PublishSettings settings, std::function<void(const std::string&)> notice)
        : s_(std::move(settings)), notice_(std::move(notice)),
          where_(s_.url.host + ":" + std::to_string(s_.url.port)) {}
    ~MosquittoPublisher() override { Close(std::chrono::milliseconds(0)); }

    bool Init(std::string& error) {
        static std::once_flag once;
        std::call_once(once, [] { mosquitto_lib_init(); });
        // Two publishers of one program may overlap while the older one closes.
        static std::atomic<int> made{0};
        const std::string clientId =
            "tessary-" + ThisHostName() + "-" + std::to_string(::getpid()) + "-" + std::to_string(++made);
        m_ = mosquitto_new(clientId.c_str(), true, this);
        if (!m_) {
            error = std::string("MQTT: cannot make a client: ") + std::strerror(errno);
            return false;
        }
        const std::string status = s_.prefix + "/status";
        mosquitto_will_set(m_, status.c_str(), 7, "offline", 1, true);
        if (!s_.url.user.empty())
            mosquitto_username_pw_set(m_, s_.url.user.c_str(), s_.password.empty() ? nullptr : s_.password.c_str());
        if (s_.url.tls) {
            const int rc = mosquitto_tls_set(m_, s_.caFile.empty() ? nullptr : s_.caFile.c_str(),
                                             s_.caFile.empty() ? "/etc/ssl/certs" : nullptr, nullptr, nullptr, nullptr);
            if (rc != MOSQ_ERR_SUCCESS) {
                error = "MQTT: cannot use the CA file " + s_.caFile + ": " + mosquitto_strerror(rc);
                return false;
            }
        }
        // 1, 2, 3 ... 10 s: a restarted broker is found again within seconds.
        mosquitto_reconnect_delay_set(m_, 1, 10, false);
        mosquitto_connect_callback_set(m_, [](mosquitto*, void* self, int rc) {
            static_cast<MosquittoPublisher*>(self)->OnConnect(rc);
        });
        mosquitto_disconnect_callback_set(m_, [](mosquitto*, void* self, int rc) {
            static_cast<MosquittoPublisher*>(self)->OnDisconnect(rc);
        });
        mosquitto_publish_callback_set(m_, [](mosquitto*, void* self, int) {
            auto* p = static_cast<MosquittoPublisher*>(self);
            if (--p->unacked_ > 0) return;
            std::lock_guard lock(p->mutex_);
            p->drained_.notify_all();
        });
        thread_ = std::thread([this] { Send(); });
        return true;
    }

    void BoxStarted(const device::PublishedBox& box) override {
        {
            std::lock_guard lock(mutex_);
            boxes_[box.address] = box;
        }
        for (const Message& m : BoxMessages(box)) Push(m);
    }
    void Reading(const device::PublishedReading& r) override {
        Push({s_.prefix + "/" + BusDigits(r.address) + "/reading", ReadingJson(r), s_.qos, false});
    }
    void Gap(const std::string& line) override { Push({s_.prefix + "/status", line, s_.qos, false}); }

    void Close(std::chrono::milliseconds drain) override {
        if (closed_.exchange(true)) return;
        std::unique_lock lock(mutex_);
        if (connected_ && fatal_.empty()) {
            queue_.push_back({s_.prefix + "/status", "offline", 1, true});
            cv_.notify_all();
            drained_.wait_for(lock, drain, [this] { return !connected_ || (queue_.empty() && unacked_ <= 0); });
        }
        stopping_ = true;
        cv_.notify_all();
        lock.unlock();
        if (thread_.joinable()) thread_.join();
        if (m_) {
            mosquitto_disconnect(m_);
            if (loopStarted_) mosquitto_loop_stop(m_, false);
            mosquitto_destroy(m_);
            m_ = nullptr;
        }
    }
    std::string Fatal() const override {
        std::lock_guard lock(mutex_);
        return fatal_;
    }
    std::size_t Dropped() const override {
        std::lock_guard lock(mutex_);
        return dropped_;
    }
    bool Connected() const override {
        std::lock_guard lock(mutex_);
        return connected_;
    }

private:
    std::vector<Message> BoxMessages(const device::PublishedBox& box) const {
        std::vector<Message> out{{s_.prefix + "/" + BusDigits(box.address) + "/info", InfoJson(box), 1, true}};
        if (s_.discovery)
            for (const char* quantity : {"pressure", "temperature"})
                out.push_back({DiscoveryTopic(s_.prefix, box.address, quantity), DiscoveryJson(s_.prefix, box, quantity), 1,
                               true});
        return out;
    }

    void Push(Message m) {
        std::lock_guard lock(mutex_);
        if (!fatal_.empty() || stopping_) return;
        if (queue_.size() >= kQueueLimit) {
            queue_.pop_front();
            ++dropped_;
        }
        queue_.push_back(std::move(m));
        cv_.notify_all();
    }

    void Say(const std::string& text) {
        if (notice_) notice_(text);
    }

    // A reason for the first connection's failure, as the system gives it.
    static std::string Reason(int rc, int error) {
        return rc == MOSQ_ERR_ERRNO ? std::strerror(error) : mosquitto_strerror(rc);
    }

    void Send() {
        // The first connection is made here, so that its failure has a reason
        // to tell; from then on the library's own loop reconnects.
        int backoff = 1;
        bool said = false;
        for (;;) {
            {
                std::lock_guard lock(mutex_);
                if (stopping_) return;
            }
            const int rc = mosquitto_connect(m_, s_.url.host.c_str(), s_.url.port, 30);
            const int error = errno;
            if (rc == MOSQ_ERR_SUCCESS) break;
            if (rc == MOSQ_ERR_TLS) {
                SetFatal("MQTT: TLS failed with " + where_ + " (" + Reason(rc, error) + ")");
                return;
            }
            if (!said) Say("MQTT: cannot reach " + where_ + " (" + Reason(rc, error) + "); retrying");
            said = true;
            std::unique_lock lock(mutex_);
            cv_.wait_for(lock, std::chrono::seconds(backoff), [this] { return stopping_; });
            backoff = std::min(backoff * 2, 10);
        }
        mosquitto_loop_start(m_);
        loopStarted_ = true;
        std::unique_lock lock(mutex_);
        for (;;) {
            cv_.wait(lock, [this] { return stopping_ || (connected_ && !queue_.empty()); });
            if (stopping_) return;
            const Message m = std::move(queue_.front());
            queue_.pop_front();
            ++unacked_;
            lock.unlock();
            const int rc = mosquitto_publish(m_, nullptr, m.topic.c_str(), static_cast<int>(m.payload.size()),
                                             m.payload.data(), m.qos, m.retain);
            lock.lock();
            if (rc != MOSQ_ERR_SUCCESS) --unacked_;
            // A QoS 1 message the library took stays with it until the broker has it.
            if (rc == MOSQ_ERR_NO_CONN && m.qos == 0) ++dropped_;
            if (queue_.empty()) drained_.notify_all();
        }
    }

    void OnConnect(int rc) {
        if (rc != 0) {
            SetFatal("MQTT: " + where_ + " refused the login (" + mosquitto_connack_string(rc) + ")");
            mosquitto_disconnect(m_);
            return;
        }
        std::vector<Message> first{{s_.prefix + "/status", "online", 1, true}};
        std::size_t dropped = 0;
        {
            std::lock_guard lock(mutex_);
            for (const auto& [address, box] : boxes_)
                for (Message& m : BoxMessages(box)) first.push_back(std::move(m));
            dropped = dropped_ - droppedSaid_;
            droppedSaid_ = dropped_;
        }
        // Retained texts go again on every connection: a restarted broker may have lost them.
        for (const Message& m : first) {
            ++unacked_;
            if (mosquitto_publish(m_, nullptr, m.topic.c_str(), static_cast<int>(m.payload.size()), m.payload.data(),
                                  m.qos, m.retain) != MOSQ_ERR_SUCCESS)
                --unacked_;
        }
        if (lost_) Say("MQTT: " + where_ + " is back");
        if (dropped > 0)
            Say("MQTT: " + std::to_string(dropped) + " messages dropped while the broker was away (at most " +
                std::to_string(kQueueLimit) + " wait)");
        lost_ = false;
        std::lock_guard lock(mutex_);
        connected_ = true;
        cv_.notify_all();
    }

    void OnDisconnect(int rc) {
        {
            std::lock_guard lock(mutex_);
            connected_ = false;
            unacked_ = 0;
            drained_.notify_all();
        }
        if (rc != 0 && !lost_) {
            lost_ = true;
            Say("MQTT: lost " + where_ + " (" + mosquitto_strerror(rc) + "); retrying");
        }
    }

    void SetFatal(const std::string& text) {
        {
            std::lock_guard lock(mutex_);
            fatal_ = text;
            queue_.clear();
            drained_.notify_all();
        }
        Say(text);
    }

    const PublishSettings s_;
    const std::function<void(const std::string&)> notice_;
    const std::string where_;  // "host:port"
    mosquitto* m_ = nullptr;
    std::thread thread_;
    bool loopStarted_ = false;     // written by the send thread before its join
    std::atomic<bool> closed_{false};
    std::atomic<bool> lost_{false};  // the library's loop thread only, but for Close
    std::atomic<long> unacked_{0};   // handed to the library, not yet sent (QoS 0) or acknowledged (QoS 1)

    mutable std::mutex mutex_;  //!< guards queue_, boxes_, connected_, stopping_, fatal_ and the counts
    std::condition_variable cv_, drained_;
    std::deque<Message> queue_;
    std::map<std::string, device::PublishedBox> boxes_;
    bool connected_ = false;
    bool stopping_ = false;
    std::string fatal_;
    std::size_t dropped_ = 0, droppedSaid_ = 0;
};

}  // namespace

std::string ThisHostName() {
    char name[256] = {};
    if (::gethostname(name, sizeof name - 1) != 0 || name[0] == '\0') return "localhost";
    return name;
}

std::unique_ptr<Publisher> MakePublisher(const PublishSettings& settings,
                                         std::function<void(const std::string&)> notice, std::string& error,
                                         MakeError& kind) {
    kind = MakeError::None;
    if (!settings.caFile.empty()) {
        std::ifstream ca(settings.caFile);
        if (!ca) {
            error = "cannot read the CA file " + settings.caFile + ": " + std::strerror(errno);
            kind = MakeError::File;
            return nullptr;
        }
    }
    auto p = std::make_unique<MosquittoPublisher>(settings, std::move(notice));
    if (!p->Init(error)) {
        kind = MakeError::File;
        return nullptr;
    }
    return p;
}

}  // namespace tessary::mqtt
