// A 32 KiB program image uploaded to the simulated box, which answers each
// line as soon as it has crossed the wire: the whole upload's time against the
// wire time of every byte both ways (10 bits a byte at the speed it went at);
// then the same through ser2net over rfc2217://, when it is installed.

#include "OneBoxLine.h"
#include "firmware/Upload.h"
#include "testkit/RecordingOperator.h"
#include "../tests/cli/Ser2net.h"

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <optional>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <unistd.h>
#include <vector>

using namespace tessary;
using Clock = std::chrono::steady_clock;

namespace {

struct QuietView final : firmware::FirmwareView {
    std::string file, last;
    std::optional<std::string> PickImageFile(const std::string&) override { return file; }
    bool AskSendUncheckedImage(const std::string&) override { return false; }
    void Log(const std::string& line) override { last = line; }
    void ShowProgress(std::uint32_t) override {}
    void SetProgress(std::uint32_t) override {}
    void HideProgress() override {}
    std::string TimeOfDay() override { return "-"; }
};

std::string Hex2(unsigned v) {
    char buf[3];
    std::snprintf(buf, sizeof buf, "%02X", v & 0xFFu);
    return buf;
}

// 2048 data records of 16 bytes and the end record.
std::string Image() {
    std::string out;
    for (unsigned address = 0; address < 32 * 1024; address += 16) {
        std::string body = "10" + Hex2(address >> 8) + Hex2(address) + "00";
        unsigned sum = 0x10 + (address >> 8) + (address & 0xFF);
        for (unsigned i = 0; i < 16; ++i) {
            const unsigned b = (address * 7 + i * 13) & 0xFF;
            body += Hex2(b);
            sum += b;
        }
        out += ":" + body + Hex2(0x100 - (sum & 0xFF)) + "\r\n";
    }
    return out + ":00000001FF\r\n";
}

}  // namespace

int Run(bool overNetwork) {
    bravik::sim::BoxConfig box;
    box.copyMs = 0;
    bench::OneBoxLine rig{box};
    const auto dir = std::filesystem::temp_directory_path() / ("upload_bench_" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    std::optional<clitest::Ser2net> server;
    if (overNetwork) {
        server.emplace(dir.string(), rig.line.slavePath(), 9600);
        rig.ports.SetFromCommandLine("COM1", server->Rfc());
    }
    testkit::RecordingOperator op;
    app::Session s(rig.dl, rig.ports, op, {});
    s.Reset();
    if (!rig.dl.OpenComPort()) {
        std::printf("cannot open the simulated line\n");
        return 1;
    }
    QuietView view;
    view.file = (dir / "image.hex").string();
    std::ofstream(view.file, std::ios::binary) << Image();

    // Five uploads in a row over the pty: every one must keep to the wire's pace.
    const int kRuns = overNetwork ? 1 : 5;
    const double target = overNetwork ? 1.10 : 1.05;
    std::vector<double> ratios, past;
    for (int run = 0; run < kRuns; ++run) {
        rig.line.clearTraffic();
        const auto t0 = Clock::now();
        const auto end = firmware::Uploader(s, view).Upload("#01");
        const double took = std::chrono::duration<double>(Clock::now() - t0).count();
        double wire = 0;
        std::size_t lines = 0;
        for (const auto& t : rig.line.traffic()) {
            if (t.dir == bravik::sim::Traffic::Dir::Event || t.baud == 0) continue;
            wire += static_cast<double>(t.text.size() + 2) * 10.0 / t.baud;
            ++lines;
        }
        if (!end.Ok() || view.last != "Update complete") {
            std::printf("upload %d did not finish: last status line \"%s\"\n", run + 1, view.last.c_str());
            std::filesystem::remove_all(dir);
            return 1;
        }
        // Where the time past the wire goes, from the box's own clock: the PC's
        // turn (the answer's last byte out to the next command read by the box)
        // and the box's (the command read to its answer's last byte, past the wire).
        std::vector<double> pcTurn, boxTurn;
        const auto& traffic = rig.line.traffic();
        const bravik::sim::Traffic* command = nullptr;
        const bravik::sim::Traffic* answer = nullptr;
        for (const auto& t : traffic) {
            if (t.dir == bravik::sim::Traffic::Dir::FromPc) {
                if (answer && t.baud == answer->baud)
                    pcTurn.push_back(std::chrono::duration<double, std::milli>(t.time - answer->time).count());
                command = &t, answer = nullptr;
            } else if (t.dir == bravik::sim::Traffic::Dir::ToPc && command && command->baud == t.baud) {
                const double onWire = static_cast<double>(command->text.size() + t.text.size() + 4) * 10.0 / t.baud * 1000.0;
                boxTurn.push_back(std::chrono::duration<double, std::milli>(t.time - command->time).count() - onWire);
                answer = &t, command = nullptr;
            }
        }
        const auto pct = [](std::vector<double> v, double q) {
            if (v.empty()) return 0.0;
            std::sort(v.begin(), v.end());
            return v[static_cast<std::size_t>(q * static_cast<double>(v.size() - 1))];
        };
        std::printf("    PC's turn median %.3f ms, p99 %.3f ms; box's turn past the wire median %.3f ms, p99 %.3f ms\n",
                    pct(pcTurn, 0.5), pct(pcTurn, 0.99), pct(boxTurn, 0.5), pct(boxTurn, 0.99));
        ratios.push_back(took / wire);
        past.push_back((took - wire) * 2000.0 / static_cast<double>(lines));
        std::printf("  upload %d: %zu lines both ways, %.3f s, wire %.3f s, ratio %.4f, %.3f ms past the wire per exchange\n",
                    run + 1, lines, took, wire, ratios.back(), past.back());
    }
    server.reset();
    std::filesystem::remove_all(dir);
    auto sorted = ratios;
    std::sort(sorted.begin(), sorted.end());
    const double worst = sorted.back();
    std::printf("32 KiB image upload%s, %d run%s: median ratio %.4f, worst %.4f  (target: worst <= %.2f) %s\n"
                "  past the wire per exchange: median %.3f ms, worst %.3f ms\n",
                overNetwork ? " over rfc2217" : "", kRuns, kRuns == 1 ? "" : "s", sorted[kRuns / 2], worst, target,
                worst <= target ? "ok" : "MISSED",
                [&] { auto p = past; std::sort(p.begin(), p.end()); return p[kRuns / 2]; }(),
                *std::max_element(past.begin(), past.end()));
    return worst <= target ? 0 : 1;
}

// --network: only the upload through ser2net.
int main(int argc, char** argv) {
    const bool networkOnly = argc > 1 && std::string(argv[1]) == "--network";
    int failures = networkOnly ? 0 : Run(false);
    if (std::system("command -v ser2net >/dev/null") == 0) failures += Run(true);
    return failures == 0 ? 0 : 1;
}
