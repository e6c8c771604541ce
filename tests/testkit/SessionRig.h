#pragma once
// A Session over a ScriptedPort, with an INI file of the test's own.

#include "app/Connect.h"
#include "app/Session.h"
#include "testkit/RecordingOperator.h"
#include "testkit/ScriptedPort.h"

#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <memory>
#include <string>
#include <unistd.h>
#include <vector>

namespace tessary::testkit {

inline std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

struct SessionRig {
    std::filesystem::path dir =
        std::filesystem::temp_directory_path() / ("tessary_rig_" + std::to_string(::getpid()));
    ScriptedPort* port = new ScriptedPort;
    link::PortMap ports;
    link::DeviceLink dl{std::unique_ptr<link::Port>(port), [this](const std::string& n) { return ports.Resolve(n); }};
    RecordingOperator op;
    std::unique_ptr<app::Session> s;

    SessionRig() { std::filesystem::create_directories(dir); }
    ~SessionRig() { std::filesystem::remove_all(dir); }
    std::string IniPath() const { return (dir / "t.ini").string(); }

    // Writes the INI text, then Reset and Open as the program starts.
    app::Session& Start(const std::string& iniText, const std::string& iniPath = {}) {
        app::Options o;
        o.iniPath = iniPath.empty() ? IniPath() : iniPath;
        if (iniPath.empty()) std::ofstream(o.iniPath, std::ios::binary) << iniText;
        s = std::make_unique<app::Session>(dl, ports, op, o);
        s->Reset();
        s->Open();
        return *s;
    }
    // Commands written since `from`, without their line ends.
    std::vector<std::string> Sent(std::size_t from = 0) const {
        std::vector<std::string> out;
        for (std::size_t i = from; i < port->writes.size(); ++i)
            out.push_back(port->writes[i].substr(0, port->writes[i].size() - 2));
        return out;
    }
};

// Records what the search showed and answers GoodConnectDlg by script.
struct RecordingSearchView final : app::SearchView {
    std::vector<std::string> probes, asked;
    int stopAt = 0;  // "OK - STOP Searching" at the Nth box; 0: always "Search For More"
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

}  // namespace tessary::testkit
