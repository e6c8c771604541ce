#pragma once
// The help window: HTML topics from the help folder, opened at the topic of
// the focused control (or its nearest parent that has one).

#include <QDialog>

class QTextBrowser;

class HelpWindow : public QDialog {
    Q_OBJECT
public:
    explicit HelpWindow(QWidget* parent = nullptr);
    void ShowTopic(int topic);
    int CurrentTopic() const { return topic_; }
    QTextBrowser* Browser() const { return browser_; }

    // The folder with topicN.html: $TESSARY_HELP_DIR, else help/ beside the
    // program, else ../share/tessary/help.
    static QString HelpFolder();
    // The "helpTopic" property of `w` or its nearest parent; 4 when none has one.
    static int TopicFor(const QWidget* w);

private:
    QTextBrowser* browser_;
    int topic_ = 0;
};
