// The raw block write against a port that stops taking bytes, with a late
// answer waiting: the box is never left inside a block unawares.

#include "coef/CoefTransfer.h"
#include "testkit/DeviceFixture.h"
#include "testkit/ScriptCoefView.h"

#include <filesystem>
#include <fstream>

namespace tessary {
namespace {

using Strings = std::vector<std::string>;

struct CoefBlock : testkit::DeviceFixture {
    testkit::ScriptCoefView view;
    std::filesystem::path home = std::filesystem::path(::testing::TempDir()) / ("tessary_block_" + std::to_string(::getpid()));
    void TearDown() override { std::filesystem::remove_all(home); }
};

TEST_F(CoefBlock, StaleInputIsDroppedAndAStartedBlockIsEndedWhileThePortTakesBytes) {
    struct Row {
        std::function<bool(const std::string&)> refuse;
        Strings wire;
        app::Ending ending;
        std::string told;  // the start of the notice
        const char* echo = "CAL1\r\nA\r\nB\r\n}\r\n";
    };
    const Row rows[] = {
        {nullptr, {"#01CAL1={", "A\r\n", "B\r\n", "}\r\n", "#01EW\r\n"}, app::Ending::Done, ""},
        {[](const std::string& w) { return w == "B\r\n"; }, {"#01CAL1={", "A\r\n", "\r\n}\r\n"}, app::Ending::NoAnswer,
         "Could not write every line of the CAL1 block to the port COM1; the block was ended early."},
        {[](const std::string& w) { return w != "#01CAL1={"; }, {"#01CAL1={"}, app::Ending::NoAnswer,
         "Could not write the coefficients to the port COM1. The box may be left waiting inside the CAL1 block. "
         "To recover once the port works: read one line with \"NoWrite\" in the console, then send the next command."},
        // A refused block is a failure: no commit, no dialog.
        {nullptr, {"#01CAL1={", "A\r\n", "B\r\n", "}\r\n"}, app::Ending::BoxError,
         "Bravik Reported error ERROR 2 when writing the Coefficients.", "ERROR 2\r\n}\r\n"},
    };
    std::filesystem::create_directories(home);
    view.openPath = (home / "b.CRF").string();
    std::ofstream(view.openPath, std::ios::binary) << "A\r\nB\r\n";
    st().DeviceType = "Kestin";
    st().DefaultFolder = home.string() + "/";  // the echo's backup
    for (const Row& row : rows) {
        coef::CoefTransfer coef(*s, view);
        ASSERT_TRUE(coef.OpenCoefficientFile().Ok());
        op.messages.clear();
        port->writes.clear();
        port->refuse = row.refuse;
        // The box echoes a closed block; an answer to an earlier command is still waiting.
        port->onWrite = [this, &row](const std::string& w) {
            if (w.find("}\r\n") != std::string::npos) port->Arrive(row.echo, std::chrono::milliseconds(5));
            if (w == "#01EW\r\n") port->Arrive("0\r\n", std::chrono::milliseconds(5));
        };
        port->Arrive("0\r\n");
        view.changeDlgShown = 0;
        const app::Outcome outcome = coef.WriteCoefficients();
        EXPECT_EQ(port->writes, row.wire);
        EXPECT_EQ(view.changeDlgShown, row.ending == app::Ending::Done ? 1 : 0);
        EXPECT_EQ(outcome.ending, row.ending);
        if (row.told.empty()) {
            EXPECT_EQ(op.messages, Strings{});
            EXPECT_EQ(view.memo, (Strings{"A", "B"})) << "the late \"0\" is not the echo's first line";
        } else {
            ASSERT_FALSE(op.messages.empty());
            EXPECT_EQ(op.messages[0].substr(0, row.told.size()), row.told);
        }
    }
}

}  // namespace
}  // namespace tessary
