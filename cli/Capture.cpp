// capture ADDR[=FILE]...: the PC Capture page's timed capture, ended by a
// duration, a count of cycles or a signal.

#include "capture/Capture.h"
#include "app/private/AppState.h"
#include "capture/CaptureText.h"
#include "cli/Rig.h"
#include "device/DeviceInfo.h"
#include "link/Files.h"
#include "mqtt/Publisher.h"

#include <chrono>
#include <cstdlib>
#include <mutex>
#include <filesystem>
#include <thread>

namespace tessary::cli {

namespace {

class ConsoleCaptureView final : public capture::CaptureView {
public:
    explicit ConsoleCaptureView(Rig& rig) : rig_(rig) {}
    std::atomic<long long> lines{0}, unanswered{0}, fileErrors{0};
    std::atomic<bool> stoppedEarly{false};

    // From the capture thread; the main thread only waits meanwhile.
    void ShowLine(std::uint64_t, int, const std::string& line) override {
        ++lines;
        if (line == app::kNoConnect) ++unanswered;
        std::lock_guard lock(sayMutex_);
        rig_.progress.Count("capture: lines", lines.load(), 0);
    }
    void ShowFileError(std::uint64_t, int, const std::string& text) override {
        if (text.empty()) return;
        ++fileErrors;
        Say(text);
    }
    void ShowState(std::uint64_t, bool running, const std::string& note) override {
        if (note.empty()) return;
        if (!running) stoppedEarly = true;
        Say(note);
    }

    // From the capture thread and the publisher's.
    void Say(const std::string& text) {
        std::lock_guard lock(sayMutex_);
        rig_.progress.End();
        rig_.env.err << "tessary-cli: " << text << '\n' << std::flush;
    }

private:
    Rig& rig_;
    std::mutex sayMutex_;
};

}  // namespace

int RunCapture(Rig& rig) {
    const auto& inv = rig.inv;
    capture::CapturePlan setup;
    setup.defaultFolder = rig.session->State().DefaultFolder;
    setup.allSerial = inv.Has("--all-serial");
    setup.allSerialPath = inv.Value("--all-serial");
    if (inv.Has("--append") && inv.Has("--overwrite")) return rig.Usage("--append and --overwrite exclude each other");
    long rate = 1, seconds = 0, count = 0;
    if (inv.Has("--rate") && !ParseWhole(inv.Value("--rate"), 1, capture::kMaxRateSeconds, rate))
        return rig.Usage("--rate needs whole seconds from 1 to " + std::to_string(capture::kMaxRateSeconds));
    if (inv.Has("--duration") && !ParseWhole(inv.Value("--duration"), 1, 2147483647, seconds))
        return rig.Usage("--duration needs whole seconds");
    if (inv.Has("--count") && !ParseWhole(inv.Value("--count"), 1, 2147483647, count))
        return rig.Usage("--count needs a number of cycles");
    setup.rateText = std::to_string(rate);
    const bool publish = inv.Has("--mqtt");
    mqtt::PublishSettings mq;
    if (publish) {
        if (const std::string bad = mqtt::ParseBrokerUrl(inv.Value("--mqtt"), mq.url); !bad.empty())
            return rig.Usage("--mqtt: " + bad);
        const std::string qos = inv.Value("--mqtt-qos", "0");
        if (qos != "0" && qos != "1") return rig.Usage("--mqtt-qos needs 0 or 1");
        mq.qos = qos == "1";
        mq.discovery = inv.Has("--mqtt-discovery");
        mq.caFile = inv.Value("--mqtt-ca");
        if (const char* password = std::getenv("TESSARY_MQTT_PASSWORD")) mq.password = password;
    } else if (inv.Has("--mqtt-ca") || inv.Has("--mqtt-qos") || inv.Has("--mqtt-discovery")) {
        return rig.Usage("--mqtt-ca, --mqtt-qos and --mqtt-discovery need --mqtt");
    }

    std::vector<bool> named(inv.operands.size());
    for (std::size_t k = 0; k < inv.operands.size(); ++k) {
        const std::string& text = inv.operands[k];
        const auto eq = text.find('=');
        setup.addresses[k] = NormalizeAddress(text.substr(0, eq));
        if (setup.addresses[k].empty() || setup.addresses[k] == "#00")
            return rig.Usage("\"" + text.substr(0, eq) + "\" is not a box's address (#01 to #99)");
        if (eq != std::string::npos) setup.paths[k] = text.substr(eq + 1);
        named[k] = eq != std::string::npos;
        setup.ticked[k] = true;
    }
    const auto exists = [](const std::string& path) {
        std::error_code ec;
        return !path.empty() && std::filesystem::exists(path, ec);
    };
    const auto missingChoice = [&](const std::string& path) {
        return exists(path) && !inv.Has("--append") && !inv.Has("--overwrite");
    };
    for (const auto& path : setup.paths)
        if (missingChoice(path)) return rig.Usage(path + " exists: give --append or --overwrite");

    // Before the line is touched: a build without MQTT, a bad CA file, end here.
    ConsoleCaptureView view(rig);
    std::unique_ptr<mqtt::Publisher> publisher;
    if (publish) {
        if (mq.url.prefix.empty()) mq.url.prefix = mqtt::DefaultPrefix(mqtt::ThisHostName(), rig.link->LinkPortName());
        mq.prefix = mq.url.prefix;
        std::string error;
        mqtt::MakeError kind = mqtt::MakeError::None;
        publisher = mqtt::MakePublisher(mq, [&view](const std::string& text) { view.Say(text); }, error, kind);
        if (!publisher) return kind == mqtt::MakeError::File ? rig.Fail(kFileError, error) : rig.Usage(error);
    }

    // The gate time the read-out shows sets the time-out, as on the page.
    const std::string first = setup.addresses[0];
    if (const int rc = rig.Connect(first); rc != kDone) return rc;
    auto& st = rig.session->State();
    setup.gateTime = st.Info.GateTime;
    setup.boxes[0] = {first, st.Info.SerialNumber, st.Info.ModelNumber, st.Info.FirmwareVersion, st.Info.PressUnits,
                      st.Info.TempUnits};
    for (std::size_t k = 0; k < inv.operands.size(); ++k) {
        if (named[k] && !publish) continue;
        // The page's proposal: the capture folder, the box's "ID" answer made a safe name, ".txt".
        st.CurrentAddress = setup.addresses[k];
        const std::string id = k == 0 ? st.Info.SerialNumber : device::QueryBox(*rig.session, "ID");
        if (id != app::kNoConnect) setup.boxes[k].id = id;
        if (named[k]) continue;
        if (id == app::kNoConnect) return rig.Fail(kNoAnswer, "no answer from " + setup.addresses[k]);
        setup.paths[k] = setup.defaultFolder + link::FileNamePart(id) + ".txt";
        if (missingChoice(setup.paths[k])) return rig.Usage(setup.paths[k] + " exists: give --append or --overwrite");
    }
    st.CurrentAddress = first;
    capture::AskAppendOrOverwrite(setup, [&](const std::string& path) {
        if (inv.Has("--append") || inv.Has("--overwrite")) return inv.Has("--append");
        rig.op.NeedChoice("--append or --overwrite (" + path + " exists)");
        return true;
    });

    capture::SteadyCaptureClock clock;
    capture::Capture capture(*rig.link, rig.op, view, clock);
    capture.SetLineWatch(&rig.session->Watch());
    if (publisher) capture.SetPublisher(publisher.get());
    // Checked as each cycle is due: the last one wanted runs whole, the next not at all.
    // A cycle cut by an unplugged adapter took no readings: it is not counted.
    const long long lastPeriod = seconds / rate;
    long long started = 0;
    capture.SetCycleObserver([&](const capture::CycleTiming& t) {
        ++started;
        if ((seconds > 0 && static_cast<long long>(t.period) > lastPeriod) ||
            (count > 0 && started - static_cast<long long>(capture.Paused()) > count))
            capture.RequestStop();
    });
    // While the adapter is away no cycle comes to end the duration: the clock does.
    const auto ends = std::chrono::steady_clock::now() + std::chrono::seconds(seconds + rate);
    if (!capture.Start(setup)) return kUsage;
    if (view.fileErrors > 0) {
        capture.Stop();
        return kFileError;
    }
    while (capture.Running() && !rig.stop.Requested()) {
        if (seconds > 0 && std::chrono::steady_clock::now() > ends && rig.session->Watch().Unplugged())
            capture.RequestStop();
        if (publisher && !publisher->Fatal().empty()) capture.RequestStop();
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    // Waits for an exchange under way; its line is written, then the files close.
    capture.Stop();
    if (publisher) publisher->Close();
    rig.progress.End();
    if (view.fileErrors > 0 || (publisher && !publisher->Fatal().empty())) return kFileError;
    if (view.stoppedEarly) return kNoAnswer;
    if (view.unanswered > 0) {
        const std::uint64_t garbled = capture.Garbled();
        return rig.Fail(kNoAnswer, std::to_string(view.unanswered.load()) + " of " + std::to_string(view.lines.load()) +
                                       " readings got no answer" +
                                       (garbled > 0 ? " (" + std::to_string(garbled) + " of them garbled)" : "") +
                                       " (\"NoConnect\" lines in the files)");
    }
    return kDone;
}

}  // namespace tessary::cli
