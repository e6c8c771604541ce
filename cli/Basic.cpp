// ports, send, scan, info: the port map, the console, the search and the read-out.

#include "app/Connect.h"
#include "app/private/AppState.h"
#include "cli/Rig.h"
#include "device/DeviceInfo.h"
#include "link/NetPort.h"
#include "link/System.h"

#include <algorithm>
#include <map>

namespace tessary::cli {

namespace {

constexpr const char* kGarbledField = "(garbled answer)";

const char* SourceText(link::PortMap::Source source) {
    switch (source) {
    case link::PortMap::Source::CommandLine: return "command line";
    case link::PortMap::Source::IniFile: return "INI file";
    case link::PortMap::Source::System: return "system";
    case link::PortMap::Source::None: break;
    }
    return "none";
}

}  // namespace

int RunPorts(Rig& rig) {
    const bool json = rig.inv.Has("--json");
    const link::SerialDirs dirs = rig.Dirs();
    std::vector<std::string> items;
    std::map<std::string, std::string> named;  // Windows: SetupAPI's names for its ports
    for (const auto& port : link::ListSystemSerialPorts(rig.env.devDir))
        if (!port.description.empty()) named[port.path] = port.description;
    for (const char* name : link::kComPortNames) {
        const std::string path = rig.ports.Resolve(name);
        link::AdapterInfo info = path.empty() ? link::AdapterInfo{} : link::DescribeAdapter(path, dirs);
        if (auto it = named.find(path); it != named.end()) info.product = it->second;
        if (json) {
            JsonObject item;
            item.Add("name", name)
                .Add("device", path)
                .Add("node", info.device)
                .Add("byId", info.byId)
                .Add("byPath", info.byPath)
                .Add("usb", info.vendorProduct)
                .Add("serial", info.usbSerial)
                .Add("source", SourceText(rig.ports.SourceOf(name)))
                .Add("adapter", info.product);
            // A line on the network says what kind it is; a device has no such key.
            if (const std::string kind = link::NetworkKind(path); !kind.empty()) item.Add("network", kind);
            items.push_back(item.Str());
        } else {
            std::string line = link::DescribePort(rig.ports, name, dirs);
            if (!info.product.empty()) line += ", adapter: " + info.product;
            if (!info.vendorProduct.empty())
                line += " [" + info.vendorProduct + (info.usbSerial.empty() ? "" : " " + info.usbSerial) + "]";
            rig.env.out << line << '\n';
            if (const std::string note = link::LatencyNote(info); !note.empty()) rig.env.out << "  " << note << '\n';
        }
    }
    const std::string inUse = rig.link->LinkPortName();
    if (json) {
        rig.env.out << JsonObject()
                           .Add("inUse", inUse)
                           .AddNumber("baud", rig.link->LinkBaudRate())
                           .AddRaw("ports", JsonArray(items))
                           .Str()
                    << '\n';
    } else {
        rig.env.out << "in use: " << inUse << " at " << rig.link->LinkBaudRate() << " baud\n";
    }
    return kDone;
}

int RunSend(Rig& rig) {
    std::string address;
    if (rig.inv.Has("--address")) {
        // #00 is allowed here: it sends without waiting, as the command line does.
        address = NormalizeAddress(rig.inv.Value("--address"));
        if (address.empty()) return rig.Usage("\"" + rig.inv.Value("--address") + "\" is not an address (#00 to #99)");
    }
    const std::string& cmd = rig.inv.operands[0];
    // A line end inside would make one operand several commands on the bus.
    if (std::any_of(cmd.begin(), cmd.end(), [](unsigned char c) { return c < 0x20 || c == 0x7f; }))
        return rig.Usage("CMD holds a control character (CR, LF or another); nothing was sent");
    const std::string command = address + cmd;
    if (!rig.Open()) {
        rig.env.out << link::kNoConnect << '\n';
        return rig.openExit;
    }
    const auto answer = rig.session->ConsoleCommand(command);
    rig.env.out << answer.text << '\n';
    if (answer.staleDiscarded) rig.env.err << "tessary-cli: a late answer to an earlier command was discarded\n";
    if (answer.text == link::kNoConnect) return rig.Fail(kNoAnswer, rig.NoAnswerText(command.substr(0, 3), answer.outcome));
    if (answer.outcome == link::ExchangeOutcome::Garbled)
        return rig.Fail(kNoAnswer, std::string(link::OutcomeText(answer.outcome)));
    if (answer.text.rfind("ERROR", 0) == 0) return rig.Fail(kNoAnswer, "the box reported " + answer.text);
    return kDone;
}

int RunScan(Rig& rig) {
    ConsoleSearchView view(rig.progress, rig.inv.Has("--first"));
    app::Connector connector(*rig.session, view);
    connector.SetScanKind(rig.inv.Has("--quick") ? app::ScanKind::Quick : app::ScanKind::Exact);
    connector.BeginNewConnect();
    connector.SearchForBox();
    rig.progress.End();

    const auto& st = rig.session->State();
    const int cut = connector.NotAskedFrom();
    if (!st.ConnectionFound) return rig.stop.Requested() ? rig.Fail(kNoAnswer, "stopped by a signal") : kNoAnswer;
    std::vector<std::string> boxes;
    const bool json = rig.inv.Has("--json");
    if (!json)
        rig.env.out << rig.link->LinkPortName() << " (" << rig.link->DevicePath() << ") at " << rig.link->LinkBaudRate()
                    << " baud, " << app::ScanKindText(connector.Kind()) << "\n";
    for (int a = 1; a <= 99; ++a) {
        if (st.AddressTable[a] == app::kNoConnect) continue;
        if (json)
            boxes.push_back(JsonObject().Add("address", app::AddressText(a)).Add("id", st.AddressTable[a]).Str());
        else
            rig.env.out << app::AddressText(a) << "    " << st.AddressTable[a] << '\n';
    }
    if (json) {
        JsonObject o;
        o.Add("port", rig.link->LinkPortName())
            .Add("device", rig.link->DevicePath())
            .AddNumber("baud", rig.link->LinkBaudRate())
            .Add("scan", connector.Kind() == app::ScanKind::Quick ? "quick" : "exact")
            .AddRaw("boxes", JsonArray(boxes))
            .AddRaw("complete", cut ? "false" : "true");
        if (cut) o.Add("notAsked", app::AddressText(cut) + "-#99");
        rig.env.out << o.Str() << '\n';
    }
    if (rig.stop.Requested()) return rig.Fail(kNoAnswer, "stopped by a signal before the scan ended");
    if (cut) return kNoAnswer;  // the search said which addresses it did not ask
    return kDone;
}

int RunInfo(Rig& rig) {
    const std::string address = rig.Address(rig.inv.operands.empty() ? std::string() : rig.inv.operands[0]);
    if (address.empty()) return kUsage;
    if (!rig.Open()) return rig.openExit;
    auto& st = rig.session->State();
    st.CurrentAddress = address;
    const device::InfoReadOut readOut = device::ReadInformation(*rig.session, true);
    // The field it would have shifted shows "NoConnect" instead.
    if (readOut.lateDiscarded) rig.env.err << "tessary-cli: a late answer was discarded\n";
    if (readOut.unanswered) return rig.Fail(kNoAnswer, "no box answered at " + address);

    const auto& in = st.Info;
    const bool digital = st.DeviceType == device::kDigital;
    struct Row {
        const char* caption;  // the window's, in the order of its information panel
        const char* key;      // JSON
        std::string value;
    };
    const std::vector<Row> rows = {
        {"Address", "address", address},
        // The family comes from the "VF" answer: noise there leaves it unknown.
        {"Device Type", "deviceType",
         std::count(readOut.garbled.begin(), readOut.garbled.end(), "VF") ? kGarbledField : st.DeviceType},
        {"Model Number", "modelNumber", in.ModelNumber},
        {digital ? "FPGA Version" : "Kestin Display", digital ? "fpgaVersion" : "kestinDisplay",
         digital ? in.FPGA : in.KestinDisplay},
        {"Serial Number", "serialNumber", in.SerialNumber},
        {"Firmware Version", "firmwareVersion", in.FirmwareVersion},
        {"GateTime", "gateTime", in.GateTime},
        {"Pressure Units", "pressureUnits", in.PressUnits},
        {"Temperature Units", "temperatureUnits", in.TempUnits},
        {"Clock Time", "clockTime", in.ClockTime},
        {"Log Initialize", "logInitialize", in.InitLog},
        {"Log Rate", "logRate", in.LogRate},
        {"Log Start", "logStart", in.LogStart},
        {"Log Stop", "logStop", in.LogStop},
        {"Com Port", "port", st.ComPortValue},
        {"Baud Rate", "baud", st.BaudRateValue},
    };
    // A garbled answer is noise, not the box's value: it is named, never shown as a field.
    const auto garbled = [&](const std::string& value) {
        return !value.empty() && std::any_of(value.begin(), value.end(), [](char c) { return c < 0x20 || c > 0x7e; });
    };
    if (rig.inv.Has("--json")) {
        JsonObject o;
        for (const auto& row : rows) o.Add(row.key, garbled(row.value) ? kGarbledField : row.value);
        rig.env.out << o.Str() << '\n';
    } else {
        for (const auto& row : rows) {
            std::string left = std::string(row.caption) + ":";
            left.resize(20, ' ');
            rig.env.out << left << (garbled(row.value) ? kGarbledField : row.value) << '\n';
        }
    }
    if (!readOut.garbled.empty()) {
        std::string words;
        for (std::size_t i = 0; i < readOut.garbled.size(); ++i)
            if (i == 0 || readOut.garbled[i] != readOut.garbled[i - 1]) words += (i ? ", " : "") + readOut.garbled[i];
        return rig.Fail(kNoAnswer, "the answers of " + address + " to " + words +
                                       " came garbled (bytes outside printable ASCII: a wrong baud rate or a bad line?)");
    }
    if (in.SerialNumber == app::kNoConnect) return rig.Fail(kNoAnswer, "no answer from " + address);
    return kDone;
}

}  // namespace tessary::cli
