#pragma once
// Widgets belong to the window thread. Work that runs on the line thread reaches
// them through these: OnWindow waits for the result (a question, a notice the
// operator must read), PostToWindow does not (a label, a progress step).
// Called on the window thread itself, both run the call at once.

#include <QCoreApplication>
#include <QMetaObject>
#include <QThread>

#include <type_traits>
#include <utility>

// How many OnWindow calls from another thread are running on the window thread
// now (window thread only). The close uses it to know it is nested inside one.
inline int& WindowCallsRunning() {
    static int depth = 0;
    return depth;
}

namespace onwindow_detail {
template <typename F>
auto Counted(F& f) -> std::invoke_result_t<F&> {
    struct Depth {
        Depth() { ++WindowCallsRunning(); }
        ~Depth() { --WindowCallsRunning(); }
    } depth;
    return f();
}
}  // namespace onwindow_detail

inline bool OnWindowThread() {
    const QCoreApplication* app = QCoreApplication::instance();
    return app == nullptr || QThread::currentThread() == app->thread();
}

template <typename F>
auto OnWindow(F&& f) -> std::invoke_result_t<F&> {
    using R = std::invoke_result_t<F&>;
    if (OnWindowThread()) return f();
    if constexpr (std::is_void_v<R>) {
        QMetaObject::invokeMethod(QCoreApplication::instance(), [&f] { onwindow_detail::Counted(f); },
                                  Qt::BlockingQueuedConnection);
    } else {
        R result{};
        QMetaObject::invokeMethod(QCoreApplication::instance(), [&f, &result] { result = onwindow_detail::Counted(f); },
                                  Qt::BlockingQueuedConnection);
        return result;
    }
}

template <typename F>
void PostToWindow(F&& f) {
    if (OnWindowThread()) {
        f();
        return;
    }
    QMetaObject::invokeMethod(QCoreApplication::instance(), std::forward<F>(f), Qt::QueuedConnection);
}

// As PostToWindow, dropped when `context` is destroyed before it runs.
template <typename F>
void PostToWindow(QObject* context, F&& f) {
    if (OnWindowThread()) {
        f();
        return;
    }
    QMetaObject::invokeMethod(context, std::forward<F>(f), Qt::QueuedConnection);
}
