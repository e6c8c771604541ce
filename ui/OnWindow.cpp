#include "ui/OnWindow.h"

#include <QEvent>

#include <condition_variable>
#include <deque>
#include <mutex>

namespace {

// Lives on the window thread; its slot runs the queued calls.
class WindowCalls : public QObject {
public:
    static WindowCalls& Instance() {
        static WindowCalls* calls = [] {
            auto* c = new WindowCalls;
            // Made by whichever thread asked first; it works on the window thread.
            if (QCoreApplication::instance()) c->moveToThread(QCoreApplication::instance()->thread());
            return c;
        }();
        return *calls;
    }

    void Send(std::function<void()> call, bool wait) {
        bool done = false;
        {
            std::lock_guard lock(mutex_);
            if (refused_) return;
            queue_.push_back({std::move(call), wait ? &done : nullptr});
        }
        // The wake-up carries nothing: what runs is taken from the queue, under the
        // mutex. Qt makes the event (clone), frees it and reads it (its filters):
        // it is Qt's own from end to end, as its uninstrumented queue is.
        QCoreApplication::postEvent(this, QEvent(QEvent::User).clone());
        if (!wait) return;
        std::unique_lock lock(mutex_);
        ran_.wait(lock, [&] { return done; });
    }

    void Refuse(bool refuse) {
        {
            std::lock_guard lock(mutex_);
            refused_ = refuse;
            if (!refuse) return;
            for (Call& call : queue_)
                if (call.done) *call.done = true;
            queue_.clear();
        }
        ran_.notify_all();
    }

protected:
    // The event itself is not read: Qt made it, Qt frees it.
    void customEvent(QEvent*) override { RunQueued(); }

private:
    void RunQueued() {
        for (;;) {
            Call next;
            {
                std::lock_guard lock(mutex_);
                if (queue_.empty()) return;
                next = std::move(queue_.front());
                queue_.pop_front();
            }
            next.run();
            if (!next.done) continue;
            {
                std::lock_guard lock(mutex_);
                *next.done = true;
            }
            ran_.notify_all();
        }
    }

private:
    struct Call {
        std::function<void()> run;
        bool* done = nullptr;  // the waiting sender's, when it waits
    };
    std::mutex mutex_;  //!< guards queue_, refused_ and the senders' done flags
    std::condition_variable ran_;
    std::deque<Call> queue_;
    bool refused_ = false;
};

}  // namespace

void onwindow_detail::Send(std::function<void()> call, bool wait) { WindowCalls::Instance().Send(std::move(call), wait); }

void RefuseWindowCalls(bool refuse) { WindowCalls::Instance().Refuse(refuse); }
