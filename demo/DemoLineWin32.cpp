#include "demo/DemoLine.h"

namespace tessary::demo {

std::unique_ptr<DemoLine> StartDemoLine(const std::string&, std::string& error) {
    error = "Windows has no pseudo-terminal for it; run bravik-sim on Linux or under WSL";
    return nullptr;
}

std::string DemoPlugHint() { return {}; }

}  // namespace tessary::demo
