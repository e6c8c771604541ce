#include "ui/LineRunner.h"

#include "ui/OnWindow.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QTimer>
#include <QWidget>

#include <cstdio>
#include <exception>

LineRunner::LineRunner(tessary::app::LineThread& line, QObject* parent) : QObject(parent), line_(line) {}

void LineRunner::Run(std::function<void()> job, bool loop) {
    if (closing_) return;
    const bool insideLoops = running_ > 0 && running_ == loops_;
    ++running_;
    if (loop) ++loops_;
    UpdateControls();
    auto wrapped = [this, job = std::move(job), loop] {
        // A job that throws still ends its operation: the controls come back.
        std::string failure;
        try {
            job();
        } catch (const std::exception& e) {
            failure = e.what();
        } catch (...) {
            failure = "an unknown error";
        }
        if (copyState) copyState();
        OnWindow([this, loop, &failure] { Finished(loop, failure); });
    };
    if (insideLoops)
        line_.Request(std::move(wrapped));
    else
        line_.Post(std::move(wrapped));
}

void LineRunner::Request(std::function<void()> request) { line_.Request(std::move(request)); }

void LineRunner::Finished(bool loop, const std::string& failure) {
    --running_;
    if (loop) --loops_;
    UpdateControls();
    if (failure.empty()) return;
    std::fprintf(stderr, "tessary: an operation on the line failed: %s\n", failure.c_str());
    // After the line goes on: the notice waits for the operator, the line need not.
    if (showFailure && !closing_)
        QTimer::singleShot(0, this, [this, failure] {
            if (showFailure && !closing_) showFailure("The operation failed: " + failure);
        });
}

void LineRunner::UpdateControls() {
    const char* mark = "lineDisabled";
    for (QWidget* top : QApplication::topLevelWidgets()) {
        QList<QWidget*> widgets = top->findChildren<QWidget*>();
        widgets.prepend(top);
        for (QWidget* w : widgets) {
            const bool starts = w->property("startsLineOperation").toBool();
            if (!starts && !w->property(mark).toBool()) continue;
            const bool allowed = !starts || MayStart(w->property("runsInsideLoops").toBool());
            if (!allowed && !w->testAttribute(Qt::WA_Disabled)) {
                w->setEnabled(false);
                w->setProperty(mark, true);
            } else if (allowed && w->property(mark).toBool()) {
                w->setEnabled(true);
                w->setProperty(mark, QVariant());
            }
        }
    }
}

bool LineRunner::WaitIdle(int limitMs) {
    QElapsedTimer clock;
    clock.start();
    for (;;) {
        QCoreApplication::processEvents(QEventLoop::AllEvents);
        if (line_.WaitIdle(std::chrono::milliseconds(5))) {
            // The last operation's window call may still be queued.
            QCoreApplication::processEvents(QEventLoop::AllEvents);
            if (line_.Idle()) return true;
        }
        if (clock.elapsed() > limitMs) return false;
    }
}
