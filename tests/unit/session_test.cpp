#include "app/IniFile.h"
#include "app/Options.h"
#include "app/ShownText.h"
#include "app/private/AppState.h"
#include "testkit/SessionRig.h"

#include <gtest/gtest.h>

using namespace tessary;
namespace fs = std::filesystem;

namespace {

struct SessionFixture : ::testing::Test, testkit::SessionRig {};

TEST_F(SessionFixture, StartUpReadsTheIniAndOpensTheRememberedPort) {
    ports.SetSystemDevices({"/dev/ttyS0", "/dev/ttyS1"});
    auto& st = Start("[Communication]\nBaudRate=19200\nComPort=COM2\nAddr1=#03\nAddr3=#07\n"
                     "[Ports]\nCOM2=/dev/ttyUSB4\n")
                   .State();
    EXPECT_EQ(st.AddressTable[0] + "|" + st.AddressTable[99], "|NoConnect");
    EXPECT_EQ(port->opens, std::vector<std::string>{"/dev/ttyUSB4@19200"}) << "INI [Ports] beats the system list";
    EXPECT_EQ(st.TransducerAddress, (std::array<std::string, 4>{"#03", "", "#07", ""}));
    EXPECT_TRUE(op.messages.empty());
}

TEST_F(SessionFixture, ShutdownWritesTheIniOnlyAfterAConnection) {
    const std::string text = "; mine\n[Communication]\nComPort=COM9x\nBaudRate=1234\nAddr1=#01\n";
    Start(text).Close();
    EXPECT_EQ(testkit::ReadFile(IniPath()), text) << "no connection: untouched";

    auto& session = Start(text);
    EXPECT_EQ(dl.LinkPortName(), "COM9x") << "loaded unchanged";
    session.State().ConnectionFound = true;
    session.State().TransducerAddress = {"#01", "#02", "", ""};
    session.Close();
    // Unknown port and rate are never written back; addresses always are.
    EXPECT_EQ(testkit::ReadFile(IniPath()),
              "; mine\n[Communication]\nComPort=COM9x\nBaudRate=1234\nAddr1=#01\nAddr2=#02\nAddr3=\nAddr4=\n");
    EXPECT_TRUE(!dl.IsOpen() && session.State().PanelPollStopped && session.State().SinglePollStopped);

    dl.SetLinkPortName("COM2");
    dl.SetLinkBaudRate(115200);
    ASSERT_TRUE(session.WriteIniFile());
    const auto ini = app::IniFile::Load(IniPath());
    EXPECT_EQ(ini.ReadString("Communication", "ComPort", "") + " " + ini.ReadString("Communication", "BaudRate", ""), "COM2 115200");
}

TEST_F(SessionFixture, UnwritableIniIsReportedAndTheCloseStillCompletes) {
    auto& session = Start("", "/proc/no/such/Tessary.ini");
    session.State().ConnectionFound = true;
    session.Close();
    session.Close();  // a second close (a signal after the window closed) does nothing
    ASSERT_EQ(op.messages.size(), 1u);
    EXPECT_EQ(op.messages[0].rfind("Could not write the INI file /proc/no/such/Tessary.ini: ", 0), 0u);
}

TEST_F(SessionFixture, IniTheProgramCannotUseGivesTheDefaultsANoticeAndStaysAsItIs) {
    auto& session = Start("", dir.string());
    EXPECT_EQ(op.messages, std::vector<std::string>{"The INI file " + dir.string() +
                                                    " was not read (it is a folder). The defaults are used, and the "
                                                    "file will be left as it is."});
    EXPECT_EQ(dl.LinkBaudRate(), 9600u);
    session.State().ConnectionFound = true;
    session.Close();
    EXPECT_EQ(op.messages.size(), 1u) << "told once";
    EXPECT_TRUE(fs::is_directory(dir));

    // A rate of 0 or below falls back; a huge port name is kept, but shown cut.
    const std::string huge(1'000'000, 'C');
    op.messages.clear();
    Start("[Communication]\nBaudRate=-9600\nComPort=" + huge + "\nAddr1=#01\n");
    EXPECT_EQ(dl.LinkBaudRate(), 9600u);
    EXPECT_EQ(dl.LinkPortName(), huge);
    testkit::RecordingSearchView view;
    app::Connector(*s, view).ConnectFromIni();
    EXPECT_EQ(op.messages.at(0), "Could not to connect with parameters found in INI file #01, 9600, " +
                                  huge.substr(0, app::kShownTextMax) + "...");
}

TEST(CommandLine, OptionsAndTheIniPath) {
    auto o = app::ParseCommandLine({"--port", "COM1=/dev/pts/3", "my.ini", "--port=COM4=/dev/ttyUSB1", "extra"});
    EXPECT_TRUE(o.error.empty()) << o.error;
    EXPECT_EQ(o.iniPath, "my.ini");
    ASSERT_EQ(o.ports.size(), 2u);
    EXPECT_EQ(o.ports[1], (std::pair<std::string, std::string>{"COM4", "/dev/ttyUSB1"}));
    for (auto bad : {std::vector<std::string>{"--port", "COM5=/dev/x"}, {"--port"}, {"--bogus"}, {"--chart", "--simulate"}})
        EXPECT_FALSE(app::ParseCommandLine(bad).error.empty());
    o = app::ParseCommandLine({"--chart", "a.txt", "b.txt", "--simulate"});
    EXPECT_EQ(o.chartFiles, (std::vector<std::string>{"a.txt", "b.txt"}));
    EXPECT_TRUE(o.simulate && o.iniPath.empty());
}

TEST(PortMapping, PrecedenceAndSystemOrder) {
    link::PortMap m;
    m.SetSystemDevices({"/dev/ttyUSB0", "/dev/ttyS0"});
    m.SetFromIni("COM2", "/dev/ttyACM0");
    m.SetFromCommandLine("COM1", "/dev/pts/7");
    EXPECT_EQ(m.Resolve("COM1") + " " + m.Resolve("COM2") + " " + m.Resolve("COM3"), "/dev/pts/7 /dev/ttyACM0 ");
    EXPECT_EQ(m.Describe("COM2"), "COM2 = /dev/ttyACM0 (INI file)");

    const fs::path dev = fs::temp_directory_path() / ("tessary_dev_" + std::to_string(::getpid()));
    fs::create_directories(dev);
    const std::string huge = "ttyUSB" + std::string(25, '9');  // past any integer type
    for (std::string n : {"ttyS1", "ttyUSB10", "ttyUSB2", "ttyACM0", "ttyS7", "null", "ttyUSB010"}) std::ofstream(dev / n);
    std::ofstream(dev / huge);
    const std::string d = dev.string();
    EXPECT_EQ(link::ListSerialDevices(d), (std::vector<std::string>{d + "/ttyACM0", d + "/ttyUSB2", d + "/ttyUSB10",
                                                                    d + "/ttyUSB010", d + "/" + huge, d + "/ttyS1"}));
    fs::remove_all(dev);
    // Midnight gives the date alone, hence an empty version date.
    EXPECT_EQ(app::VersionDateText("12/05/26 23:15:02") + "|" + app::VersionDateText("12/05/26"), "12/05/26 |");
}

}  // namespace
