#pragma once
// The composition root's parts, wired: the link, the line thread, the session,
// the window and the views it answers through. main and the GUI tests build
// the same thing; main adds the signals, the simulated line and the event loop.

#include "app/LineThread.h"
#include "app/Session.h"
#include "link/DeviceLink.h"
#include "link/PortMap.h"
#include "ui/LineRunner.h"
#include "ui/QtOperator.h"
#include "ui/QtSettingsView.h"
#include "ui/TForm1.h"
#include "ui/TGoodConnectDlg.h"
#include "ui/TNewConnectDlg.h"
#include "ui/TOKBottomDlg.h"

#include <memory>

struct Program {
    // Fill `ports` before Start: FormShow resolves the remembered port.
    Program(std::unique_ptr<tessary::link::Port> port, tessary::app::Options options);
    // Closes as the window does, so the line is idle before anything goes.
    ~Program();
    Program(const Program&) = delete;
    Program& operator=(const Program&) = delete;

    // Shows the window: FormShow reads the INI file and opens the port on the
    // line, and Start waits for it, serving the window's events. False
    // when the window is closing (a signal while the INI file's
    // notice was up): then nothing more is to be shown and no event loop run.
    bool Start();
    static constexpr int kStartLimitMs = 30000;
    // Window thread: until the line is idle, serving the window's events.
    bool WaitLineIdle(int limitMs = 10000) { return runner.WaitIdle(limitMs); }

    tessary::link::PortMap ports;
    tessary::link::DeviceLink link;
    tessary::app::LineThread line;
    LineRunner runner{line};
    TOKBottomDlg box;
    QtOperator op{box, runner};
    QtSettingsView settings{runner};
    tessary::app::Session session;
    TForm1 form{session, box, runner, settings};
    TGoodConnectDlg good{&form};
    TNewConnectDlg connect{session, good, &form};
};
