#pragma once
// The window's side of the line thread: what the window hands to the line, and
// which controls may start something while it works.
//
// Controls: a widget with the property startsLineOperation=true is disabled
// while an operation runs; one that also has runsInsideLoops=true stays enabled
// while only readings loops run (its job then runs between two of their
// exchanges). A stop or abort of a running operation carries neither.

#include "app/LineThread.h"

#include <QObject>
#include <functional>
#include <string>

class LineRunner : public QObject {
    Q_OBJECT
public:
    explicit LineRunner(tessary::app::LineThread& line, QObject* parent = nullptr);

    // Window thread. Queues `job` for the line and marks an operation running
    // until it ends (`loop`: a readings loop, which lets settings run inside it).
    // While only loops run, the job runs inside them at their next pause.
    void Run(std::function<void()> job, bool loop = false);
    // Any thread. Queues a request into the running operation (a stop switch):
    // it runs at the operation's next pause, or at once when the line is idle.
    // Marks nothing running.
    void Request(std::function<void()> request);

    // Window thread: operations handed over and not yet ended.
    bool Running() const { return running_ > 0; }
    // Window thread: whether a control may start an operation now.
    bool MayStart(bool runsInsideLoops) const { return running_ == 0 || (runsInsideLoops && running_ == loops_); }
    // Window thread: waits until the line is idle, serving the window's events
    // meanwhile (a line-thread call into the window cannot deadlock).
    bool WaitIdle(int limitMs);
    // From now on Run drops its jobs and the views answer their questions with
    // Cancel at once.
    void SetClosing() { closing_ = true; }
    bool Closing() const { return closing_; }

    tessary::app::LineThread& Line() { return line_; }
    // Line thread, after each operation and whenever a flow shows its state:
    // hands the window a copy of what it shows of the connection.
    std::function<void()> copyState;
    // Window thread, after an operation that threw: tells the operator (the
    // controls are back by then).
    std::function<void(const std::string& what)> showFailure;

    // Enables and disables the controls marked startsLineOperation.
    void UpdateControls();

private:
    void Finished(bool loop, const std::string& failure);

    tessary::app::LineThread& line_;
    int running_ = 0;
    int loops_ = 0;
    bool closing_ = false;
};
