// The capture thread and another thread on one simulated line: every answer
// reaches the thread that asked for it, and every capture line its file.

#include "capture/Capture.h"
#include "link/PosixPort.h"
#include "sim/Line.h"
#include "testkit/SessionRig.h"

#include <gtest/gtest.h>

#include <regex>

using namespace tessary;
using namespace std::chrono_literals;

namespace {

struct LinesView final : capture::CaptureView {
    std::mutex m;
    std::array<std::string, 2> shown;  // each slot's lines as its file should hold them
    bool AskAppend(const std::string&) override { return false; }
    void ShowLine(int slot, const std::string& line) override {
        std::lock_guard l(m);
        shown[static_cast<std::size_t>(slot - 1)] += line + "\r\n";
    }
    void ShowFileError(int, const std::string& text) override { EXPECT_EQ(text, ""); }
    void ShowState(bool, const std::string&) override {}
};

TEST(CaptureSim, CaptureAndAnotherThreadShareTheLineWithoutLosingOrSwappingAnswers) {
    bravik::sim::BoxConfig box;
    box.baud = 115200;
    box.gate = "0.01";
    bravik::sim::LineConfig cfg;
    cfg.boxes = {box, box};
    cfg.boxes[1].address = 2;
    bravik::sim::Line line(cfg);
    line.start();
    testkit::SessionRig rig;  // for its folder and operator
    link::DeviceLink dl(std::make_unique<link::PosixPort>(), [&](const std::string&) { return line.slavePath(); });
    dl.SetLinkBaudRate(115200);
    ASSERT_TRUE(dl.OpenComPort());
    const std::string serial = dl.SendCommand("#02ID\r\n");

    LinesView view;
    capture::SteadyCaptureClock clock;
    capture::Capture capture(dl, rig.op, view, clock, 100ms);
    capture::CaptureSetup setup;
    setup.ticked = {true, true, false, false};
    setup.addresses = {"#01", "#02", "", ""};
    for (int k = 0; k < 2; ++k) setup.paths[k] = (rig.dir / ("t" + std::to_string(k) + ".txt")).string();
    const auto started = std::chrono::steady_clock::now();
    ASSERT_TRUE(capture.Start(setup));
    int asked = 0, wrong = 0;
    for (const auto until = started + 1500ms; std::chrono::steady_clock::now() < until; ++asked)
        wrong += dl.SendCommand("#02ID\r\n") != serial;
    // Handed over in turn, the line serves every period that ended, however hard the other thread presses.
    const auto periods = (std::chrono::steady_clock::now() - started) / 100ms;
    capture.Stop();

    EXPECT_EQ(wrong, 0) << "of " << asked;
    const std::regex reading(R"((\d{4}/\d\d/\d\d, \d\d:\d\d:\d\d,[-0-9.]+,[-0-9.]+,\d+,\d+\r\n){)" +
                             std::to_string(periods - 1) + ",}");
    for (int k = 0; k < 2; ++k) {
        EXPECT_TRUE(std::regex_match(view.shown[k], reading)) << view.shown[k];
        EXPECT_EQ(testkit::ReadFile(setup.paths[k]), view.shown[k]);
    }
}

}  // namespace
