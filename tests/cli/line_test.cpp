// ports, send, scan and info on the simulated demo line: the traffic, and
// what the scripts read.

#include "app/Connect.h"
#include "tests/cli/CliRig.h"

#include <gtest/gtest.h>

namespace tessary::clitest {
namespace {

namespace fs = std::filesystem;

TEST(CliOnLine, PortsNameEachMappingItsSourceAndTheUsbAdapter) {
    CliRig rig;
    // Two adapters in the fake /dev; the second one's USB device in the fake sysfs.
    std::ofstream(rig.Path("dev/ttyUSB0"));
    std::ofstream(rig.Path("dev/ttyUSB1"));
    fs::create_directories(rig.dir / "usb/1-1/1-1:1.0/ttyUSB1");
    std::ofstream(rig.Path("usb/1-1/manufacturer")) << "Acme\n";
    std::ofstream(rig.Path("usb/1-1/product")) << "USB Serial\n";
    fs::create_directories(rig.dir / "sys/ttyUSB1");
    fs::create_directory_symlink(rig.dir / "usb/1-1/1-1:1.0/ttyUSB1", rig.dir / "sys/ttyUSB1/device");
    std::ofstream(rig.Path("ports.ini")) << "[Ports]\r\nCOM3=/dev/ttyX\r\n[Communication]\r\nComPort=COM2\r\n";

    const CliRun r = rig.Run({"ports", "--json", "--port", "COM1=/dev/ttyZ", "--ini", rig.Path("ports.ini")}, false);
    EXPECT_EQ(r.rc, 0) << r.err;
    EXPECT_EQ(r.out,
              "{\"inUse\":\"COM2\",\"baud\":9600,\"ports\":["
              "{\"name\":\"COM1\",\"device\":\"/dev/ttyZ\",\"source\":\"command line\",\"adapter\":\"\"},"
              "{\"name\":\"COM2\",\"device\":\"" + rig.Path("dev/ttyUSB1") +
                  "\",\"source\":\"system\",\"adapter\":\"Acme USB Serial\"},"
                  "{\"name\":\"COM3\",\"device\":\"/dev/ttyX\",\"source\":\"INI file\",\"adapter\":\"\"},"
                  "{\"name\":\"COM4\",\"device\":\"\",\"source\":\"none\",\"adapter\":\"\"}]}\n");
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
                         "\",\"baud\":9600,\"boxes\":["
                         "{\"address\":\"#01\",\"id\":\"21040117\"},{\"address\":\"#02\",\"id\":\"21040217\"},"
                         "{\"address\":\"#05\",\"id\":\"19980505R\"}]}\n");
    // The probe answers at #01 on the port in use; then every address is asked.
    Strings expected{"#01VER@9600"};
    for (int a = 1; a <= 99; ++a) expected.push_back(app::AddressText(a) + "ID@9600");
    EXPECT_EQ(rig.Heard(), expected);
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
