// capture --mqtt against a real mosquitto: the topics and JSON others build on,
// the retained texts, the last will, QoS 1 through a restart, no broker at all.

#include "BrokerRig.h"
#include "CliRig.h"
#include "mqtt/MqttText.h"
#include "testkit/SessionRig.h"

#include <gtest/gtest.h>

#include <regex>
#include <set>

namespace tessary::clitest {
namespace {

std::vector<std::string> FileLines(const std::string& path) {
    std::vector<std::string> lines;
    std::istringstream in(testkit::ReadFile(path));
    for (std::string l; std::getline(in, l);) lines.push_back(l.substr(0, l.size() - 1));
    return lines;
}

TEST(MqttText, NumbersKeepTheBoxsDigitsAndTextsAreEscaped) {
    const std::pair<std::string, std::string> rows[] = {
        {"1013.250", "1013.250"}, {"+0.50", "0.50"},   {"-.5", "-0.5"},     {"007", "7"},
        {"12.", "12"},            {"1.5E+03", "1.5e+03"}, {"OVER", "\"OVER\""}, {"", "\"\""},
        {"1.2.3", "\"1.2.3\""},
    };
    for (const auto& [box, json] : rows) EXPECT_EQ(mqtt::JsonNumber(box), json) << box;
    EXPECT_EQ(mqtt::JsonString("a\"b\\c\r\n\x01\xb5"), "\"a\\\"b\\\\c\\r\\n\\u0001\xc2\xb5\"");
    mqtt::BrokerUrl url;
    EXPECT_EQ(mqtt::ParseBrokerUrl("mqtts://lab@[::1]:9000/bench/7/", url), "");
    EXPECT_TRUE(url.tls && url.user == "lab" && url.host == "::1" && url.port == 9000 && url.prefix == "bench/7");
    for (const char* bad : {"mqtt://", "mqtt://h:0", "mqtt://h:", "mqtt://u:pw@h", "mqtt://h/a/#", "tcp://h"})
        EXPECT_NE(mqtt::ParseBrokerUrl(bad, url), "") << bad;
}

TEST(CliMqtt, ACaptureOfThreeBoxesPublishesRowsInfoStatusAndDiscovery) {
    CliRig rig;
    Broker broker(rig.dir / "broker");
    Listener live(broker.port, "#");
    const CliRun r = rig.Run({"capture", "--count", "2", "--mqtt", broker.Url(), "--mqtt-discovery",
                              "01=" + rig.Path("a.txt"), "02=" + rig.Path("b.txt"), "09=" + rig.Path("c.txt")});
    EXPECT_EQ(r.rc, 1) << r.err;  // #09 is silent
    const std::string time = R"("time":"\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{3}[+-]\d\d:\d\d")";
    for (const std::string nn : {"01", "02"}) {
        const auto rows = live.On("t/" + nn + "/reading");
        const auto lines = FileLines(rig.Path(nn == "01" ? "a.txt" : "b.txt"));
        ASSERT_EQ(rows.size(), 2u) << nn;
        for (std::size_t k = 0; k < rows.size(); ++k) {
            // The file's line, field by field: the box's own digits.
            std::smatch f;
            ASSERT_TRUE(std::regex_match(lines[k], f, std::regex(R"((.*, .*),(\d+\.\d+),(\d+\.\d+),(\d+),(\d+))")))
                << lines[k];
            EXPECT_TRUE(std::regex_match(
                rows[k], std::regex("\\{" + time + ",\"box_time\":\"" + f[1].str() + "\",\"address\":\"#" + nn +
                                    "\",\"id\":\"[^\"]+\",\"pressure\":" + f[2].str() + ",\"temperature\":" + f[3].str() +
                                    ",\"pressure_counts\":" + f[4].str() + ",\"temperature_counts\":" + f[5].str() +
                                    "\\}")))
                << rows[k];
        }
    }
    const auto silent = live.On("t/09/reading");
    ASSERT_EQ(silent.size(), 2u);
    EXPECT_TRUE(std::regex_match(silent[0], std::regex("\\{" + time + R"(,"address":"#09","id":"","error":"NoConnect"\})")))
        << silent[0];
    EXPECT_EQ(live.On("t/status"), (std::vector<std::string>{"online", "offline"}));

    // What a dashboard that comes later is told.
    Listener later(broker.port, "#");
    WaitFor([&] { return later.All().size() >= 9; }, std::chrono::seconds(3));
    std::map<std::string, std::string> retained;
    for (const auto& h : later.All()) retained[h.topic] = h.retained ? h.payload : "not retained";
    EXPECT_EQ(retained["t/status"], "offline");
    EXPECT_TRUE(std::regex_match(retained["t/01/info"], std::regex(R"(\{"address":"#01","id":"[^"]+","model":.*\})")))
        << retained["t/01/info"];
    EXPECT_EQ(retained["t/09/info"], "{\"address\":\"#09\"}");
    const std::string config = retained["homeassistant/sensor/t/02_temperature/config"];
    for (const char* part : {"\"state_topic\":\"t/02/reading\"", "\"value_template\":\"{{ value_json.temperature }}\"",
                             "\"availability_topic\":\"t/status\"", "\"unique_id\":\"t_02_temperature\""})
        EXPECT_NE(config.find(part), std::string::npos) << part << " in " << config;
    EXPECT_NE(retained["homeassistant/sensor/t/01_pressure/config"].find("\"unit_of_measurement\":"), std::string::npos);
}

TEST(CliMqtt, AKilledCaptureIsSeenOfflineByItsLastWill) {
    CliRig rig;
    Broker broker(rig.dir / "broker");
    Listener live(broker.port, "t/status");
    std::vector<std::string> args = {TESSARY_CLI_PROGRAM, "capture", "--port", "COM1=" + rig.line.slavePath(), "--ini",
                                     rig.Path("empty.ini"), "--mqtt", broker.Url(), "1=" + rig.Path("k.txt")};
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    pid_t pid = 0;
    ASSERT_EQ(::posix_spawn(&pid, argv[0], nullptr, nullptr, argv.data(), environ), 0);
    EXPECT_TRUE(WaitFor([&] { return live.On("t/status") == std::vector<std::string>{"online"}; }));
    ::kill(pid, SIGKILL);
    ::waitpid(pid, nullptr, 0);
    EXPECT_TRUE(WaitFor([&] { return live.On("t/status").size() == 2; }));
    EXPECT_EQ(live.On("t/status"), (std::vector<std::string>{"online", "offline"}));
}

TEST(CliMqtt, QosOneRowsWaitThroughABrokerRestartAndEveryOneArrives) {
    CliRig rig;
    Broker broker(rig.dir / "broker");
    Listener live(broker.port, "t/01/reading", "keeper");  // its session outlives the restart
    std::thread restart([&] {
        WaitFor([&] { return live.On("t/01/reading").size() >= 2; });
        broker.Stop();
        std::this_thread::sleep_for(std::chrono::milliseconds(2500));
        broker.Start();
    });
    const CliRun r = rig.Run({"capture", "--count", "7", "--mqtt", broker.Url(), "--mqtt-qos", "1",
                              "01=" + rig.Path("q.txt")});
    restart.join();
    EXPECT_EQ(r.rc, 0) << r.err;
    EXPECT_NE(r.err.find("MQTT: lost 127.0.0.1:" + std::to_string(broker.port)), std::string::npos) << r.err;
    const auto lines = FileLines(rig.Path("q.txt"));
    ASSERT_EQ(lines.size(), 7u);
    std::set<std::string> boxTimes;
    WaitFor([&] {
        boxTimes.clear();
        for (const auto& row : live.On("t/01/reading")) boxTimes.insert(row.substr(row.find("box_time") + 11, 20));
        return boxTimes.size() == lines.size();
    });
    for (const auto& line : lines) EXPECT_EQ(boxTimes.count(line.substr(0, 20)), 1u) << line;
}

TEST(CliMqtt, WithoutABrokerTheCaptureRunsOnAndSaysSoOnce) {
    CliRig rig;
    const int port = FreePort();
    const auto began = std::chrono::steady_clock::now();
    const CliRun r = rig.Run({"capture", "--count", "3", "--mqtt", "mqtt://127.0.0.1:" + std::to_string(port),
                              "01=" + rig.Path("n.txt")});
    EXPECT_LT(std::chrono::steady_clock::now() - began, std::chrono::milliseconds(5000));
    EXPECT_EQ(r.rc, 0) << r.err;
    const std::string said = "MQTT: cannot reach 127.0.0.1:" + std::to_string(port) + " (Connection refused); retrying";
    EXPECT_NE(r.err.find(said), std::string::npos) << r.err;
    EXPECT_EQ(r.err.find(said), r.err.rfind(said)) << r.err;
    EXPECT_EQ(FileLines(rig.Path("n.txt")).size(), 3u);
}

}  // namespace
}  // namespace tessary::clitest
