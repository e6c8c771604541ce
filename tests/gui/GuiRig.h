#pragma once
// The real window and dialogs over a scripted port, offscreen.

#include "testkit/ScriptedPort.h"
#include "ui/Program.h"

#include <QAccessible>
#include <QApplication>
#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QTimer>
#include <QtTest>

#include <functional>

// Line-thread work on a loaded machine can outlast Qt's 5 s.
#undef QTRY_VERIFY
#undef QTRY_VERIFY2
#undef QTRY_COMPARE
#define QTRY_VERIFY(expr) QTRY_VERIFY_WITH_TIMEOUT(expr, 30000)
#define QTRY_VERIFY2(expr, message) QTRY_VERIFY2_WITH_TIMEOUT(expr, message, 30000)
#define QTRY_COMPARE(expr, expected) QTRY_COMPARE_WITH_TIMEOUT(expr, expected, 30000)

namespace tessary::gui {

struct ScriptedPortFirst {
    testkit::ScriptedPort* port = new testkit::ScriptedPort;
};

// The program's own wiring on a scripted port; the window shown, the connect
// dialog set but not shown.
struct Rig : ScriptedPortFirst, Program {
    explicit Rig(const QString& ini, const QByteArray& iniText = {}, const std::function<void(Rig&)>& beforeStart = {})
        : Program(std::unique_ptr<link::Port>(port), Options(ini, iniText)) {
        ports.SetSystemDevices({"/dev/A", "/dev/B", "/dev/C", "/dev/D"});
        if (beforeStart) beforeStart(*this);
        Start();
    }
    static app::Options Options(const QString& ini, const QByteArray& text) {
        QFile f(ini);
        if (f.open(QIODevice::WriteOnly)) f.write(text);
        app::Options o;
        o.iniPath = S(ini);
        return o;
    }
    template <class T> T* Find(const char* name) { return form.findChild<T*>(name); }
};

// A screen reader reads what each label shows; a value's caption (lb...Value, Vr...)
// is its description. Returns the offenders.
inline QStringList LabelsNotSayingWhatTheyShow(const QWidget* top) {
    QStringList bad;
    for (QLabel* l : top->findChildren<QLabel*>()) {
        const QString said = QAccessible::queryAccessibleInterface(l)->text(QAccessible::Name), name = l->objectName();
        if (said != l->text()) bad << name + " says \"" + said + "\", shows \"" + l->text() + "\"";
        if ((name.endsWith("Value") || name.startsWith("Vr")) && l->accessibleDescription().isEmpty()) bad << name;
    }
    return bad;
}

// Runs `act` on the next modal dialog of type T.
template <class T> void OnModal(std::function<void(T*)> act) {
    auto* timer = new QTimer;
    timer->setInterval(5);
    QObject::connect(timer, &QTimer::timeout, [timer, act] {
        if (auto* dlg = qobject_cast<T*>(QApplication::activeModalWidget())) {
            timer->stop();
            timer->deleteLater();
            act(dlg);
        }
    });
    timer->start();
}

// Answers every modal dialog that comes up: message boxes with OK (recording
// their text), GoodConnectDlg with the button `answer` names.
class ModalAnswerer : public QObject {
public:
    QStringList messages;
    QStringList asked;
    std::function<const char*()> answer = [] { return "CancelBtn"; };

    ModalAnswerer() {
        timer_.setInterval(5);
        QObject::connect(&timer_, &QTimer::timeout, this, [this] { Poll(); });
        timer_.start();
    }

private:
    void Poll() {
        QWidget* w = QApplication::activeModalWidget();
        if (auto* box = qobject_cast<TOKBottomDlg*>(w)) {
            messages << box->Text();
            box->findChild<QPushButton*>("OKBtn")->click();
        } else if (auto* good = qobject_cast<TGoodConnectDlg*>(w)) {
            asked << good->findChild<QLabel*>("lbAddress")->text();
            good->findChild<QPushButton*>(answer())->click();
        }
    }
    QTimer timer_;
};

}  // namespace tessary::gui
