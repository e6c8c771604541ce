#pragma once
// Widgets belong to the window thread. Work that runs on the line thread reaches
// them through these: OnWindow waits for the result (a question, a notice the
// operator must read), PostToWindow does not (a label, a progress step).
// Called on the window thread itself, both run the call at once.
//
// The calls travel in a queue of our own under a std::mutex, and the one that
// waits is woken by a std::condition_variable: the sanitizer sees every
// hand-off between the threads. Qt only carries a wake-up that holds nothing
// (an empty event), so no data crosses through its uninstrumented event queue.

#include <QCoreApplication>
#include <QObject>
#include <QPointer>
#include <QThread>

#include <functional>
#include <type_traits>
#include <utility>

// How many OnWindow calls from another thread are running on the window thread
// now (window thread only). The close uses it to know it is nested inside one.
inline int& WindowCallsRunning() {
    static int depth = 0;
    return depth;
}

inline bool OnWindowThread() {
    const QCoreApplication* app = QCoreApplication::instance();
    return app == nullptr || QThread::currentThread() == app->thread();
}

namespace onwindow_detail {
// Any thread: queues `call` for the window thread; with `wait`, returns once it
// has run there, or at once without running it while calls are refused.
void Send(std::function<void()> call, bool wait);
}  // namespace onwindow_detail

// Window thread. Once the window is going away a line job that outlived the
// close must not wait for it: while refused, calls from other threads do not
// run, and one that waits (queued already or sent later) returns at once with
// an empty result (No to a question). False lets them run again.
void RefuseWindowCalls(bool refuse);

template <typename F>
auto OnWindow(F&& f) -> std::invoke_result_t<F&> {
    using R = std::invoke_result_t<F&>;
    if (OnWindowThread()) return f();
    auto counted = [&f]() -> R {
        struct Depth {
            Depth() { ++WindowCallsRunning(); }
            ~Depth() { --WindowCallsRunning(); }
        } depth;
        return f();
    };
    if constexpr (std::is_void_v<R>) {
        onwindow_detail::Send(counted, true);
    } else {
        R result{};
        onwindow_detail::Send([&] { result = counted(); }, true);
        return result;
    }
}

template <typename F>
void PostToWindow(F&& f) {
    if (OnWindowThread()) {
        f();
        return;
    }
    onwindow_detail::Send(std::function<void()>(std::forward<F>(f)), false);
}

// As PostToWindow, dropped when `context` is destroyed before it runs.
template <typename F>
void PostToWindow(QObject* context, F&& f) {
    if (OnWindowThread()) {
        f();
        return;
    }
    onwindow_detail::Send([guard = QPointer<QObject>(context), f = std::forward<F>(f)]() mutable {
        if (guard) f();
    }, false);
}
