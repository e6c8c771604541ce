#include "firmware/Upload.h"

#include "app/private/AppState.h"
#include "firmware/ImageCheck.h"
#include "link/Files.h"

namespace tessary::firmware {
namespace {

// How long the box may take to copy the image before it answers.
constexpr std::chrono::milliseconds kCopyWait{20000};

class RunningFlag {
public:
    explicit RunningFlag(std::atomic<bool>& flag) : flag_(flag) { flag_.store(true); }
    ~RunningFlag() { flag_.store(false); }
    RunningFlag(const RunningFlag&) = delete;
    RunningFlag& operator=(const RunningFlag&) = delete;

private:
    std::atomic<bool>& flag_;
};

}  // namespace

std::string ImageFileProblem(const std::string& path, const std::string& reason) {
    return "Sorry, there is a problem with the file " + path + ": " + reason;
}

std::vector<std::string> ImageLines(const std::string& bytes) {
    std::vector<std::string> lines;
    std::string line;
    bool started = false;  // a byte of the current line has been read
    for (char c : bytes) {
        started = true;
        if (c == '\n') {
            lines.push_back(std::move(line));
            line.clear();
            started = false;
        } else if (c != '\r') {
            line.push_back(c);
        }
    }
    if (started) lines.push_back(std::move(line));
    return lines;
}

std::string FixedRateRefusal(app::Session& session) {
    auto& link = session.Link();
    if (link.CanChangeRate()) return {};
    return "the line " + link.LinkPortName() + " = " + link.DevicePath() +
           " cannot change its rate; use rfc2217:// or set the server to 57600";
}

app::Outcome Uploader::Upload(const std::string& address, const std::function<bool()>& stopRequested) {
    if (std::string refusal = FixedRateRefusal(s_); !refusal.empty()) {
        s_.Op().ShowMessageBox(refusal);
        return app::Outcome::Cancelled(std::move(refusal));
    }
    const auto stopped = [&stopRequested] { return stopRequested && stopRequested(); };
    const auto path = view_.PickImageFile(kImageFilter);
    if (!path) return app::Outcome::Cancelled();

    // A regular file, read whole without blocking (a FIFO or a device never hangs the upload).
    const link::FileText file = link::ReadRegularFile(*path, kMaxImageBytes);
    if (!file.ok) {
        const std::string problem = ImageFileProblem(*path, file.error);
        s_.Op().ShowMessageBox(problem);
        return app::Outcome::FileError(*path, problem);
    }
    const std::string& bytes = file.bytes;
    const auto size = static_cast<std::uint32_t>(bytes.size());
    RunningFlag running(running_);
    Log("File Open");
    const std::vector<std::string> lines = ImageLines(bytes);
    const ImageReport report = CheckImage(lines);
    if (!report.problems.empty() && !view_.AskSendUncheckedImage(FormatReport(report))) {
        Log("Not sent: the file is not a clean Intel HEX image");
        return app::Outcome::Cancelled();
    }
    // A stop asked before the upload began: the box is left at its speed.
    if (stopped()) {
        Log(view_.StoppedText());
        return app::Outcome::Cancelled("stopped before the upload began: nothing was sent");
    }

    std::vector<std::string> notices;  // shown once the link is let go
    app::Outcome end = Send(address, lines, size, stopped, notices);
    for (const auto& text : notices) s_.Op().ShowMessageBox(text);
    return end;
}

app::Outcome Uploader::Send(const std::string& address, const std::vector<std::string>& lines, std::uint32_t size,
                            const std::function<bool()>& stopped, std::vector<std::string>& notices) {
    auto& link = s_.Link();
    auto& st = s_.State();
    // Shown once the hold is released.
    const auto applyBaud = [&link, &notices] {
        link::BaudRateChange change = link.ApplyBaudRate();
        notices.insert(notices.end(), change.failures.begin(), change.failures.end());
        return change.applied;
    };
    // The box takes nothing but image lines from "PR" to its closing line:
    // no other exchange may fall in between.
    auto hold = link.Hold();

    st.CommandText = address + "BR=57600\r\n";
    st.ReplyText = link.SendCommand(st.CommandText);
    if (st.ReplyText != "57600")
        return app::Outcome::NoAnswer("the box at " + address +
                                      " did not answer \"BR=57600\" with \"57600\"; nothing was sent");

    link.SetLinkBaudRate(57600);
    if (applyBaud()) Log("Baud rate changed to 57600");

    st.CommandText = address + "PR\r\n";
    Log("PR command sent to Bravik");
    st.ReplyText = link.SendCommand(st.CommandText);
    Log(st.ReplyText);

    std::uint32_t bytesSent = 0;
    const bool ready = st.ReplyText == "READY";
    if (!ready) {
        Log("Bravik not ready");
    } else {
        Log("Size of file is " + std::to_string(size));
        Log("Sending new program...");
        view_.ShowProgress(size);
        for (const auto& text : lines) {
            if (stopped()) {
                GiveUp(view_.StoppedText(), notices);
                return app::Outcome::Cancelled("stopped half way: the box has no whole program");
            }
            const std::string line = text + "\r\n";
            bytesSent += static_cast<std::uint32_t>(line.size());
            view_.SetProgress(bytesSent);
            st.ReplyText = link.SendCommand(line);
            int resends = 0;
            while (st.ReplyText == "SA") {
                if (resends == kMaxResends) {
                    const std::string why =
                        "Gave up: the box asked for the same line " + std::to_string(kMaxResends + 1) + " times";
                    GiveUp(why, notices);
                    return app::Outcome::BoxError(why);
                }
                Log("Send Again!   " + line);
                st.ReplyText = link.SendCommand(line);
                ++resends;
            }
            // Silence, after a first send or a resend, counts as an abort
            // without a code: going on would leave a hole in the image.
            if (st.ReplyText == link::kNoConnect) st.ReplyText = "AB ";
            if (st.ReplyText.compare(0, 2, "AB") == 0) {
                const std::string why = "Error Code : " + st.ReplyText.substr(2, 2);
                GiveUp(why, notices);
                return app::Outcome::BoxError(why);
            }
        }
    }

    Log("Finished");
    Log("Bytes sent = " + std::to_string(bytesSent));
    view_.HideProgress();
    Log(view_.TimeOfDay());
    Log("Please wait for Bravik to Copy........");
    bool unplugged = false;
    {
        // The copy wait's own time-out, read in one-second slices (nothing is
        // written between them), so that a stop ends it too.
        // The link's setting is left as it is.
        constexpr int kSlices = 20;
        st.ReplyText = std::string(link::kNoConnect);
        for (int slice = 0; slice < kSlices && st.ReplyText == link::kNoConnect && !stopped() && !unplugged;
             ++slice) {
            const link::Reply reply = link.Exchange(std::string(link::kNoWrite), {kCopyWait / kSlices});
            st.ReplyText = reply.text;
            unplugged = reply.outcome == link::ExchangeOutcome::HangUp || reply.outcome == link::ExchangeOutcome::NotOpen;
        }
    }
    Log(st.ReplyText);
    // Not a silent box: whether it took the program is unknown.
    if (unplugged) Log("The adapter was unplugged while the box copied the program");
    const bool copied = st.ReplyText != link::kNoConnect;
    Log(view_.TimeOfDay());
    link.SetLinkBaudRate(9600);
    if (applyBaud()) {
        Log("Baud Rate changed to 9600");
        Log("Update complete");
    } else {
        Log("BaudRate not changed");
    }
    if (!ready) return app::Outcome::NoAnswer("the box at " + address + " did not answer \"READY\" to \"PR\"");
    if (unplugged)
        return app::Outcome::NoAnswer("the adapter was unplugged while the box copied the program: whether it took "
                                      "it is unknown; ask its version (VER) once the adapter is back");
    if (!copied) return app::Outcome::NoAnswer("the box sent no closing line within 20 s of the image");
    return app::Outcome::Done();
}

void Uploader::GiveUp(const std::string& why, std::vector<std::string>& notices) {
    auto& link = s_.Link();
    Log("Bravik Aborting Communications");
    Log(why);
    link.SetLinkBaudRate(9600);
    link::BaudRateChange change = link.ApplyBaudRate();
    notices.insert(notices.end(), change.failures.begin(), change.failures.end());
    Log("Sorry your having trouble. Goodbye");
    view_.HideProgress();
    // The operator connects anew before the next exchange.
    link.ClosePort();
}

}  // namespace tessary::firmware
