#include "app/IniFile.h"
#include "app/Options.h"
#include "app/Session.h"
#include "testkit/RecordingOperator.h"
#include "testkit/ScriptedPort.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>

using namespace tessary;
namespace fs = std::filesystem;

namespace {

struct SessionFixture : ::testing::Test {
    fs::path dir = fs::temp_directory_path() / ("tessary_session_" + std::to_string(::getpid()));
    testkit::ScriptedPort* port = nullptr;
    link::PortMap ports;
    std::unique_ptr<link::DeviceLink> dl;
    testkit::RecordingOperator op;

    void SetUp() override {
        fs::create_directories(dir);
        auto p = std::make_unique<testkit::ScriptedPort>();
        port = p.get();
        dl = std::make_unique<link::DeviceLink>(std::move(p), [this](const std::string& n) { return ports.Resolve(n); });
    }
    void TearDown() override { fs::remove_all(dir); }
    std::string Ini(const std::string& text) {
        const auto p = (dir / "t.ini").string();
        std::ofstream(p, std::ios::binary) << text;
        return p;
    }
    std::string Read(const std::string& p) {
        std::ifstream in(p, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }
    app::Options WithIni(const std::string& path) {
        app::Options o;
        o.iniPath = path;
        return o;
    }
};

TEST_F(SessionFixture, StartUpReadsTheIniAndOpensTheRememberedPort) {
    ports.SetSystemDevices({"/dev/ttyS0", "/dev/ttyS1"});
    const auto path = Ini("[Communication]\nBaudRate=19200\nComPort=COM2\nAddr1=#03\nAddr3=#07\n"
                          "[Ports]\nCOM2=/dev/ttyUSB4\n");
    app::Session s(*dl, ports, op, WithIni(path));
    s.FormCreate();
    EXPECT_EQ(s.State().AddressTable[0], "");
    EXPECT_EQ(s.State().AddressTable[99], "NoConnect");
    s.FormShow();
    EXPECT_EQ(s.State().IniFilePath, path);
    EXPECT_EQ(dl->LinkBaudRate(), 19200u);
    EXPECT_EQ(port->opens, std::vector<std::string>{"/dev/ttyUSB4@19200"}) << "INI [Ports] beats the system list";
    EXPECT_EQ(s.State().TransducerAddress, (std::array<std::string, 4>{"#03", "", "#07", ""}));
    EXPECT_TRUE(op.messages.empty());
}

TEST_F(SessionFixture, ShutdownWritesTheIniOnlyAfterAConnection) {
    const std::string text = "; mine\n[Communication]\nComPort=COM9x\nBaudRate=1234\nAddr1=#01\n";
    const auto path = Ini(text);
    {
        app::Session s(*dl, ports, op, WithIni(path));
        s.FormCreate();
        s.FormShow();
        s.FormClose();
        EXPECT_EQ(Read(path), text) << "no connection: untouched";
    }
    app::Session s(*dl, ports, op, WithIni(path));
    s.FormCreate();
    s.FormShow();
    EXPECT_EQ(dl->LinkPortName(), "COM9x") << "loaded unchanged";
    s.State().ConnectionFound = true;
    s.State().TransducerAddress = {"#01", "#02", "", ""};
    s.FormClose();
    // Unknown port and rate are never written back; addresses always are.
    EXPECT_EQ(Read(path), "; mine\n[Communication]\nComPort=COM9x\nBaudRate=1234\nAddr1=#01\nAddr2=#02\nAddr3=\nAddr4=\n");
    EXPECT_FALSE(dl->IsOpen());
    EXPECT_TRUE(s.State().PanelPollStopped && s.State().SinglePollStopped);

    dl->SetLinkPortName("COM2");
    dl->SetLinkBaudRate(115200);
    ASSERT_TRUE(s.WriteIniFile());
    const auto ini = app::IniFile::Load(path);
    EXPECT_EQ(ini.ReadString("Communication", "ComPort", ""), "COM2");
    EXPECT_EQ(ini.ReadInteger("Communication", "BaudRate", 0), 115200);
}

TEST_F(SessionFixture, UnwritableIniIsReportedAndTheCloseStillCompletes) {
    app::Session s(*dl, ports, op, WithIni("/proc/no/such/Tessary.ini"));
    s.FormCreate();
    s.FormShow();
    ASSERT_TRUE(dl->OpenAllSerialFile((dir / "all.txt").string()));
    s.State().ConnectionFound = true;
    s.FormClose();
    ASSERT_EQ(op.messages.size(), 1u);
    EXPECT_NE(op.messages[0].find("Could not write the INI file /proc/no/such/Tessary.ini"), std::string::npos);
    EXPECT_FALSE(dl->AllSerialFileOpen());
    s.FormClose();  // a second close (signal after the window closed) does nothing
    EXPECT_EQ(op.messages.size(), 1u);
}

TEST_F(SessionFixture, ConsoleSendsTheTypedTextWithCrLf) {
    ports.SetFromCommandLine("COM1", "/dev/pts/5");
    app::Session s(*dl, ports, op, WithIni(Ini("")));
    s.FormCreate();
    s.FormShow();
    port->Answer("#01ID\r\n", "12345");
    EXPECT_EQ(s.ConsoleCommand("#01ID"), "12345");
    EXPECT_EQ(s.State().CommandText, "#01ID\r\n");
    EXPECT_EQ(s.ConsoleCommand("#00ID"), "#00");
    EXPECT_EQ(s.ConsoleCommand(""), "NoConnect");
    EXPECT_EQ(port->writes.back(), "\r\n");
}

TEST(CommandLine, OptionsAndTheIniPath) {
    auto o = app::ParseCommandLine({"--port", "COM1=/dev/pts/3", "my.ini", "--port=COM4=/dev/ttyUSB1", "extra"});
    EXPECT_TRUE(o.error.empty()) << o.error;
    EXPECT_EQ(o.iniPath, "my.ini");
    ASSERT_EQ(o.ports.size(), 2u);
    EXPECT_EQ(o.ports[1], (std::pair<std::string, std::string>{"COM4", "/dev/ttyUSB1"}));
    EXPECT_FALSE(app::ParseCommandLine({"--port", "COM5=/dev/x"}).error.empty());
    EXPECT_FALSE(app::ParseCommandLine({"--port"}).error.empty());
    EXPECT_FALSE(app::ParseCommandLine({"--bogus"}).error.empty());
    EXPECT_TRUE(app::ParseCommandLine({"--simulate"}).simulate);
}

TEST(PortMapping, PrecedenceAndSystemOrder) {
    link::PortMap m;
    m.SetSystemDevices({"/dev/ttyUSB0", "/dev/ttyS0"});
    m.SetFromIni("COM2", "/dev/ttyACM0");
    m.SetFromCommandLine("COM1", "/dev/pts/7");
    EXPECT_EQ(m.Resolve("COM1"), "/dev/pts/7");
    EXPECT_EQ(m.Resolve("COM2"), "/dev/ttyACM0");
    EXPECT_EQ(m.Resolve("COM3"), "");
    EXPECT_EQ(m.Describe("COM2"), "COM2 = /dev/ttyACM0 (INI file)");

    const fs::path dev = fs::temp_directory_path() / ("tessary_dev_" + std::to_string(::getpid()));
    fs::create_directories(dev);
    for (const char* n : {"ttyS1", "ttyUSB10", "ttyUSB2", "ttyACM0", "ttyS7", "null"}) std::ofstream(dev / n);
    const std::string d = dev.string();
    EXPECT_EQ(link::ListSerialDevices(d),
              (std::vector<std::string>{d + "/ttyACM0", d + "/ttyUSB2", d + "/ttyUSB10", d + "/ttyS1"}));
    fs::remove_all(dev);
}

TEST(VersionDate, TextUpToTheFirstBlank) {
    EXPECT_EQ(app::VersionDateText("12/05/26 23:15:02"), "12/05/26 ");
    EXPECT_EQ(app::VersionDateText("12/05/26"), "") << "midnight gives the date alone, hence nothing";
}

}  // namespace
