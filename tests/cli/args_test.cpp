// The command line: every usage error names its cause and exits 2; help exits 0.

#include "tests/cli/CliRig.h"

#include <gtest/gtest.h>

namespace tessary::clitest {
namespace {

TEST(CliArguments, UsageErrorsAndHelp) {
    CliRig rig;
    const std::string empty = rig.Path("empty.ini");
    struct Row {
        Strings args;
        int rc;
        std::string says;  // on standard error, or on standard output for help
    };
    const Row rows[] = {
        {{}, 2, "no command given"},
        {{"frob"}, 2, "unknown command \"frob\""},
        {{"send"}, 2, "send needs CMD"},
        {{"send", "#01ID", "#02ID"}, 2, "send takes CMD"},
        {{"send", "--address"}, 2, "--address needs #NN"},
        {{"send", "--bogus", "#01ID"}, 2, "unknown option --bogus"},
        {{"send", "--json", "#01ID"}, 2, "--json does not apply to send"},
        {{"ports", "--baud", "9600"}, 2, "--baud does not apply to ports"},
        {{"scan", "--first=yes"}, 2, "--first takes no value"},
        {{"info", "--json", "--json", "#01"}, 2, "--json given twice"},
        {{"send", "--baud", "fast", "#01ID"}, 2, "--baud needs a rate in bit/s, not \"fast\""},
        {{"send", "--port", "COM9=/dev/null", "#01ID"}, 2, "--port needs COMn=PATH"},
        {{"info", "--ini", empty}, 2, "info needs an address"},
        {{"info", "--ini", empty, "#100"}, 2, "\"#100\" is not a box's address"},
        {{"info", "--ini", empty, "--address", "00"}, 2, "\"00\" is not a box's address"},
        {{"info", "--ini", rig.Path("missing.ini"), "#01"}, 3, "cannot read the INI file " + rig.Path("missing.ini") +
                                                                   ": No such file or directory"},
        {{"--help"}, 0, "Usage: tessary-cli COMMAND"},
        {{"scan", "--help"}, 0, "--first"},
        {{"send", "-h"}, 0, "Usage: tessary-cli send [options] CMD"},
    };
    for (const auto& row : rows) {
        const CliRun r = rig.Run(row.args, false);
        std::string joined;
        for (const auto& a : row.args) joined += a + " ";
        EXPECT_EQ(r.rc, row.rc) << joined << "\n" << r.err;
        EXPECT_NE((row.rc == 0 ? r.out : r.err).find(row.says), std::string::npos) << joined << "\n" << r.err << r.out;
        if (row.rc == 2) {
            EXPECT_NE(r.err.find("--help)"), std::string::npos) << joined;
        }
    }
}

}  // namespace
}  // namespace tessary::clitest
