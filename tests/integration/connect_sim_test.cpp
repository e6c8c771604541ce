// Finding boxes on simulated lines: the search, the port left open at the rate
// found, the INI file written at shutdown.

#include "SimSession.h"
#include "app/Connect.h"
#include "app/IniFile.h"
#include "app/private/AppState.h"
#include "testkit/SessionRig.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

using namespace tessary;
namespace fs = std::filesystem;

namespace {

bravik::sim::BoxConfig Box(int address, unsigned baud) {
    bravik::sim::BoxConfig b;
    b.address = address;
    b.baud = baud;
    return b;
}

TEST(ConnectOnSimulatedLines, SearchFindsABoxAtAnotherRateOnAnotherPortAndTheIniKeepsIt) {
    const fs::path dir = fs::temp_directory_path() / ("tessary_connect_sim_" + std::to_string(::getpid()));
    fs::create_directories(dir);
    const std::string ini = (dir / "Tessary.ini").string();
    std::ofstream(ini, std::ios::binary) << "[Communication]\r\nComPort=COM1\r\nBaudRate=9600\r\n";

    bravik::sim::LineConfig cfg;
    cfg.name = "COM2";
    cfg.boxes = {Box(1, 1200), Box(3, 1200)};
    bravik::sim::Line line(cfg);
    line.start();

    link::PortMap ports;
    ports.SetFromCommandLine("COM1", (dir / "no-such-device").string());
    ports.SetFromCommandLine("COM2", line.slavePath());
    ports.SetFromCommandLine("COM3", (dir / "no-such-device").string());
    ports.SetFromCommandLine("COM4", (dir / "no-such-device").string());
    app::Options options;
    options.iniPath = ini;
    testkit::RecordingOperator op;
    testkit::RecordingSearchView view;
    view.stopAt = 1;
    {
        link::DeviceLink dl(std::make_unique<link::PosixPort>(), [&](const std::string& n) { return ports.Resolve(n); });
        app::Session s(dl, ports, op, options);
        s.Reset();
        s.Open();
        s.State().TryIniFirst = false;
        app::Connector(s, view).SearchForBox();

        EXPECT_EQ(view.asked, std::vector<std::string>{"1200 BR COM2 #01"});
        EXPECT_EQ(s.State().CurrentAddress, "#01");
        EXPECT_TRUE(dl.IsOpen());
        EXPECT_EQ(dl.LinkBaudRate(), 1200u);
        const auto heard = test::Heard(line, true);
        ASSERT_GE(heard.size(), 2u);
        // 9600 is the start rate: never probed on COM2; 1200 comes first and answers at #01.
        EXPECT_EQ(heard[0], "#01VER@1200");
        EXPECT_EQ(heard[1], "#01ID@1200");
        s.Close();
    }
    const auto written = app::IniFile::Load(ini);
    EXPECT_EQ(written.ReadString("Communication", "ComPort", ""), "COM2");
    EXPECT_EQ(written.ReadInteger("Communication", "BaudRate", 0), 1200);
    EXPECT_EQ(written.ReadString("Communication", "Addr1", ""), "#01");
    fs::remove_all(dir);
}

}  // namespace

// The quick scan finds what the exact one finds: slow boxes whose answers land
// in later exchanges, a garbled box (filed as none), a slow rate.
TEST(ConnectOnSimulatedLines, TheQuickScanMissesNoBoxTheExactScanFinds) {
    struct Case {
        unsigned baud;
        std::vector<bravik::sim::BoxConfig> boxes;
        std::vector<int> found;
    };
    auto slow = [](int address, int lateMs) {
        auto b = Box(address, 9600);
        b.faults.lateMs = lateMs;
        return b;
    };
    auto garbled = Box(40, 9600);
    garbled.faults.garble = true;
    const std::vector<Case> cases = {
        {9600, {Box(1, 9600), slow(7, 150), slow(8, 170), garbled}, {1, 7, 8}},
        {1200, {Box(3, 1200), Box(60, 1200)}, {3, 60}},
    };
    for (const auto& c : cases) {
        bravik::sim::LineConfig cfg;
        cfg.boxes = c.boxes;
        test::SimSession rig(cfg, c.baud);
        ASSERT_TRUE(rig.opened);
        rig.st().TryIniFirst = true;
        rig.st().TransducerAddress = {"", "", "", ""};
        testkit::RecordingSearchView view;
        app::Connector quick(rig.s, view);
        quick.SetScanKind(app::ScanKind::Quick);
        quick.ScanAddresses();
        std::vector<int> found;
        for (int a = 1; a <= 99; ++a)
            if (rig.st().AddressTable[a] != app::kNoConnect) found.push_back(a);
        EXPECT_EQ(found, c.found) << c.baud << " baud";
        EXPECT_EQ(rig.st().CurrentAddress, app::AddressText(c.found[0]));
    }
}
