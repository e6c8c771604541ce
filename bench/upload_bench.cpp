// A 32 KiB program image uploaded to the simulated box, which answers each
// line as soon as it has crossed the wire: the whole upload's time against the
// wire time of every byte both ways (10 bits a byte at the speed it went at);
// then the same through ser2net over rfc2217://, when it is installed.

#include "OneBoxLine.h"
#include "firmware/Upload.h"
#include "testkit/RecordingOperator.h"
#include "../tests/cli/Ser2net.h"

#include <chrono>
#include <cstdlib>
#include <optional>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <unistd.h>

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

    const auto t0 = Clock::now();
    const auto end = firmware::Uploader(s, view).Upload("#01");
    const double took = std::chrono::duration<double>(Clock::now() - t0).count();
    server.reset();
    std::filesystem::remove_all(dir);

    double wire = 0;
    std::size_t lines = 0;
    for (const auto& t : rig.line.traffic()) {
        if (t.dir == bravik::sim::Traffic::Dir::Event || t.baud == 0) continue;
        wire += static_cast<double>(t.text.size() + 2) * 10.0 / t.baud;
        ++lines;
    }
    if (!end.Ok() || view.last != "Update complete") {
        std::printf("upload did not finish: last status line \"%s\"\n", view.last.c_str());
        return 1;
    }
    const double ratio = took / wire;
    std::printf("32 KiB image upload%s, %zu lines both ways: %.3f s, wire %.3f s, ratio %.4f  (target <= 1.10, aim "
                "<= 1.05) %s\n  %.3f ms past the wire per exchange\n",
                overNetwork ? " over rfc2217" : "", lines, took, wire, ratio, ratio <= 1.10 ? "ok" : "MISSED", (took - wire) * 2000.0 / static_cast<double>(lines));
    return ratio <= 1.10 ? 0 : 1;
}

int main() {
    int failures = Run(false);
    if (std::system("command -v ser2net >/dev/null") == 0) failures += Run(true);
    return failures == 0 ? 0 : 1;
}
