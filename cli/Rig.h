#pragma once
// One run's link, session and console views, set up from the options as the
// window sets up its own at start: port map, INI file (read only), rate.

#include "app/Outcome.h"
#include "app/Session.h"
#include "cli/Args.h"
#include "cli/Cli.h"
#include "cli/Console.h"
#include "cli/Platform.h"
#include "demo/DemoLine.h"
#include "link/AdapterWatch.h"
#include "link/DeviceLink.h"
#include "link/PortMap.h"

#include <memory>
#include <string>

namespace tessary::cli {

class Rig {
public:
    Rig(const Invocation& inv, Environment& env);
    ~Rig();
    Rig(const Rig&) = delete;
    Rig& operator=(const Rig&) = delete;

    // Reads the INI file and applies the options. kDone, or the exit status.
    int Setup();

    // Opens the port in use at the rate in use; says why not on failure, and
    // leaves the exit status in openExit (3 for a port another program holds
    // or the system refuses, else 1).
    // A line still streaming (a stopped log dump) is waited for this long first.
    bool Open();
    static constexpr std::chrono::seconds kBusyLineWait{30};
    int openExit = kNoAnswer;
    link::SerialDirs Dirs() const;
    // The box to talk to: the operand or --address, else the INI file's Addr1.
    // Empty (after a usage message) when there is none or it is not #01..#99.
    std::string Address(const std::string& operand = {});

    // Opens the port and runs the information read-out at `address`, as the
    // window has done before any of its pages talks to a box.
    int Connect(const std::string& address);

    int Usage(const std::string& text);
    // The exit status of a flow's outcome: 0 done (warnings or not), 1 the box
    // (silent, garbled, an error) or a stop, 3 a file.
    static int ExitFor(const app::Outcome& outcome);
    int Fail(int code, const std::string& text);
    // "no answer from #01 (no byte came before the time-out)".
    std::string NoAnswerText(const std::string& address, link::ExchangeOutcome outcome) const;

    const Invocation& inv;
    Environment& env;
    StopFlag stop;
    Progress progress;
    link::PortMap ports;
    std::unique_ptr<link::DeviceLink> link;
    ConsoleOperator op;
    std::unique_ptr<app::Session> session;

private:
    std::unique_ptr<demo::DemoLine> sim_;
};

int RunPorts(Rig& rig);
int RunSend(Rig& rig);
int RunScan(Rig& rig);
int RunInfo(Rig& rig);
int RunLog(Rig& rig);
int RunCoefRead(Rig& rig);
int RunCoefWrite(Rig& rig);
int RunUpload(Rig& rig);
int RunCapture(Rig& rig);

}  // namespace tessary::cli
