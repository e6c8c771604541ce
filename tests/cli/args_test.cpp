// The command line: every usage error names its cause and exits 2; help exits 0.

#include "CliRig.h"

#include <gtest/gtest.h>

namespace tessary::clitest {
namespace {

TEST(CliArguments, UsageErrorsAndHelp) {
    CliRig rig;
    const std::string empty = rig.Path("empty.ini");
    const struct {
        Strings args;
        int rc;
        std::string says;  // on standard error, or on standard output for help
    } rows[] = {
        {{}, 2, "no command given"},
        {{"frob"}, 2, "unknown command \"frob\""},
        {{"send"}, 2, "send needs CMD"},
        {{"send", "#01ID", "#02ID"}, 2, "send takes CMD"},
        {{"send", "--address"}, 2, "--address needs #NN"},
        {{"send", "--bogus", "#01ID"}, 2, "unknown option --bogus"},
        {{"ports", "--baud", "9600"}, 2, "--baud does not apply to ports"},
        {{"scan", "--first=yes"}, 2, "--first takes no value"},
        {{"info", "--json", "--json", "#01"}, 2, "--json given twice"},
        {{"send", "--baud", "fast", "#01ID"}, 2, "--baud needs a rate in bit/s, not \"fast\""},
        {{"send", "--port", "COM9=/dev/null", "#01ID"}, 2, "--port needs COMn=PATH"},
        {{"info", "--ini", empty}, 2, "info needs an address"},
        {{"info", "--ini", empty, "#100"}, 2, "\"#100\" is not a box's address"},
        {{"capture", "--mqtt", "http://lab", "01"}, 2, "--mqtt: \"http://lab\" is no broker"},
        {{"capture", "--mqtt", "mqtt://lab", "--mqtt-qos", "2", "01"}, 2, "--mqtt-qos needs 0 or 1"},
        {{"capture", "--mqtt-discovery", "01"}, 2, "--mqtt-discovery need --mqtt"},
        {{"--help"}, 0, "Usage: tessary-cli COMMAND"},
        {{"send", "-h"}, 0, "Usage: tessary-cli send [options] CMD"},
    };
    for (const auto& row : rows) {
        const CliRun r = rig.Run(row.args, false);
        const std::string shown = testing::PrintToString(row.args) + "\n" + r.err + r.out;
        EXPECT_EQ(r.rc, row.rc) << shown;
        EXPECT_NE((row.rc == 0 ? r.out : r.err).find(row.says), std::string::npos) << shown;
        EXPECT_TRUE(row.rc != 2 || r.err.find("--help)") != std::string::npos) << shown;
    }
    // A line end inside CMD would send a second command.
    const CliRun r = rig.Run({"send", "--address", "01", "ID\r\n#50AD=51"});
    EXPECT_EQ(r.rc, 2);
    EXPECT_NE(r.err.find("CMD holds a control character"), std::string::npos);
    EXPECT_EQ(rig.Heard(), Strings{});
}

}  // namespace
}  // namespace tessary::clitest
