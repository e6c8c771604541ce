// ports, send, scan and info on the simulated demo line: the traffic, and
// what the scripts read.

#include "app/Connect.h"
#include "link/LinuxPort.h"
#include "CliRig.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <regex>
#include <thread>

namespace tessary::clitest {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

TEST(CliOnLine, PortsNameEachMappingItsSourceAndTheUsbAdapter) {
    CliRig rig;
    // Two adapters in the fake /dev; the second one's USB device in the fake sysfs.
    std::ofstream(rig.Path("dev/ttyUSB0"));
    std::ofstream(rig.Path("dev/ttyUSB1"));
    fs::create_directories(rig.dir / "usb/1-1/1-1:1.0/ttyUSB1");
    for (const auto& [leaf, text] : {std::pair{"manufacturer", "Acme"}, {"product", "USB Serial"}, {"idVendor", "0403"},
                                     {"idProduct", "6001"}, {"serial", "A1B2C3"}})
        std::ofstream(rig.Path(std::string("usb/1-1/") + leaf)) << text << "\n";
    std::ofstream(rig.Path("usb/1-1/1-1:1.0/ttyUSB1/latency_timer")) << "16\n";
    fs::create_directories(rig.dir / "sys/ttyUSB1");
    fs::create_directory_symlink(rig.dir / "usb/1-1/1-1:1.0/ttyUSB1", rig.dir / "sys/ttyUSB1/device");
    // Its stable name, as given in [Ports] for COM3.
    fs::create_directories(rig.dir / "by-id");
    fs::create_symlink(rig.Path("dev/ttyUSB1"), rig.dir / "by-id/usb-Acme_USB_Serial_A1B2C3-if00-port0");
    const std::string byId = rig.Path("by-id/usb-Acme_USB_Serial_A1B2C3-if00-port0");
    std::ofstream(rig.Path("ports.ini")) << "[Ports]\r\nCOM3=" << byId << "\r\n[Communication]\r\nComPort=COM2\r\n";

    CliRun r = rig.Run({"ports", "--json", "--port", "COM1=/dev/ttyZ", "--ini", rig.Path("ports.ini")}, false);
    EXPECT_EQ(r.rc, 0) << r.err;
    const std::string usb1 = "\"node\":\"" + rig.Path("dev/ttyUSB1") +
                             "\",\"byId\":\"usb-Acme_USB_Serial_A1B2C3-if00-port0\",\"byPath\":\"\",\"usb\":\"0403:6001\","
                             "\"serial\":\"A1B2C3\"";
    for (const std::string& item : {"{\"name\":\"COM2\",\"device\":\"" + rig.Path("dev/ttyUSB1") + "\",",
                                    "{\"name\":\"COM3\",\"device\":\"" + byId + "\","})
        EXPECT_NE(r.out.find(item + usb1 + ",\"source\":\"" + (item.find("COM2") != std::string::npos ? "system" : "INI file") +
                             "\",\"adapter\":\"Acme USB Serial\"}"),
                  std::string::npos)
            << r.out;
    r = rig.Run({"ports", "--ini", rig.Path("ports.ini")}, false);
    EXPECT_NE(r.out.find("COM3 = " + rig.Path("dev/ttyUSB1") + " (usb-Acme_USB_Serial_A1B2C3-if00-port0); from the INI file as " +
                         byId + ", adapter: Acme USB Serial [0403:6001 A1B2C3]\n  The adapter's latency timer is 16 ms: up to 16 ms "
                         "more on every exchange. To lower it (needs root): echo 1 | sudo tee "
                         "/sys/bus/usb-serial/devices/ttyUSB1/latency_timer\n"),
              std::string::npos)
        << r.out;
}

TEST(CliOnLine, SendIsOneConsoleExchangeAndNoAnswerSaysWhy) {
    CliRig rig;
    CliRun r = rig.Run({"send", "#01ID"});
    EXPECT_EQ(r.rc, 0) << r.err;
    EXPECT_EQ(r.out, "21040117\n");
    EXPECT_EQ(rig.Heard(), Strings{"#01ID@9600"});

    r = rig.Run({"send", "--address", "7", "ID"});
    EXPECT_EQ(r.rc, 1);
    EXPECT_EQ(r.out, "NoConnect\n");
    EXPECT_EQ(r.err, "tessary-cli: no answer from #07 (no byte came before the time-out)\n");
    EXPECT_EQ(rig.Heard(), Strings{"#07ID@9600"});

    r = rig.Run({"send", "--device", rig.Path("dev/none"), "#01ID"});
    EXPECT_EQ(r.rc, 1);
    EXPECT_NE(r.err.find("cannot open COM1 (" + rig.Path("dev/none") + "): "), std::string::npos) << r.err;

    link::PosixPort holder;  // another program on the port: a file error naming it
    ASSERT_TRUE(holder.open(rig.line.slavePath(), 9600).ok());
    r = rig.Run({"send", "#01ID"});
    EXPECT_EQ(r.rc, 3);
    EXPECT_NE(r.err.find("COM1 (" + rig.line.slavePath() + ") is in use by another program (pid " +
                         std::to_string(::getpid()) + ", "),
              std::string::npos)
        << r.err;
}

TEST(CliOnLine, ScanFindsTheDemoLinesThreeBoxesWithTheSearchesTraffic) {
    CliRig rig;
    // A stop asked before the first probe: nothing goes out, the search winds down at once.
    rig.signals = 1;
    CliRun r = rig.Run({"scan"});
    EXPECT_EQ(r.rc, 1);
    EXPECT_EQ(r.err, "tessary-cli:   Sorry.  Can not find device.\ntessary-cli: stopped by a signal\n");
    EXPECT_EQ(rig.Heard(), Strings{});

    rig.signals = 0;
    r = rig.Run({"scan", "--json"});
    EXPECT_EQ(r.rc, 0) << r.err;
    EXPECT_EQ(r.out, "{\"port\":\"COM1\",\"device\":\"" + rig.line.slavePath() +
                         "\",\"baud\":9600,\"scan\":\"exact\",\"boxes\":["
                         "{\"address\":\"#01\",\"id\":\"21040117\"},{\"address\":\"#02\",\"id\":\"21040217\"},"
                         "{\"address\":\"#05\",\"id\":\"19980505R\"}],\"complete\":true}\n");
    // The probe answers at #01 on the port in use; then every address is asked.
    Strings expected{"#01VER@9600"};
    for (int a = 1; a <= 99; ++a) expected.push_back(app::AddressText(a) + "ID@9600");
    EXPECT_EQ(rig.Heard(), expected);
    // The quick scan finds the same; the boxes it heard are asked again in full.
    const std::string exact = r.out;
    r = rig.Run({"scan", "--json", "--quick"});
    EXPECT_EQ(r.rc, 0) << r.err;
    EXPECT_EQ(r.out, std::regex_replace(exact, std::regex("exact"), "quick"));
    rig.Heard();

    // The adapter pulled mid-scan: not a clean result.
    std::thread pull([&] {
        // Any line of it: a loaded machine may look only once the next command went out.
        rig.line.waitForTraffic(
            [](const auto& t) { return std::any_of(t.begin(), t.end(), [](const auto& x) { return x.text == "21040217"; }); },
            10s);
        rig.line.hangUp();
    });
    r = rig.Run({"scan", "--json"});
    pull.join();
    EXPECT_EQ(r.rc, 1);
    EXPECT_NE(r.out.find("\"complete\":false,\"notAsked\":\"#0"), std::string::npos) << r.out;
    EXPECT_NE(r.err.find(": the adapter was unplugged. #0"), std::string::npos) << r.err;
}

TEST(CliOnLine, InfoIsTheReadOut) {
    CliRig rig;
    const CliRun r = rig.Run({"info", "--json", "05"});
    EXPECT_EQ(r.rc, 0) << r.err;
    EXPECT_NE(r.out.find("\"deviceType\":\"Kestin\",\"modelNumber\":\"K-3000\",\"kestinDisplay\":\"Pressure\","
                         "\"serialNumber\":\"19980505R\""),
              std::string::npos)
        << r.out;
    Strings readOut;  // what is asked of a box of this kind
    for (const char* c : {"M", "VF", "DM", "ID", "VER", "GA", "UN1", "UN2", "UP1", "UP2", "UP3", "UP4", "UP5", "UP6",
                          "UP7", "UP8", "TM", "LI", "LR", "LS"})
        readOut.push_back(std::string("#05") + c + "@9600");
    EXPECT_EQ(rig.Heard(), readOut);
}

}  // namespace
}  // namespace tessary::clitest
