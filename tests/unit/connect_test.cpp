#include "app/Connect.h"
#include "app/IniFile.h"
#include "testkit/FakeBus.h"
#include "testkit/RecordingOperator.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

using namespace tessary;
using testkit::FakeBox;
namespace fs = std::filesystem;

namespace {

struct RecordingView final : app::SearchView {
    std::vector<std::string> probes, asked;
    int stopAt = 0;  // answer "OK - STOP Searching" at the Nth box; 0: always "Search For More"
    int lastDone = 0, lastTotal = 0;
    bool hidden = false;
    std::function<void()> onAsk;
    void ShowProbe(const std::string& port, std::uint32_t baud) override {
        probes.push_back(port + "@" + std::to_string(baud));
    }
    void ShowProbeAddress(const std::string&) override {}
    void HideProbe() override {}
    void ShowScanAddress(const std::string&) override {}
    void ShowProgress(int done, int total) override {
        EXPECT_LE(done, total);
        lastDone = done;
        lastTotal = total;
    }
    bool AskStopSearching(const std::string& baud, const std::string& port, const std::string& address) override {
        asked.push_back(baud + " " + port + " " + address);
        if (onAsk) onAsk();
        return static_cast<int>(asked.size()) == stopAt;
    }
    void HideConnectDialog() override { hidden = true; }
};

struct ConnectFixture : ::testing::Test {
    fs::path dir = fs::temp_directory_path() / ("tessary_connect_" + std::to_string(::getpid()));
    testkit::ScriptedPort* port = nullptr;
    link::PortMap ports;
    std::unique_ptr<link::DeviceLink> dl;
    testkit::RecordingOperator op;
    std::unique_ptr<app::Session> s;
    RecordingView view;

    void SetUp() override {
        fs::create_directories(dir);
        auto p = std::make_unique<testkit::ScriptedPort>();
        port = p.get();
        dl = std::make_unique<link::DeviceLink>(std::move(p), [this](const std::string& n) { return ports.Resolve(n); });
        ports.SetSystemDevices({"/dev/A", "/dev/B", "/dev/C", "/dev/D"});
    }
    void TearDown() override { fs::remove_all(dir); }
    void Start(const std::string& ini, std::vector<FakeBox> boxes) {
        const auto path = (dir / "t.ini").string();
        std::ofstream(path, std::ios::binary) << ini;
        app::Options o;
        o.iniPath = path;
        s = std::make_unique<app::Session>(*dl, ports, op, o);
        s->FormCreate();
        s->FormShow();
        testkit::AttachBus(*port, std::move(boxes));
    }
    app::Connector Conn() { return app::Connector(*s, view); }
    // Commands written since `from`, without their line ends.
    std::vector<std::string> Sent(std::size_t from = 0) {
        std::vector<std::string> out;
        for (std::size_t i = from; i < port->writes.size(); ++i)
            out.push_back(port->writes[i].substr(0, port->writes[i].size() - 2));
        return out;
    }
    // The commands of the connect itself, without the information read-out that follows it.
    std::vector<std::string> SentBeforeReadOut(std::size_t from = 0) {
        auto out = Sent(from);
        out.erase(std::find_if(out.begin(), out.end(), [](const std::string& c) { return c.size() == 4 && c[3] == 'M'; }),
                  out.end());
        return out;
    }
};

TEST_F(ConnectFixture, ProbeAsksEveryThirdAddressAndABoxAtTwoIsNeverFound) {
    Start("[Communication]\nComPort=COM1\n", {{"/dev/A", 9600, 2, "1002"}});
    s->State().TryIniFirst = false;
    Conn().SearchForBox();
    // 33 probes at the start rate, then 8 other rates on each of 4 ports.
    EXPECT_EQ(port->writes.size(), 33u * (1 + 4 * 8));
    const auto sent = Sent();
    EXPECT_EQ(sent[0], "#01VER");
    EXPECT_EQ(sent[1], "#04VER");
    EXPECT_EQ(sent[32], "#97VER");
    EXPECT_EQ(op.messages, std::vector<std::string>{"  Sorry.  Can not find device."});
    EXPECT_EQ(dl->LinkPortName(), "COM1");
    EXPECT_EQ(dl->LinkBaudRate(), 9600u);
    EXPECT_FALSE(s->State().ConnectionFound);
    EXPECT_EQ(view.lastDone, view.lastTotal);
}

TEST_F(ConnectFixture, SearchTriesPortsAndRatesInOrderButNeverTheStartRateAgain) {
    Start("[Communication]\nComPort=COM1\nBaudRate=19200\n", {{"/dev/C", 4800, 1, "2001"}, {"/dev/C", 4800, 2, "2002"}});
    s->State().TryIniFirst = false;
    Conn().SearchForBox();
    EXPECT_EQ(view.probes, (std::vector<std::string>{
                               "COM1@19200",
                               "COM1@9600", "COM1@1200", "COM1@57600", "COM1@2400", "COM1@4800", "COM1@14400",
                               "COM1@38400", "COM1@115200",
                               "COM2@9600", "COM2@1200", "COM2@57600", "COM2@2400", "COM2@4800", "COM2@14400",
                               "COM2@38400", "COM2@115200",
                               "COM3@9600", "COM3@1200", "COM3@57600", "COM3@2400", "COM3@4800"}));
    EXPECT_EQ(port->path, "/dev/C");
    EXPECT_EQ(port->baud, 4800u) << "the port stays open at the rate found";
    EXPECT_EQ(s->State().ComPortValue, "COM3");
    EXPECT_EQ(s->State().BaudRateValue, "4800");
    // The box at 2 is found by the scan once the probe got through at 1.
    EXPECT_EQ(view.asked, (std::vector<std::string>{"4800 BR COM3 #01", "4800 BR COM3 #02"}));
    EXPECT_EQ(s->State().CurrentAddress, "#01");
    EXPECT_EQ(s->State().TransducerCaption[1], "#02    2002");
    EXPECT_EQ(s->State().TransducerCaption[2], "NoConnect");
    EXPECT_EQ(s->State().CapturePath[0], s->State().DefaultFolder + "2001.txt");
    EXPECT_EQ(s->State().CapturePath[2], s->State().DefaultFolder + "ct.txt");
}

TEST_F(ConnectFixture, ScanStopsAfterTheFourthBoxOrWhenTheOperatorSaysStop) {
    std::vector<FakeBox> five;
    for (int a : {3, 10, 11, 40, 41}) five.push_back({"/dev/A", 9600, a, "ID" + std::to_string(a)});
    Start("", five);
    s->State().TryIniFirst = false;
    const std::size_t before = port->writes.size();
    Conn().ScanAddresses();
    const auto sent = SentBeforeReadOut(before);
    EXPECT_EQ(sent.back(), "#40ID") << "the fifth box is not scanned";
    EXPECT_EQ(sent.size(), 40u);
    EXPECT_EQ(s->State().AddressTable[41], "NoConnect");
    EXPECT_EQ(s->State().TransducerAddress, (std::array<std::string, 4>{"#03", "#10", "#11", "#40"}));
    EXPECT_EQ(dl->ResponseTimeoutMs(), 1000u) << "restored";

    view.asked.clear();
    view.stopAt = 1;
    for (int a = 1; a <= 99; ++a) s->State().AddressTable[a] = "NoConnect";
    s->State().TransducerAddress = {"", "", "#77", ""};
    Conn().ScanAddresses();
    EXPECT_TRUE(view.hidden);
    EXPECT_EQ(s->State().AddressTable[10], "NoConnect");
    EXPECT_EQ(s->State().TransducerCaption, (std::array<std::string, 4>{"#03    ID3", "NoConnect", "NoConnect", "NoConnect"}));
    EXPECT_EQ(s->State().TransducerAddress[2], "#77") << "empty slots keep their address";
}

TEST_F(ConnectFixture, AbortIsSeenAtTheNextProbeAndTheNextConnectStartsAfresh) {
    Start("", {});
    s->State().TryIniFirst = false;
    int pumps = 0;
    op.onPump = [&] {
        if (++pumps == 5) dl->SearchAborted = true;  // the Abort button, clicked mid-probe
    };
    auto c = Conn();
    c.SearchForBox();
    EXPECT_EQ(port->writes.size(), 4u) << "no further probe, no further port";
    EXPECT_EQ(op.messages, std::vector<std::string>{"  Sorry.  Can not find device."});

    op.onPump = nullptr;
    c.BeginNewConnect();
    EXPECT_FALSE(dl->SearchAborted.load());
    EXPECT_TRUE(dl->OpenComPort());
}

TEST_F(ConnectFixture, AbortDuringTheScanEndsIt) {
    Start("", {{"/dev/A", 9600, 1, "A"}, {"/dev/A", 9600, 50, "B"}});
    s->State().TryIniFirst = false;
    view.onAsk = [&] { dl->SearchAborted = true; };
    Conn().SearchForBox();
    EXPECT_EQ(Sent().back(), "#01ID");
    EXPECT_EQ(s->State().AddressTable[50], "NoConnect");
}

TEST_F(ConnectFixture, IniAddressesThatAnswerFailOrAreMissing) {
    Start("[Communication]\nComPort=COM2\nBaudRate=2400\nAddr1=#05\nAddr2=#02\nAddr3=#00\nAddr4=#1x\n",
          {{"/dev/B", 2400, 2, "4242"}});
    EXPECT_TRUE(Conn().ConnectFromIni());
    EXPECT_EQ(SentBeforeReadOut(), (std::vector<std::string>{"#05ID", "#02ID", "#02ID"})) << "#00 and #1x are never sent";
    EXPECT_EQ(op.messages, (std::vector<std::string>{
                               "Could not to connect with parameters found in INI file #05, 2400, COM2",
                               "Could not to connect with parameters found in INI file #00, 2400, COM2",
                               "Could not to connect with parameters found in INI file #1x, 2400, COM2"}));
    const auto& st = s->State();
    EXPECT_TRUE(st.IniConnectOk);
    EXPECT_FALSE(st.TryIniFirst);
    EXPECT_EQ(st.CurrentAddress, "#02");
    EXPECT_EQ(st.TransducerCaption[0], "#02    4242");
    EXPECT_EQ(st.TransducerAddress, (std::array<std::string, 4>{"#02", "#02", "", ""}));
    EXPECT_TRUE(view.asked.empty()) << "no GoodConnectDlg on the INI road";

    s->FormClose();
    const auto ini = app::IniFile::Load(st.IniFilePath);
    EXPECT_EQ(ini.ReadString("Communication", "Addr1", "?"), "#02");
    EXPECT_EQ(ini.ReadString("Communication", "Addr2", "?"), "#02");
    EXPECT_EQ(ini.ReadString("Communication", "Addr3", "?"), "");
}

TEST_F(ConnectFixture, IniWithoutAddressesAsksNothing) {
    Start("[Communication]\nComPort=COM1\n", {{"/dev/A", 9600, 1, "1"}});
    EXPECT_FALSE(Conn().ConnectFromIni());
    EXPECT_TRUE(port->writes.empty());
    EXPECT_EQ(op.messages, std::vector<std::string>{"Can't connect using INI paramaters"});
}

}  // namespace
