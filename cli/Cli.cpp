#include "cli/Cli.h"

#include "app/private/AppState.h"
#include "cli/Rig.h"
#include "app/IniFile.h"
#include "device/DeviceInfo.h"
#include "cli/Platform.h"
#include "link/Files.h"
#include "link/System.h"

namespace tessary::cli {

Rig::Rig(const Invocation& i, Environment& e)
    : inv(i), env(e), stop(e.signals), progress(e.err, e.terminal), op(e.err, stop) {
    link = std::make_unique<link::DeviceLink>(link::MakeSystemPort(),
                                              [this](const std::string& name) { return ports.Resolve(name); });
    // A stop seen at an event pump winds the flows down as the window's close does.
    op.onStop = [this] {
        if (session) session->RequestStop();
    };
}

Rig::~Rig() {
    progress.End();
    if (link) link->ClosePort();
}

link::SerialDirs Rig::Dirs() const {
    link::SerialDirs dirs;
    dirs.dev = env.devDir;
    dirs.sysTty = env.sysDir;
    dirs.byId = env.byIdDir;
    dirs.byPath = env.byPathDir;
    return dirs;
}

int Rig::Usage(const std::string& text) {
    progress.End();
    env.err << "tessary-cli: " << text << "\n(try tessary-cli " << inv.Key() << " --help)\n";
    return kUsage;
}

int Rig::ExitFor(const app::Outcome& outcome) {
    switch (outcome.ending) {
    case app::Ending::Done: return kDone;
    case app::Ending::FileError: return kFileError;
    case app::Ending::Cancelled:
    case app::Ending::NoAnswer:
    case app::Ending::BoxError: break;
    }
    return kNoAnswer;
}

int Rig::Fail(int code, const std::string& text) {
    progress.End();
    env.err << "tessary-cli: " << text << '\n';
    return code;
}

int Rig::Setup() {
    app::Options options;
    options.iniPath = inv.Value("--ini");
    if (!options.iniPath.empty()) {
        // The INI rule: a regular file, opened without blocking, at most kMaxIniBytes.
        const link::FileText ini = link::ReadRegularFile(options.iniPath, app::kMaxIniBytes);
        if (!ini.ok) return Fail(kFileError, "cannot read the INI file " + options.iniPath + ": " + ini.error);
    }
    for (const auto& text : inv.Values("--port")) {
        std::string name, path;
        if (!link::ParsePortOption(text, name, path))
            return Usage("--port needs COMn=PATH with n from 1 to 4, not \"" + text + "\"");
        options.ports.emplace_back(name, path);
    }
    long baud = 0;
    if (inv.Has("--baud") && !ParseWhole(inv.Value("--baud"), 1, 4'000'000, baud))
        return Usage("--baud needs a rate in bit/s, not \"" + inv.Value("--baud") + "\"");

    const bool simulate = inv.Has("--simulate");
    if (simulate) {
        std::string error;
        sim_ = demo::StartDemoLine({}, error);
        if (!sim_) return Fail(kFileError, "cannot start the simulated line: " + error);
        options.ports.insert(options.ports.begin(), {"COM1", sim_->DevicePath()});
    }

    session = std::make_unique<app::Session>(*link, ports, op, options);
    session->Watch().SetDirs(Dirs());
    session->Watch().SetStatusSink([this](const std::string& text) {
        progress.End();
        env.err << "tessary-cli: " << text << '\n' << std::flush;
    });
    session->Reset();
    session->State().TryIniFirst = false;
    link::MapSystemPorts(ports, env.devDir);
    if (simulate && options.iniPath.empty()) {
        // The simulated line comes with its own settings; the operator's INI file stays out of it.
        session->State().TransducerAddress = {"#01", "#02", "#05", ""};
    } else {
        session->SelectIniFile();
        session->ReadIniFile();
    }
    for (const auto& [name, path] : options.ports) ports.SetFromCommandLine(name, path);
    if (inv.Has("--device")) ports.SetFromCommandLine(link->LinkPortName(), inv.Value("--device"));
    if (baud) link->SetLinkBaudRate(static_cast<std::uint32_t>(baud));
    return kDone;
}

bool Rig::Open() {
    if (link->OpenComPort()) {
        // A box still streaming (a stopped log dump) would answer our first command.
        if (link->AwaitQuiet(link::kQuietGap)) return true;
        progress.End();
        env.err << "the line is busy: a box is still sending, perhaps a stopped log dump; waiting\u2026\n";
        if (link->AwaitQuiet(kBusyLineWait, [this] { return stop.Requested(); })) return true;
        openExit = Fail(kNoAnswer, stop.Requested() ? "stopped by a signal while the line was busy"
                                                    : "the line never went quiet: a box kept sending for " +
                                                          std::to_string(kBusyLineWait.count()) + " s");
        return false;
    }
    const std::string refusal = link::OpenRefusalNotice(link->LinkPortName(), link->DevicePath(), link->LastOpenStatus());
    if (!refusal.empty()) {
        openExit = Fail(kFileError, refusal);
        return false;
    }
    openExit = kNoAnswer;
    Fail(kNoAnswer, "cannot open " + link->LinkPortName() +
                        (link->DevicePath().empty() ? std::string() : " (" + link->DevicePath() + ")") + ": " +
                        link->LastOpenStatus().text);
    return false;
}

std::string Rig::Address(const std::string& operand) {
    std::string text = operand.empty() ? inv.Value("--address") : operand;
    if (text.empty()) text = session->State().TransducerAddress[0];
    if (text.empty()) {
        Usage(inv.Key() + " needs an address (--address #NN, or Addr1 in the INI file)");
        return {};
    }
    const std::string address = NormalizeAddress(text);
    if (address.empty() || address == "#00") {
        Usage("\"" + text + "\" is not a box's address (#01 to #99)");
        return {};
    }
    return address;
}

int Rig::Connect(const std::string& address) {
    if (!Open()) return openExit;
    session->State().CurrentAddress = address;
    const device::InfoReadOut readOut = device::ReadInformation(*session, true);
    if (stop.Requested()) return Fail(kNoAnswer, "stopped by a signal");
    if (readOut.unanswered) return Fail(kNoAnswer, "no box answered at " + address);
    if (session->State().Info.SerialNumber == app::kNoConnect) return Fail(kNoAnswer, "no answer from " + address);
    return kDone;
}

std::string Rig::NoAnswerText(const std::string& address, link::ExchangeOutcome outcome) const {
    std::string why(link::OutcomeText(outcome));
    if (outcome == link::ExchangeOutcome::NotOpen) why += ": " + link->LastOpenStatus().text;
    return "no answer from " + address + " (" + why + ")";
}

namespace {

using Runner = int (*)(Rig&);

struct Entry {
    const char* key;
    Runner run;
    bool endsItself;  // a signal is seen at the command's next clean point, not at once
};

const Entry kEntries[] = {
    {"ports", RunPorts, false},
    {"send", RunSend, false},
    {"scan", RunScan, true},
    {"info", RunInfo, false},
    {"log init", RunLog, false},
    {"log rate", RunLog, false},
    {"log start", RunLog, false},
    {"log stop", RunLog, false},
    {"log dump", RunLog, true},
    {"coef read", RunCoefRead, true},
    {"coef write", RunCoefWrite, true},
    {"upload", RunUpload, true},
    {"capture", RunCapture, true},
    {"plot", nullptr, false},
};

}  // namespace

int Run(const std::vector<std::string>& args, Environment& env) {
    const ParseResult parsed = ParseArgs(args);
    const Invocation& inv = parsed.inv;
    if (!parsed.error.empty()) {
        env.err << "tessary-cli: " << parsed.error << "\n(try tessary-cli "
                << (inv.command.empty() ? std::string() : inv.Key() + " ") << "--help)\n";
        return kUsage;
    }
    if (inv.version) {
        env.out << "tessary-cli " TESSARY_VERSION "\n";
        return kDone;
    }
    if (inv.help) {
        env.out << (inv.command.empty() ? ProgramHelp() : CommandHelp(inv.Key()));
        return kDone;
    }
    const Entry* entry = nullptr;
    for (const auto& e : kEntries)
        if (inv.Key() == e.key) entry = &e;
    if (!entry) {
        env.err << "tessary-cli: " << inv.Key() << " is not available in this build\n";
        return kUsage;
    }
    if (inv.Key() == "plot") return RunPlot(inv, env);
    if (env.stopAtOnce) env.stopAtOnce(!entry->endsItself);
    Rig rig(inv, env);
    const int setup = rig.Setup();
    if (setup != kDone) return setup;
    const int rc = entry->run(rig);
    // A question the flow asked that no option answered: it took the choice that changes nothing.
    if (!rig.op.missingChoice.empty()) return rig.Usage(inv.Key() + " needs " + rig.op.missingChoice);
    return rc;
}

}  // namespace tessary::cli
