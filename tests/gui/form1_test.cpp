// The real main window, offscreen, driven by object name.

#include "GuiRig.h"
#include "ui/HelpWindow.h"

#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStatusBar>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTextBrowser>
#include <QTimer>
#include <QtTest>

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
    void windowHasItsPagesAndLabels() {
        Rig r(Ini());
        QCOMPARE(r.form.windowTitle(), QString("Veltrona Tessary"));
        auto* pages = r.Find<QTabWidget>("PageControl1");
        QStringList titles;
        for (int i = 0; i < pages->count(); ++i) titles << pages->tabText(i);
        QCOMPARE(titles, (QStringList{"EZCommands", "Readings", "Coefficients", "Update Bravik Software", "PC Capture"}));
        QCOMPARE(pages->currentWidget()->objectName(), QString("TabSheet2"));
        QCOMPARE(r.Find<QLabel>("lbINI")->text(), "Using " + Ini());
        QCOMPARE(r.Find<QLabel>("lbVersion")->text(), QString("Ver 2.8"));
        QVERIFY(r.Find<QLabel>("lbVerDate")->text().endsWith(' '));
        // Every control a screen reader reaches has a name, in the window and its dialogs.
        for (QWidget* top : {static_cast<QWidget*>(&r.form), static_cast<QWidget*>(&r.connect),
                             static_cast<QWidget*>(&r.good), static_cast<QWidget*>(&r.box)})
            for (QWidget* w : top->findChildren<QWidget*>()) {
                if (w->objectName().startsWith("qt_")) continue;  // Qt's own parts (menu bar extension)
                if (qobject_cast<QLineEdit*>(w) || qobject_cast<QAbstractButton*>(w) || qobject_cast<QComboBox*>(w))
                    QVERIFY2(!w->accessibleName().isEmpty(), qPrintable(w->objectName()));
            }
    }

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

        const auto before = r.port->now();
        Type(r, "#00ID");
        QCOMPARE(r.Find<QLineEdit>("ResponseEditBox")->text(), QString("#00"));
        QCOMPARE(r.port->now(), before);  // nothing awaited
        QVERIFY(r.form.statusBar()->currentMessage().isEmpty());
    }

    void upAndDownWalkTheHistory() {
        Rig r(Ini());
        Type(r, "#01ID");
        Type(r, "#01VER");
        auto* edit = r.Find<QLineEdit>("OutPutEditBox");
        QTest::keyClick(edit, Qt::Key_Up);
        QCOMPARE(edit->text(), QString("#01VER"));
        QTest::keyClick(edit, Qt::Key_Up);
        QCOMPARE(edit->text(), QString("#01ID"));
        QTest::keyClick(edit, Qt::Key_Up);
        QCOMPARE(edit->text(), QString("#01ID"));
        QTest::keyClick(edit, Qt::Key_Down);
        QTest::keyClick(edit, Qt::Key_Down);
        QCOMPARE(edit->text(), QString());
    }

    void messageBoxShowsOneLineAndWaitsForOk() {
        Rig r(Ini());
        QString seen;
        QTimer::singleShot(0, [&] {
            auto* dlg = qobject_cast<TOKBottomDlg*>(QApplication::activeModalWidget());
            QVERIFY(dlg);
            seen = dlg->windowTitle() + "|" + dlg->Text();
            QTest::mouseClick(dlg->findChild<QPushButton*>("OKBtn"), Qt::LeftButton);
        });
        r.op.ShowMessageBox("  Sorry.  Can not find device.");
        QCOMPARE(seen, QString("Message|  Sorry.  Can not find device."));
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
        QCOMPARE(HelpWindow::TopicFor(r.Find<QLineEdit>("ResponseEditBox")), 12);
        const std::pair<const char*, int> topics[] = {
            {"btNewConnect", 4},    {"btAddress", 4}, {"lbAddressValue", 4}, {"lbBaudRateValue", 4},
            {"lbComPortValue", 4},  {"btBaudRate", 2}, {"BaudRateComboBox", 2}, {"btComPort", 5},
            {"ComPortComboBox", 5}, {"lbTempUnits", 9}, {"btDataPrecision", 10}};
        for (const auto& [name, topic] : topics)
            QVERIFY2(HelpWindow::TopicFor(r.Find<QWidget>(name)) == topic, name);
    }

    void closingWritesTheIniAfterAConnection() {
        {
            Rig r(Ini());
            r.session.State().ConnectionFound = true;
            r.session.State().TransducerAddress = {"#01", "", "", ""};
            r.form.close();
            QVERIFY(!r.link.IsOpen());
        }
        QFile f(Ini());
        QVERIFY(f.open(QIODevice::ReadOnly));
        QVERIFY(f.readAll().contains("Addr1=#01\r\n"));
    }
};

QTEST_MAIN(Form1Test)
#include "form1_test.moc"
