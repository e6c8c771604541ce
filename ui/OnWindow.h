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

inline bool OnWindowThread() {
    const QCoreApplication* app = QCoreApplication::instance();
    return app == nullptr || QThread::currentThread() == app->thread();
}

template <typename F>
auto OnWindow(F&& f) -> std::invoke_result_t<F&> {
    using R = std::invoke_result_t<F&>;
    if (OnWindowThread()) return f();
    if constexpr (std::is_void_v<R>) {
        QMetaObject::invokeMethod(QCoreApplication::instance(), [&f] { f(); }, Qt::BlockingQueuedConnection);
    } else {
        R result{};
        QMetaObject::invokeMethod(QCoreApplication::instance(), [&f, &result] { result = f(); },
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
