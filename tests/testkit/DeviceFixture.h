#pragma once
// A session on a ScriptedPort with an open link, and a scripted box at one
// address that answers by command word.

#include "app/Session.h"
#include "app/private/AppState.h"
#include "testkit/RecordingOperator.h"
#include "testkit/RecordingSettingsView.h"
#include "testkit/ScriptedPort.h"

#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace tessary::testkit {

struct DeviceFixture : ::testing::Test {
    ScriptedPort* port = nullptr;
    link::PortMap ports;
    std::unique_ptr<link::DeviceLink> dl;
    RecordingOperator op;
    RecordingSettingsView view;
    std::unique_ptr<app::Session> s;
    // word ("VF", "UP3", "GA=0.5") -> answer, for any address in `answering`.
    std::map<std::string, std::string> box;
    std::vector<std::string> answering{"#01"};

    void SetUp() override {
        auto p = std::make_unique<ScriptedPort>();
        port = p.get();
        dl = std::make_unique<link::DeviceLink>(std::move(p), [this](const std::string& n) { return ports.Resolve(n); });
        ports.SetFromCommandLine("COM1", "/dev/scripted");
        s = std::make_unique<app::Session>(*dl, ports, op, app::Options{});
        s->Reset();
        dl->SetLinkPortName("COM1");
        dl->SetLinkBaudRate(9600);
        ASSERT_TRUE(dl->OpenComPort());
        port->onWrite = [this](const std::string& cmd) {
            if (cmd.size() < 5 || cmd.compare(cmd.size() - 2, 2, "\r\n") != 0) return;
            const std::string address = cmd.substr(0, 3);
            if (std::find(answering.begin(), answering.end(), address) == answering.end()) return;
            auto it = box.find(cmd.substr(3, cmd.size() - 5));
            if (it != box.end()) port->Arrive(it->second + "\r\n", std::chrono::milliseconds(5));
        };
        st().CurrentAddress = "#01";
    }
    // Runs `hook` on each command before the scripted box answers it.
    void BeforeAnswer(std::function<void(const std::string&)> hook) {
        port->onWrite = [hook, inner = port->onWrite](const std::string& cmd) { hook(cmd), inner(cmd); };
    }
    app::AppState& st() { return s->State(); }
    app::InfoValues& info() { return s->State().Info; }

    // A digital box as it answers after a fresh start.
    void DigitalBox() {
        box = {{"M", "DPT6100"},       {"VF", "FP010422"},   {"ID", "D01-4711"},  {"VER", "V2.14"},
               {"GA", "0.5"},          {"UN1", "psi"},       {"UN2", "C"},        {"UP1", "psi,1.0"},
               {"UP2", "bar,0.0689"},  {"UP3", "MPa,0.0069"}, {"UP4", "mH2O,0.703"}, {"UP5", "C,1,0"},
               {"UP6", "K,1,273.15"},  {"UP7", "F,1.8,32"},  {"UP8", "R,1.8,491.67"},
               {"TM", "2007:05:14:13:45:00"}, {"LI", "TM,D1,D2"}, {"LR", "60"},
               {"LS", "2007:05:14:13:45:00,2007:05:15:08:00:00"}};
    }
    // Commands written since the last call, with "\r\n" stripped.
    std::vector<std::string> Sent() {
        std::vector<std::string> out;
        for (auto& w : port->writes) out.push_back(w.size() >= 2 ? w.substr(0, w.size() - 2) : w);
        port->writes.clear();
        return out;
    }
};

}  // namespace tessary::testkit
