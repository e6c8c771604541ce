// tessary-cli against the simulator's faults, by kind: answers that are lost,
// cut or garbled; files that are broken or cannot be written; signals.

#include "CliRig.h"
#include "testkit/SessionRig.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <thread>

namespace tessary::clitest {
namespace {

namespace sim = bravik::sim;

// One box at #31 holding 300 log sets.
sim::LineConfig Box31(const sim::Faults& faults) {
    sim::LineConfig config;
    config.pacing = true;  // an answer cannot come before its command has crossed
    auto& box = config.boxes.emplace_back();
    box.address = 31;
    box.logSets = 300;
    box.faults = faults;
    return config;
}

bool Printable(const std::string& text) {
    return std::all_of(text.begin(), text.end(), [](char c) { return c == '\n' || c == '\r' || (c >= 0x20 && c < 0x7f); });
}

long Lines(const std::string& text) { return std::count(text.begin(), text.end(), '\n'); }

TEST(CliAnswers, LostCutAndGarbledAnswersAreNeverTakenAsData) {
    sim::Faults drop, stop, cut, garble;
    drop.dropEvery = 11;  // the read-out's 11th answer, then "LL"'s
    stop.stopAfter = 50;
    cut.stopAfter = 6;
    garble.garble = true;
    struct Row {
        const char* what;
        sim::Faults faults;
        const char* command;
        std::string told;  // in standard error
    } const rows[] = {
        {"LL lost", drop, "dump", "did not answer \"LL\": how many sets its log holds is unknown. Nothing was written."},
        {"stream cut", stop, "dump", "The dump ended early: "},
        {"LL garbled", garble, "dump", "The answer of the box at #31 to \"LL\" came garbled"},
        {"read-out garbled", garble, "info", "tessary-cli: the answers of #31 to M, VF, ID, VER"},
        {"block cut", cut, "coef", "after 5 lines of the coefficient block. Nothing was decoded."},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        CliRig rig(Box31(row.faults));
        const std::string file = rig.Path("dump.txt");
        const std::string command = row.command;
        const CliRun r = rig.Run(command == "info"   ? Strings{"info", "--address", "31"}
                                 : command == "coef" ? Strings{"coef", "read", "--address", "31"}
                                                     : Strings{"log", "dump", "--address", "31", "--out", file});
        EXPECT_EQ(r.rc, 1) << r.err;
        EXPECT_NE(r.err.find(row.told), std::string::npos) << r.err;
        EXPECT_TRUE(Printable(r.out)) << r.out;
        const std::string text = testkit::ReadFile(file);
        EXPECT_TRUE(Printable(text));
        EXPECT_EQ(text.find("NoConnect"), std::string::npos);
        if (row.faults.stopAfter && command == "dump") {
            EXPECT_NE(r.err.find("ended early: " + std::to_string(Lines(text)) + " lines came before the box fell silent"),
                      std::string::npos) << r.err;
            EXPECT_EQ(text.substr(text.size() - 2), "\r\n");
        }
    }
    // An absent box: one time-out, not twenty.
    CliRig rig;
    const CliRun r = rig.Run({"info", "--address", "07"});
    EXPECT_EQ(r.rc, 1);
    EXPECT_EQ(r.err, "tessary-cli: no box answered at #07\n");
    EXPECT_EQ(rig.Heard(), Strings{"#07M@9600"});
}

TEST(CliFiles, CoefWriteRefusesABrokenFileUnlessToldAndAFailedBackupIsOnlyAWarning) {
    CliRig rig;
    const std::string end = ":00000001FF\r\n";
    const std::pair<const char*, std::string> broken[] = {
        {"cut.hex", ":1000000002010104210401\r\n" + end},
        {"sum.hex", ":10000000020101042104011750363130302D410027\r\n" + end},
        {"noise.hex", "\x01\xfe\x7f\x80 ~\r\n"},
        {"long.hex", std::string(1 << 20, 'A') + "\r\n" + end},
        {"noend.hex", ":10000000020101042104011750363130302D410026\r\n"},
        {"bad.CRF", "P SN 1\r\nP0=" + std::string(130, '1') + "\r\n"},
    };
    for (const auto& [name, bytes] : broken) {
        std::ofstream(rig.Path(name), std::ios::binary) << bytes;
        const CliRun r = rig.Run({"coef", "write", "--address", "1", rig.Path(name)});
        EXPECT_EQ(r.rc, 2) << name << r.err;
        EXPECT_NE(r.err.find("coef write needs --yes to send it anyway"), std::string::npos) << r.err;
        EXPECT_EQ(rig.Heard(), Strings{}) << name;
    }
    EXPECT_EQ(rig.Run({"coef", "write", "--address", "5", "--yes", rig.Path("bad.CRF")}).rc, 0);
    EXPECT_EQ(rig.Heard().back(), "}@9600");
    // The box refuses a block it cannot take: no commit follows.
    const CliRun refused = rig.Run({"coef", "write", "--address", "1", "--yes", "--commit", rig.Path("sum.hex")});
    EXPECT_EQ(refused.rc, 1);
    EXPECT_NE(refused.err.find("Bravik Reported error ERROR 2 when writing the Coefficients."), std::string::npos);
    EXPECT_EQ(rig.Heard().back(), "}@9600");

    // Where backups cannot be made: the read is saved and the write counts all the same.
    std::ofstream(rig.Path("home"));
    ::setenv("HOME", rig.Path("home").c_str(), 1);
    const std::string saved = rig.Path("read.hex");
    CliRun r = rig.Run({"coef", "read", "--address", "1", "--out", saved});
    EXPECT_EQ(r.rc, 0) << r.err;
    EXPECT_NE(r.err.find("Could not write the backup of the coefficients: " + rig.Path("home")), std::string::npos);
    EXPECT_EQ(Lines(testkit::ReadFile(saved)), 17);
    EXPECT_EQ(rig.Run({"coef", "read", "--address", "1", "--out", saved}).rc, 2) << "exists";
    r = rig.Run({"coef", "write", "--address", "1", "--commit", saved});
    EXPECT_EQ(r.rc, 0) << r.err;
    EXPECT_EQ(rig.Heard().back(), "#01CW@9600");
}

TEST(CliSignals, ASecondSignalEndsADumpsDrainAtOnceOnAWholeLine) {
    CliRig rig(Box31({}));  // paced: the 300 sets take about ten seconds
    const std::string file = rig.Path("dump.txt");
    std::chrono::steady_clock::time_point second;
    std::thread signaller([&] {
        // Some set lines came after "LD".
        rig.line.waitForTraffic(
            [](const auto& t) {
                const auto ld = std::find_if(t.begin(), t.end(), [](const auto& x) { return x.text == "#31LD"; });
                return ld != t.end() && t.end() - ld > 5;
            },
            std::chrono::seconds(20));
        rig.signals = 1;
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        second = std::chrono::steady_clock::now();
        rig.signals = 2;
    });
    const CliRun r = rig.Run({"log", "dump", "--address", "31", "--out", file});
    const auto ended = std::chrono::steady_clock::now();
    signaller.join();
    const auto after = ended - second;
    EXPECT_EQ(r.rc, 1);
    EXPECT_NE(r.err.find("Dump cancelled."), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("left unread"), std::string::npos) << r.err;
    EXPECT_LT(after, std::chrono::seconds(5));  // the drain of the rest would take about nine
    const std::string text = testkit::ReadFile(file);
    EXPECT_GT(Lines(text), 0);
    EXPECT_LT(Lines(text), 100);
    EXPECT_EQ(text.substr(text.size() - 2), "\r\n");
}

}  // namespace
}  // namespace tessary::clitest
