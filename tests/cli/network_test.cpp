// The commands on a line behind the real ser2net: RFC 2217 carries every rate
// change to the pty, raw TCP keeps the server's rate, faults are said.

#include "CliRig.h"
#include "Ser2net.h"
#include "testkit/SessionRig.h"

#include <gtest/gtest.h>

#include <regex>

namespace tessary::clitest {
namespace {

struct NetRig : CliRig {
    Ser2net server;
    explicit NetRig(unsigned baud) : CliRig(Boxes(baud)), server(dir.string(), line.slavePath(), 19200) {}
    static bravik::sim::LineConfig Boxes(unsigned baud) {
        auto config = bravik::sim::demoLine();
        for (auto& box : config.boxes) box.baud = baud, box.copyMs = 300;
        return config;
    }
    CliRun On(const std::string& device, Strings args) {
        args.insert(args.end(), {"--port", "COM1=" + device, "--ini", Path("empty.ini")});
        return Run(args, false);
    }
};

TEST(NetworkLine, EveryFlowOverRfc2217ReachesTheBoxAtItsRate) {
    NetRig rig(57600);  // the search's third rate: a short search
    const std::string at = rig.server.Rfc();
    CliRun r = rig.On(at, {"scan", "--first"});
    ASSERT_EQ(r.rc, 0) << r.err;
    EXPECT_NE(r.out.find("COM1 (" + at + ") at 57600 baud, exact scan\n#01"), std::string::npos) << r.out;
    EXPECT_EQ(rig.Heard().back(), "#01ID@57600");
    r = rig.On(at, {"info", "--baud", "57600", "05"});
    EXPECT_NE(r.out.find("Serial Number:      "), std::string::npos) << r.out << r.err;
    EXPECT_EQ(rig.On(at, {"log", "dump", "--baud", "57600", "--address", "1", "--out", rig.Path("d.txt")}).rc, 0);
    std::filesystem::create_directories(rig.Path("home"));
    ::setenv("HOME", rig.Path("home").c_str(), 1);
    r = rig.On(at, {"coef", "read", "--baud", "57600", "--address", "1", "--out", rig.Path("c.hex")});
    EXPECT_EQ(r.rc, 0) << r.err;
    r = rig.On(at, {"coef", "write", "--baud", "57600", "--address", "1", "--commit", rig.Path("c.hex")});
    EXPECT_EQ(r.rc, 0) << r.err;
    rig.Heard();
    std::ofstream(rig.Path("image.hex")) << ":10000000020101042104011750363130302D410026\r\n:00000001FF\r\n";
    r = rig.On(at, {"upload", "--baud", "57600", "--address", "1", rig.Path("image.hex")});
    EXPECT_EQ(r.rc, 0) << r.err;
    EXPECT_EQ(rig.Heard(), (Strings{"#01BR=57600@57600", "#01PR@57600", ":10000000020101042104011750363130302D410026@57600",
                                    ":00000001FF@57600"}));
    // The box is back at 9600 after its copy, and so is the line.
    EXPECT_EQ(rig.On(at, {"send", "#01ID"}).rc, 0);
}

TEST(NetworkLine, FixedRateUnreachableAndBusyServersAreSaidAtOnce) {
    NetRig rig(9600);
    std::ofstream(rig.Path("image.hex")) << ":00000001FF\r\n";
    CliRun r = rig.On(rig.server.Raw(), {"upload", "--baud", "57600", "--address", "1", rig.Path("image.hex")});
    EXPECT_EQ(r.rc, 2);
    EXPECT_NE(r.err.find("the line COM1 = " + rig.server.Raw() +
                         " cannot change its rate; use rfc2217:// or set the server to 57600"), std::string::npos) << r.err;
    EXPECT_EQ(rig.Heard(), Strings{});

    const auto t0 = std::chrono::steady_clock::now();
    r = rig.On("tcp://127.0.0.1:" + std::to_string(Ser2net::FreePort()), {"send", "#01ID"});
    EXPECT_EQ(r.rc, 3);
    EXPECT_NE(r.err.find("Connection refused"), std::string::npos) << r.err;
    EXPECT_LT(std::chrono::steady_clock::now() - t0, std::chrono::seconds(3));

    const int holder = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(static_cast<std::uint16_t>(rig.server.rfcPort));
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(::connect(holder, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
    std::this_thread::sleep_for(std::chrono::milliseconds(300));  // the server opens its line for the holder
    r = rig.On(rig.server.Rfc(), {"send", "#01ID"});
    ::close(holder);
    EXPECT_EQ(r.rc, 3);
    EXPECT_NE(r.err.find(" is in use: the server said \"Port already in use\""), std::string::npos) << r.err;
}

TEST(NetworkLine, ACaptureAcrossAServerRestartHasOneGapAndGoesOn) {
    NetRig rig(9600);
    std::thread restart([&] {
        rig.line.waitForTraffic([](const auto& t) { return t.size() > 1 && t[t.size() - 2].text == "#01TM;D1;D2;D3;D4"; },
                                std::chrono::seconds(5));
        std::this_thread::sleep_for(std::chrono::milliseconds(300));  // the answer on its way
        rig.server.Stop();
        std::this_thread::sleep_for(std::chrono::milliseconds(1500));
        rig.server.Start();
    });
    const CliRun r = rig.On(rig.server.Rfc(), {"capture", "--count", "3", "01=" + rig.Path("m.txt")});
    restart.join();
    EXPECT_EQ(r.rc, 0) << r.err;
    const std::string reading = R"(\d{4}/[^\r\n]*\r\n)";
    EXPECT_TRUE(std::regex_match(testkit::ReadFile(rig.Path("m.txt")),
                                 std::regex(reading + "Gap: connection lost [0-9/, :]+ - back [0-9/, :]+\r\n" +
                                            reading + reading)))
        << testkit::ReadFile(rig.Path("m.txt"));
}

}  // namespace
}  // namespace tessary::clitest
