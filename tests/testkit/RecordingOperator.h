#pragma once
#include "app/Operator.h"

#include <functional>
#include <string>
#include <vector>

namespace tessary::testkit {

// Records what the work layer told the operator; runs a hook on each event pump so a test can "click" in the middle
// of a loop.
class RecordingOperator final : public app::Operator {
public:
    std::vector<std::string> messages;
    int pumps = 0;
    std::function<void()> onPump;

    int busyDepth = 0, busyCount = 0;
    int statesShown = 0;

    void ShowMessageBox(const std::string& text) override { messages.push_back(text); }
    void ProcessEvents() override {
        ++pumps;
        if (onPump) onPump();
    }
    // A wait counts as a pump too (a test's "click" may come in it).
    std::vector<int> waits;
    void WaitForEvents(int maxMs) override {
        waits.push_back(maxMs);
        ProcessEvents();
    }
    void BeginBusy() override { ++busyCount, ++busyDepth; }
    void EndBusy() override { --busyDepth; }
    void ShowState() override { ++statesShown; }
};

}  // namespace tessary::testkit
