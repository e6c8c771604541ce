#pragma once
// The "PC Capture" page: sources and their files, the rate, the start/stop
// toggle and the newest lines of each transducer. The cycles run on the
// capture's own thread; this page only shows what it is handed.

#include "app/Session.h"
#include "capture/Capture.h"
#include "mqtt/Publisher.h"

#include <QLabel>
#include <QPointer>
#include <QStringList>
#include <QWidget>
#include <array>
#include <functional>
#include <memory>
#include <thread>

namespace Ui {
class TCapturePage;
}
class QCheckBox;
class QFileDialog;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class TChartWindow;
class TdlgPCCapture;
class TMqttDlg;

class TCapturePage : public QWidget {
    Q_OBJECT
public:
    // `lbDataCapture` is the main window's "Data Capture ON" label.
    TCapturePage(tessary::app::Session& session, QLabel* lbDataCapture, QWidget* parent = nullptr);
    ~TCapturePage() override;

    // Shows the controls of the slots that hold a transducer, with their captions.
    void tsCaptureShow();
    // The line thread's copy of the connection: the proposed paths replace the
    // edPath texts they changed, the slots follow the captions.
    void ShowConnection(const tessary::app::ConnectionCopy& shown);
    // n = 1: edSerialPath; 2..5: edPath1..edPath4.
    void BrowseCapturePath(int n);
    void SpeedButtonMMTimerClick(bool down);
    // "Chart": the ticked slots' files in a chart window, followed while the capture runs.
    TChartWindow* ShowChart();
    // The window's close: waits for an exchange under way, closes every file.
    void Stop();

    std::function<void()> hideInPlaceEditors = [] {};
    TdlgPCCapture& dlgPCCapture() { return *dlgPCCapture_; }
    // "MQTT Settings...": the dialog, then the INI file's [MQTT] section.
    void MqttSettingsClick();
    // The publisher while "Publish to MQTT" is ticked (made at its first use),
    // for the captures and the readings loops alike; null when unticked.
    std::shared_ptr<tessary::mqtt::Publisher> Publisher();
    QFileDialog* SaveDialog2();
    tessary::capture::Capture& Capture() { return *capture_; }
    Ui::TCapturePage* Form() const { return ui.get(); }

protected:
    void showEvent(QShowEvent* event) override;

private:
    class View;
    QCheckBox* cbTrans(int k) const;  // 1..4
    QLineEdit* edPath(int k) const;
    QPushButton* btBrowse(int n) const;  // 1..5
    QLabel* lbBox(int k) const;
    QPlainTextEdit* edBox(int k) const;
    void ShowNewest(int slot, const QString& line);
    void ShowCaptureState(bool running, const QString& note);
    void ShowStatus();
    void SaveMqttChoices();
    // The page lets go of its publisher on a thread of its own: the last holder
    // says "offline" and closes it, and the window does not wait for the broker.
    // Never while a capture runs: its thread holds the plain pointer.
    void ClosePublisher();

    std::unique_ptr<Ui::TCapturePage> ui;
    tessary::app::Session& session_;
    QPointer<QLabel> lbDataCapture_;
    TdlgPCCapture* dlgPCCapture_;
    QFileDialog* saveDialog2_ = nullptr;
    tessary::app::ConnectionCopy shown_;     // the newest copy from the line
    std::array<std::string, 4> proposed_{};  // the CapturePath last put into edPath
    std::array<QString, 5> fileErrors_{};    // all-serial, slots 1..4
    std::array<QStringList, 4> newest_{};    // the newest five lines of boxes 1..4
    QString note_;
    std::uint64_t shownRun_ = 0;  // the capture's run this page shows
    std::unique_ptr<View> view_;
    tessary::capture::SteadyCaptureClock clock_;
    std::unique_ptr<tessary::capture::Capture> capture_;
    TMqttDlg* dlgMqtt_;
    tessary::mqtt::WindowChoices mqtt_;
    std::string mqttIni_;  // the INI file the choices came from
    QString mqttNote_;     // the publisher's last notice
    std::shared_ptr<tessary::mqtt::Publisher> publisher_;
    tessary::mqtt::WindowChoices publisherChoices_;  // what publisher_ was made with
    std::thread closer_;  // lets go of the publisher last held
};
