// The real main window, offscreen, driven by object name.

#include "GuiRig.h"
#include "ui/HelpWindow.h"
#include "ui/OnWindow.h"

#include <QApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTextBrowser>
#include <QtTest>

#include <atomic>
#include <stdexcept>
#include <thread>

using namespace tessary;

namespace {
void Type(gui::Rig& r, const QString& text) {
    auto* edit = r.Find<QLineEdit>("OutPutEditBox");
    edit->setFocus();
    edit->setText(text);
    QTest::keyClick(edit, Qt::Key_Return);
    QVERIFY(r.WaitLineIdle());
}
}  // namespace

using gui::Rig;

class Form1Test : public QObject {
    Q_OBJECT

    QTemporaryDir dir;
    QString Ini() const { return dir.filePath("t.ini"); }

private slots:
    void enterSendsAndShowsTheAnswer() {
        Rig r(Ini());
        r.port->Answer("#01ID\r\n", "123456");
        Type(r, "#01ID");
        QCOMPARE(r.Find<QLineEdit>("ResponseEditBox")->text(), QString("123456"));
        QCOMPARE(r.Find<QLineEdit>("OutPutEditBox")->text(), QString("#01ID"));
        QTest::keyClick(r.Find<QLineEdit>("OutPutEditBox"), Qt::Key_Return);  // Enter again repeats
        QVERIFY(r.WaitLineIdle());
        QCOMPARE(r.port->writes, (std::vector<std::string>{"#01ID\r\n", "#01ID\r\n"}));

        Type(r, "#07ID");
        QCOMPARE(r.Find<QLineEdit>("ResponseEditBox")->text(), QString("NoConnect"));
        QVERIFY(r.form.statusBar()->currentMessage().contains("no byte came"));
    }

    // The start-up's open and the close's run on the line, while the window says what it waits for.
    void theWindowNeverTakesTheLine() {
        QStringList onWindow;
        QString shownWhileOpening;
        {
            Rig r(Ini(), "[Communication]\nComPort=COM1\n", [&](Rig& rig) {
                rig.port->onOpenClose = [&](bool open) {
                    if (OnWindowThread())
                        onWindow << (open ? "open" : "close");
                    else if (open)
                        shownWhileOpening = OnWindow([&] { return rig.form.statusBar()->currentMessage(); });
                };
            });
            QCOMPARE(shownWhileOpening, QString("Opening COM1") + QChar(0x2026));
            r.form.close();
        }
        QCOMPARE(onWindow, QStringList{});
    }

    // A line job still running at the end (the close's wait ran out) never
    // waits on the window that is ending: the program would hang in its join.
    void aJobOutlivingTheCloseNeverWaitsForTheWindow() {
        std::atomic<bool> asked{false}, started{false};
        int answer = -1;
        {
            Rig r(Ini());
            r.form.close();
            r.line.Post([&] {
                started = true;
                std::this_thread::sleep_for(std::chrono::milliseconds(200));  // the program is ending by now
                answer = OnWindow([&] {
                    asked = true;
                    return 1;
                });
            });
            QTRY_VERIFY(started);
        }
        QCOMPARE(answer, 0);
        QVERIFY(!asked);
    }

    // A job that throws still ends its operation: the controls come back and the operator is told.
    void aThrowingJobEndsItsOperation() {
        Rig r(Ini());
        gui::ModalAnswerer answers;
        r.form.RunOnLine([] { throw std::runtime_error("no memory for the answer"); });
        auto* connect = r.Find<QPushButton>("btNewConnect");
        QVERIFY(!connect->isEnabled());
        QTRY_COMPARE(answers.messages, QStringList{"The operation failed: no memory for the answer"});
        QVERIFY(connect->isEnabled() && !r.runner.Running());
    }

    void f1OpensTheTopicOfTheFocusedControl() {
        Rig r(Ini());
        QApplication::setActiveWindow(&r.form);
        auto* edit = r.Find<QLineEdit>("OutPutEditBox");
        edit->setFocus();
        QTRY_COMPARE(QApplication::focusWidget(), static_cast<QWidget*>(edit));
        QTest::keyClick(edit, Qt::Key_F1);
        QCOMPARE(r.form.Help()->CurrentTopic(), 11);
        QVERIFY(r.form.Help()->isVisible());
        QVERIFY(r.form.Help()->Browser()->toPlainText().contains("Command Line"));
    }
};

QTEST_MAIN(Form1Test)
#include "form1_test.moc"
