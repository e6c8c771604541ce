#include "app/Connect.h"
#include "app/IniFile.h"
#include "app/private/AppState.h"
#include "testkit/FakeBus.h"
#include "testkit/SessionRig.h"

#include <gtest/gtest.h>

using namespace tessary;
using testkit::FakeBox;
using Strings = std::vector<std::string>;

namespace {

struct ConnectFixture : ::testing::Test, testkit::SessionRig {
    testkit::RecordingSearchView view;
    app::AppState* st = nullptr;

    void Start(const std::string& ini, std::vector<FakeBox> boxes, bool askPerBox = true) {
        ports.SetSystemDevices({"/dev/A", "/dev/B", "/dev/C", "/dev/D"});
        st = &SessionRig::Start(ini).State();
        st->TryIniFirst = !askPerBox;
        testkit::AttachBus(*port, std::move(boxes));
    }
    app::Connector Conn() { return app::Connector(*s, view); }
};

TEST_F(ConnectFixture, ProbeAsksEveryThirdAddressAndABoxAtTwoIsNeverFound) {
    Start("[Communication]\nComPort=COM1\n", {{"/dev/A", 9600, 2, "1002"}});
    Conn().SearchForBox();
    // 33 probes at the start rate, then 8 other rates on each of 4 ports.
    const auto sent = Sent();
    ASSERT_EQ(sent.size(), 33u * (1 + 4 * 8));
    EXPECT_EQ((Strings{sent[0], sent[1], sent[32]}), (Strings{"#01VER", "#04VER", "#97VER"}));
    EXPECT_EQ(op.messages, Strings{"  Sorry.  Can not find device."});
    EXPECT_EQ(dl.LinkPortName() + "@" + std::to_string(dl.LinkBaudRate()), "COM1@9600");
    EXPECT_TRUE(!st->ConnectionFound && view.lastDone == view.lastTotal);
}

TEST_F(ConnectFixture, SearchTriesPortsAndRatesInOrderButNeverTheStartRateAgain) {
    Start("[Communication]\nComPort=COM1\nBaudRate=19200\n", {{"/dev/C", 4800, 1, "2001"}, {"/dev/C", 4800, 2, "2002"}});
    Conn().SearchForBox();
    Strings expected{"COM1@19200"};
    for (const char* p : {"COM1", "COM2", "COM3"})
        for (const char* r : {"9600", "1200", "57600", "2400", "4800", "14400", "38400", "115200"}) {
            expected.push_back(std::string(p) + "@" + r);
            if (expected.back() == "COM3@4800") break;
        }
    EXPECT_EQ(view.probes, expected);
    EXPECT_EQ(port->path + "@" + std::to_string(port->baud), "/dev/C@4800") << "left open at the rate found";
    EXPECT_EQ(st->ComPortValue + " " + st->BaudRateValue, "COM3 4800");
    // The box at 2 is found by the scan once the probe got through at 1.
    EXPECT_EQ(view.asked, (Strings{"4800 BR COM3 #01", "4800 BR COM3 #02"}));
    EXPECT_EQ(st->CurrentAddress + "|" + st->TransducerCaption[1] + "|" + st->TransducerCaption[2], "#01|#02    2002|NoConnect");
    EXPECT_EQ(st->CapturePath[0] + "|" + st->CapturePath[2], st->DefaultFolder + "2001.txt|" + st->DefaultFolder + "ct.txt");
}

TEST_F(ConnectFixture, ScanStopsAfterTheFourthBoxOrWhenTheOperatorSaysStop) {
    std::vector<FakeBox> five;
    for (int a : {3, 10, 11, 40, 41}) five.push_back({"/dev/A", 9600, a, "ID" + std::to_string(a)});
    Start("", five);
    Conn().ScanAddresses();
    const auto sent = Sent();
    EXPECT_EQ(std::to_string(sent.size()) + " " + sent.back(), "40 #40ID") << "the fifth box is not scanned";
    EXPECT_EQ(st->TransducerAddress, (std::array<std::string, 4>{"#03", "#10", "#11", "#40"}));
    EXPECT_EQ(dl.ResponseTimeoutMs(), 1000u) << "the scan gives its time-out to its exchanges, not to the link";

    view.stopAt = 1;
    view.asked.clear();
    for (int a = 1; a <= 99; ++a) st->AddressTable[a] = "NoConnect";
    st->TransducerAddress = {"", "", "#77", ""};
    Conn().ScanAddresses();
    EXPECT_TRUE(view.hidden);
    EXPECT_EQ(st->TransducerCaption, (std::array<std::string, 4>{"#03    ID3", "NoConnect", "NoConnect", "NoConnect"}));
    EXPECT_EQ(st->TransducerAddress[2], "#77") << "empty slots keep their address";
}

TEST_F(ConnectFixture, NoiseCountsAsNoAnswerInProbeAndScan) {
    Start("[Communication]\nComPort=COM1\n", {{"/dev/A", 1200, 1, "1001"}}, false);
    auto bus = port->onWrite;
    port->onWrite = [this, bus](const std::string& cmd) {
        // At 9600 the box is heard at the wrong rate; at 1200 a box at #50 answers noise.
        if (port->baud == 9600 || cmd == "#50ID\r\n") port->Arrive("\xF8\x80\x07\r\n", std::chrono::milliseconds(3));
        bus(cmd);
    };
    Conn().SearchForBox();
    EXPECT_EQ(st->ComPortValue + " " + st->BaudRateValue + " " + st->AddressTable[1] + " " + st->AddressTable[50],
              "COM1 1200 1001 NoConnect");
}

TEST_F(ConnectFixture, AbortIsSeenAtTheNextProbeOrAddressAndTheNextConnectStartsAfresh) {
    Start("", {{"/dev/A", 9600, 1, "A"}, {"/dev/A", 9600, 50, "B"}});
    auto first = Conn();
    view.onAsk = [&] { first.Abort(); };  // Abort clicked while the first box is asked about
    first.SearchForBox();
    EXPECT_EQ(Sent().back(), "#01ID");
    EXPECT_EQ(st->AddressTable[50], "NoConnect");

    Start("", {});
    int pumps = 0;
    auto c = Conn();
    op.onPump = [&] { if (++pumps == 6) c.Abort(); };  // mid-probe (the open pumps first)
    const std::size_t before = port->writes.size();
    c.SearchForBox();
    EXPECT_EQ(port->writes.size() - before, 4u) << "no further probe, no further port";
    EXPECT_EQ(op.messages.back(), "  Sorry.  Can not find device.");
    op.onPump = nullptr;
    c.BeginNewConnect();
    EXPECT_FALSE(c.Aborted());
}

TEST_F(ConnectFixture, AnUnplugCutsTheScanAndSaysWhichAddressesWereNotAsked) {
    Start("", {{"/dev/A", 9600, 1, "A"}, {"/dev/A", 9600, 50, "B"}});
    view.onAsk = [&] { port->HangUpAfter({}); };
    auto c = Conn();
    c.SearchForBox();
    EXPECT_EQ(c.NotAskedFrom(), 2);
    ASSERT_FALSE(op.messages.empty());
    EXPECT_EQ(op.messages[0], "The search stopped at #02: the adapter was unplugged. #02 to #99 were not asked; "
                              "search again once it is back.");
}

TEST_F(ConnectFixture, IniAddressesThatAnswerFailOrAreMissing) {
    Start("[Communication]\nComPort=COM2\nBaudRate=2400\nAddr1=#05\nAddr2=#02\nAddr3=#00\nAddr4=#1x\n",
          {{"/dev/B", 2400, 2, "4242"}});
    EXPECT_TRUE(Conn().ConnectFromIni());
    EXPECT_EQ(Sent(), (Strings{"#05ID", "#02ID", "#02ID"})) << "#00 and #1x are never sent";
    const std::string msg = "Could not to connect with parameters found in INI file ";
    EXPECT_EQ(op.messages, (Strings{msg + "#05, 2400, COM2", msg + "#00, 2400, COM2", msg + "#1x, 2400, COM2"}));
    EXPECT_TRUE(st->IniConnectOk && !st->TryIniFirst);
    EXPECT_EQ(st->CurrentAddress + " " + st->TransducerCaption[0], "#02 #02    4242");
    EXPECT_EQ(st->TransducerAddress, (std::array<std::string, 4>{"#02", "#02", "", ""}));
    EXPECT_TRUE(view.asked.empty()) << "no GoodConnectDlg on the INI road";

    s->Close();
    const auto ini = app::IniFile::Load(st->IniFilePath);
    EXPECT_EQ(ini.ReadString("Communication", "Addr1", "?") + ini.ReadString("Communication", "Addr2", "?") +
                  ini.ReadString("Communication", "Addr3", "?"),
              "#02#02");

    Start("[Communication]\nComPort=COM1\n", {{"/dev/A", 9600, 1, "1"}});
    const std::size_t before = port->writes.size();
    EXPECT_FALSE(Conn().ConnectFromIni());
    EXPECT_EQ(port->writes.size(), before) << "no addresses: nothing asked";
    EXPECT_EQ(op.messages.back(), "Can't connect using INI paramaters");
}

}  // namespace
