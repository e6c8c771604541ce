#pragma once
#include "app/Operator.h"

#include <functional>
#include <string>
#include <vector>

namespace tessary::testkit {

// Records what the work layer told the operator; runs a hook on each event pump
// so a test can "click" in the middle of a loop.
class RecordingOperator final : public app::Operator {
public:
    std::vector<std::string> messages;
    int pumps = 0;
    std::function<void()> onPump;

    void ShowMessageBox(const std::string& text) override { messages.push_back(text); }
    void ProcessEvents() override {
        ++pumps;
        if (onPump) onPump();
    }
};

}  // namespace tessary::testkit
