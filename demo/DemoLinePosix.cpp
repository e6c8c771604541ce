#include "demo/DemoLine.h"

#include "sim/Config.h"
#include "sim/Line.h"

#include <system_error>
#include <unistd.h>

namespace tessary::demo {
namespace {
class PtyDemoLine final : public DemoLine {
public:
    explicit PtyDemoLine(bravik::sim::LineConfig config) : config_(std::move(config)), line_(config_) { line_.start(); }
    std::string DevicePath() const override {
        return config_.byIdDir.empty() ? line_.slavePath() : config_.byIdDir + "/" + config_.byIdName;
    }
    void PullPlug() override { line_.hangUp(); }
    std::string PutPlugBack() override {
        if (line_.running()) return {};
        try {
            line_.restore();
        } catch (const std::system_error& e) {
            return e.what();
        }
        return {};
    }

private:
    bravik::sim::LineConfig config_;
    bravik::sim::Line line_;
};
}  // namespace

std::unique_ptr<DemoLine> StartDemoLine(const std::string& byIdDir, std::string& error) {
    // Behind a stable link, as a USB adapter's by-id name: a pulled plug comes back under it.
    bravik::sim::LineConfig config = bravik::sim::demoLine();
    if (!byIdDir.empty()) {
        config.byIdDir = byIdDir;
        config.byIdName = "usb-Bravik_Simulated_Line-if00-port0";
    }
    try {
        return std::make_unique<PtyDemoLine>(std::move(config));
    } catch (const std::system_error& e) {
        error = e.what();
        return nullptr;
    }
}

std::string DemoPlugHint() {
    const std::string pid = std::to_string(::getpid());
    return "kill -USR1 " + pid + " pulls its plug, kill -USR2 " + pid + " puts it back";
}

}  // namespace tessary::demo
