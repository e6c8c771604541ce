#include "ui/Program.h"

#include "device/DeviceInfo.h"

Program::Program(std::unique_ptr<tessary::link::Port> port, tessary::app::Options options)
    : link(std::move(port), [this](const std::string& name) { return ports.Resolve(name); }),
      session(link, ports, op, std::move(options)) {
    // Opening a port first runs what the operator queued (an abort).
    link.SetEventPump([this] { op.ProcessEvents(); });
    session.SetReadDeviceInfo(&tessary::device::ReadDeviceInfo);
    op.onShowState = [this] { form.RefreshDevicePanels(); };
    // Only the dialog: its own search resets the tables; closing it keeps them.
    settings.onNewConnectDlg = [this] { form.ShowConnectDialog(); };
    form.SetConnectDialog(&connect);
}

Program::~Program() {
    form.FormClose();
    link.SetEventPump(nullptr);
}

void Program::Start() {
    form.show();
    form.FormShow();
}
