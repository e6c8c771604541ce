#include "ui/DemoLine.h"

#include "sim/Config.h"
#include "sim/Line.h"

#include <system_error>

namespace {
class PtyDemoLine final : public DemoLine {
public:
    PtyDemoLine() : line_(bravik::sim::demoLine()) { line_.start(); }
    std::string DevicePath() const override { return line_.slavePath(); }

private:
    bravik::sim::Line line_;
};
}  // namespace

std::unique_ptr<DemoLine> StartDemoLine(std::string& error) {
    try {
        return std::make_unique<PtyDemoLine>();
    } catch (const std::system_error& e) {
        error = e.what();
        return nullptr;
    }
}
