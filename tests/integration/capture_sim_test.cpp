// The capture thread and another thread on one simulated line: every answer
// reaches the thread that asked for it, and every capture line its file.

#include "capture/Capture.h"
#include "link/PosixPort.h"
#include "sim/Line.h"
#include "testkit/RecordingOperator.h"
#include "testkit/SessionRig.h"

#include <gtest/gtest.h>

#include <regex>
#include <thread>

using namespace tessary;
using namespace std::chrono_literals;

namespace {

struct LinesView final : capture::CaptureView {
    std::mutex m;
    std::array<std::string, 4> shown;  // each slot's lines as its file should hold them
    int lines = 0;
    bool AskAppend(const std::string&) override { return false; }
    void ShowLine(int slot, const std::string& line) override {
        std::lock_guard l(m);
        shown[static_cast<std::size_t>(slot - 1)] += line + "\r\n";
        ++lines;
    }
    void ShowFileError(int, const std::string& text) override { EXPECT_EQ(text, ""); }
    void ShowState(bool, const std::string&) override {}
};

TEST(CaptureSim, CaptureAndAnotherThreadShareTheLineWithoutLosingOrSwappingAnswers) {
    bravik::sim::LineConfig cfg;
    bravik::sim::BoxConfig box;
    box.baud = 115200;
    box.gate = "0.01";
    for (int a : {1, 2}) {
        box.address = a;
        cfg.boxes.push_back(box);
    }
    bravik::sim::Line line(cfg);
    line.start();
    link::PortMap ports;
    ports.SetFromCommandLine("COM1", line.slavePath());
    link::DeviceLink dl(std::make_unique<link::PosixPort>(), [&ports](const std::string& n) { return ports.Resolve(n); });
    dl.SetLinkBaudRate(115200);
    ASSERT_TRUE(dl.OpenComPort());
    const std::string serial = dl.SendCommand("#02ID\r\n");
    ASSERT_NE(serial, "NoConnect");

    testkit::SessionRig files;  // only for its folder
    testkit::RecordingOperator op;
    LinesView view;
    capture::SteadyCaptureClock clock;
    capture::Capture capture(dl, op, view, clock, 40ms);
    capture::CaptureSetup setup;
    setup.ticked = {true, true, false, false};
    setup.addresses = {"#01", "#02", "", ""};
    for (int k = 0; k < 2; ++k) setup.paths[k] = (files.dir / ("t" + std::to_string(k) + ".txt")).string();
    ASSERT_TRUE(capture.Start(setup));

    int asked = 0, wrong = 0;
    for (const auto until = std::chrono::steady_clock::now() + 1500ms; std::chrono::steady_clock::now() < until; ++asked)
        wrong += dl.SendCommand("#02ID\r\n") != serial;
    capture.Stop();

    EXPECT_EQ(wrong, 0) << "of " << asked;
    EXPECT_GT(view.lines, 20);
    const std::regex reading(R"(\d{4}/\d\d/\d\d, \d\d:\d\d:\d\d,[-0-9.]+,[-0-9.]+,\d+,\d+)");
    for (int k = 0; k < 2; ++k) {
        EXPECT_EQ(testkit::ReadFile(setup.paths[k]), view.shown[k]);
        std::istringstream lines(view.shown[k]);
        for (std::string l; std::getline(lines, l);) EXPECT_TRUE(std::regex_match(l.substr(0, l.size() - 1), reading)) << l;
    }
}

}  // namespace
