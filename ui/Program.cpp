#include "ui/Program.h"

#include "device/DeviceInfo.h"
#include "ui/OnWindow.h"

Program::Program(std::unique_ptr<tessary::link::Port> port, tessary::app::Options options)
    : link(std::move(port), [this](const std::string& name) { return ports.Resolve(name); }),
      session(link, ports, op, std::move(options)) {
    session.SetReadDeviceInfo(&tessary::device::ReadDeviceInfo);
    // The window shows copies of the connection, made on the line thread.
    session.SetConnectionObserver([this](tessary::app::ConnectionCopy shown) {
        PostToWindow(&form, [this, shown = std::move(shown)] { form.ShowConnection(shown); });
    });
    runner.copyState = [this] { session.PublishConnection(); };
    runner.showFailure = [this](const std::string& text) { form.ShowMessageBox(Q(text)); };
    // Only the dialog: its own search resets the tables; closing it keeps them.
    settings.onNewConnectDlg = [this] { form.ShowConnectDialog(); };
    form.SetConnectDialog(&connect);
}

Program::~Program() {
    form.FormClose();
    // A line that outlived the close's wait ends here, before the parts it calls
    // go; a window call it makes meanwhile must not wait for a window that is in
    // this join.
    RefuseWindowCalls(true);
    line.Stop();
    RefuseWindowCalls(false);
}

bool Program::Start() {
    form.show();
    // The line's first jobs, once everything they read (the ports) is filled in.
    form.FormCreate();
    form.FormShow();
    // The start-up runs on the line; the window serves its events meanwhile
    // ("Opening COM1…", the INI file's notice) and goes on once it has ended.
    runner.WaitIdle(kStartLimitMs);
    return !form.Closing();
}
