// What finding boxes costs against its bound: a 99-address scan with one box
// (a silent address should cost its 200 ms time-out and no more), the
// simulator's pacing of a long stream against the wire, and, with
// --search, a whole search that finds nothing on one port.

#include "app/Connect.h"
#include "OneBoxLine.h"
#include "app/private/AppState.h"
#include "link/LinuxPort.h"
#include "sim/Line.h"
#include "testkit/RecordingOperator.h"

#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

using namespace tessary;
using Clock = std::chrono::steady_clock;

namespace {

struct TimingView final : app::SearchView {
    Clock::time_point firstScan{}, afterBox{}, lastScan{};
    int probes = 0;
    void ShowProbe(const std::string&, std::uint32_t) override {}
    void ShowProbeAddress(const std::string&) override { ++probes; }
    void HideProbe() override {}
    void ShowScanAddress(const std::string& address) override {
        if (address == "#01") firstScan = Clock::now();
    }
    void ShowProgress(int done, int total) override {
        if (total == 99 && done == 1) afterBox = Clock::now();
        if (total == 99 && done == 99) lastScan = Clock::now();
    }
    bool AskStopSearching(const std::string&, const std::string&, const std::string&) override { return false; }
    void HideConnectDialog() override {}
};

}  // namespace

int main(int argc, char** argv) {
    const bool search = argc > 1 && std::string(argv[1]) == "--search";
    int failures = 0;

    bench::OneBoxLine rig{bravik::sim::BoxConfig{}};
    auto& line = rig.line;
    auto& ports = rig.ports;
    auto& dl = rig.dl;
    testkit::RecordingOperator op;
    app::Session s(dl, ports, op, {});
    s.Reset();
    dl.OpenComPort();
    TimingView view;
    s.State().TryIniFirst = true;  // no question per box found
    app::Connector(s, view).ScanAddresses();
    const double scan = std::chrono::duration<double>(view.lastScan - view.firstScan).count();
    const double silent = std::chrono::duration<double>(view.lastScan - view.afterBox).count();
    const double ratio = scan / (99 * 0.2);
    std::printf("99-address scan, one box at 9600: %.3f s, ratio to 99 x 200 ms %.4f  (target <= 1.03) %s\n"
                "  the 98 silent addresses: %.3f s, %.2f ms each against the 200 ms time-out\n",
                scan, ratio, ratio <= 1.03 ? "ok" : "MISSED", silent, silent / 98 * 1000);
    failures += ratio <= 1.03 ? 0 : 1;

    // The quick scan of the same line: it times #01 first (as the search's
    // probe would have), then asks the 98 silent addresses.
    {
        app::Connector quick(s, view);
        quick.SetScanKind(app::ScanKind::Quick);
        const auto q0 = Clock::now();
        quick.ScanAddresses();
        const double took = std::chrono::duration<double>(Clock::now() - q0).count();
        const bool met = took <= 5.0 && s.State().AddressTable[1] != app::kNoConnect;
        std::printf("quick 99-address scan, one box at 9600: %.3f s (the exact scan %.3f s)  (target <= 5 s) %s\n", took,
                    scan, met ? "ok" : "MISSED");
        failures += met ? 0 : 1;
    }

    // The simulator's pacing over a long stream, on its own clock: single late wake-ups must not add up.
    {
        line.clearTraffic();
        auto hold = dl.Hold();
        for (std::string l = dl.SendCommand("#01CAL\r\n"); l != "}" && l != "NoConnect";) l = dl.SendCommand("NoWrite");
        std::vector<bravik::sim::Traffic> sent;
        for (const auto& t : line.traffic())
            if (t.dir == bravik::sim::Traffic::Dir::ToPc) sent.push_back(t);
        std::size_t bytes = 0;  // after the first line's end, up to the last's
        for (std::size_t i = 1; i < sent.size(); ++i) bytes += sent[i].text.size() + 2;
        const double ms = sent.size() < 2 ? 0 : std::chrono::duration<double, std::milli>(sent.back().time - sent.front().time).count();
        const double wire = static_cast<double>(bytes) * 10.0 / 9.6;
        const bool met = sent.size() > 2 && ms <= wire * 1.02 + 5.0;
        std::printf("simulator's coefficient stream at 9600: %zu lines, %.1f ms for %zu bytes, wire %.1f ms, ratio %.4f  "
                    "(target <= 1.02 + 5 ms) %s\n",
                    sent.size(), ms, bytes, wire, wire > 0 ? ms / wire : 0.0, met ? "ok" : "MISSED");
        failures += met ? 0 : 1;
    }

    if (search) {
        bravik::sim::Faults quiet;
        quiet.silent = true;
        line.setFaults(1, quiet);
        s.Reset();
        dl.SetLinkPortName("COM1");
        dl.SetLinkBaudRate(9600);
        s.State().ConnectionFound = false;
        const auto t0 = Clock::now();
        app::Connector(s, view).SearchForBox();
        const double took = std::chrono::duration<double>(Clock::now() - t0).count();
        // The start probe and eight other rates on COM1; COM2..COM4 map to nothing.
        const double bound = 9 * 33 * 0.5;
        std::printf("search finding nothing on one port: %.2f s for %d probes, ratio to 9 x 33 x 500 ms %.4f\n", took,
                    view.probes, took / bound);
    }
    return failures == 0 ? 0 : 1;
}
