#include "link/NetPort.h"
#include "link/Telnet.h"

#include <gtest/gtest.h>

#include <vector>

namespace tessary::link {
namespace {

using namespace telnet;
std::string B(std::initializer_list<int> bytes) {
    std::string s;
    for (int b : bytes) s.push_back(static_cast<char>(b));
    return s;
}

TEST(TelnetCodec, DecodesTheSameHoweverTheBytesAreSplit) {
    struct Row {
        const char* what;
        std::vector<std::string> chunks;
        std::string data, reply;
        std::vector<ComPortAnswer> answers;
    };
    const std::string ack = B({kIac, kSb, kComPort, 101, 0, 0, 0x4b, 0, kIac, kSe});
    const std::vector<Row> rows = {
        {"255 in data, doubled", {B({'a', kIac, kIac, 'b'})}, B({'a', 255, 'b'}), "", {}},
        {"IAC split from its double", {B({'a', kIac}), B({kIac, 'b'})}, B({'a', 255, 'b'}), "", {}},
        {"option split after IAC and after the verb", {B({kIac}), B({kWill}), B({kComPort, 'x'})}, "x", B({kIac, kDo, kComPort}), {}},
        {"subnegotiation split everywhere", {ack.substr(0, 2), ack.substr(2, 5), ack.substr(7, 2), ack.substr(9)}, "", "",
         {{101, B({0, 0, 0x4b, 0})}}},
        {"255 in a subnegotiation value", {B({kIac, kSb, kComPort, 101, 0, 0, kIac, kIac, 0, kIac, kSe})}, "", "",
         {{101, B({0, 0, 255, 0})}}},
        {"unknown options refused, once", {B({kIac, kDo, 1, kIac, kWill, 24, kIac, kDont, 1})}, "",
         B({kIac, kWont, 1, kIac, kDont, 24}), {}},
        {"agreed options not answered again", {B({kIac, kDo, kBinary, kIac, kWill, kSuppressGoAhead, 'z'})}, "z", "", {}},
    };
    for (const auto& r : rows) {
        State s;
        Opening(s, false);
        Output out;
        for (const auto& c : r.chunks) Decode(s, c, out);
        EXPECT_EQ(out.data, r.data) << r.what;
        EXPECT_EQ(out.reply, r.reply) << r.what;
        EXPECT_EQ(out.answers, r.answers) << r.what;
        EXPECT_FALSE(out.garbage) << r.what;
    }
    EXPECT_EQ(ComPortCommand(kSetBaudRate, BaudValue(0x01ff00ff)),
              B({kIac, kSb, kComPort, 1, 1, 255, 255, 0, 255, 255, kIac, kSe}));
    Output junk;
    State s;
    Decode(s, B({kIac, kSb, kComPort}) + std::string(kMaxSubnegotiation, 'x') + B({kIac, kSe}) + "ok", junk);
    EXPECT_TRUE(junk.garbage);
    EXPECT_EQ(junk.data, "ok");
}

TEST(NetworkPath, TakesNamesAndBothAddressKinds) {
    struct Row {
        const char* path;
        bool ok, rfc2217;
        const char* host;
        int port;
    };
    for (const Row& r : std::vector<Row>{{"rfc2217://127.0.0.1:2000", true, true, "127.0.0.1", 2000},
                                         {"tcp://[::1]:65535", true, false, "::1", 65535},
                                         {"tcp://lab-rack.local:4001", true, false, "lab-rack.local", 4001},
                                         {"tcp://::1:4001", false, false, "", 0},
                                         {"tcp://host:0", false, false, "", 0},
                                         {"tcp://host:70000", false, false, "", 0},
                                         {"rfc2217://:4001", false, true, "", 0},
                                         {"tcp://host", false, false, "", 0}}) {
        NetAddress a;
        std::string why;
        EXPECT_EQ(ParseNetPath(r.path, a, why), r.ok) << r.path;
        if (!r.ok) continue;
        EXPECT_EQ(a.rfc2217, r.rfc2217) << r.path;
        EXPECT_EQ(a.host, r.host) << r.path;
        EXPECT_EQ(a.port, r.port) << r.path;
    }
}

}  // namespace
}  // namespace tessary::link
