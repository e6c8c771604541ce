#include "app/LineThread.h"

#include <gtest/gtest.h>

#include <atomic>
#include <string>

using namespace tessary;
using namespace std::chrono_literals;

namespace {

// A request queued while an operation runs lands at its next pause, in order;
// an operation queued meanwhile waits for the running one to end.
TEST(LineThread, RequestsRunInsideTheOperationOperationsAfterIt) {
    app::LineThread line;
    std::string order;  // written on the line thread only
    std::atomic<bool> queued{false};
    line.Post([&] {
        order += "A(";
        while (!queued) std::this_thread::yield();
        line.RunRequests();
        order += ")";
    });
    line.Post([&] { order += "B"; });
    line.Request([&] { order += "r1"; });
    line.Request([&] {
        order += "r2";
        EXPECT_TRUE(line.OnLine());
    });
    queued = true;
    ASSERT_TRUE(line.WaitIdle(5s));
    EXPECT_EQ(order, "A(r1r2)B");
}

}  // namespace
