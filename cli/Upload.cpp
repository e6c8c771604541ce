// upload FILE: the "Update Bravik Software" page's flow; its status box is
// standard output.

#include "cli/Rig.h"
#include "firmware/Upload.h"
#include "link/Files.h"
#include "link/System.h"

#include <ctime>

namespace tessary::cli {

namespace {

class ConsoleFirmwareView final : public firmware::FirmwareView {
public:
    ConsoleFirmwareView(Rig& rig, std::string path) : rig_(rig), path_(std::move(path)) {}

    std::optional<std::string> PickImageFile(const std::string&) override { return path_; }
    bool AskSendUncheckedImage(const std::string& report) override {
        rig_.env.err << "tessary-cli: " << path_ << " is not a clean Intel HEX image:\n" << report << '\n';
        if (!rig_.inv.Has("--yes")) rig_.op.NeedChoice("--yes to send it anyway");
        return rig_.inv.Has("--yes");
    }
    void Log(const std::string& line) override {
        rig_.progress.End();
        rig_.env.out << line << '\n' << std::flush;
    }
    void ShowProgress(std::uint32_t maximum) override { maximum_ = maximum; }
    void SetProgress(std::uint32_t position) override {
        if (rig_.stop.Requested() && !warned_) {
            warned_ = true;
            rig_.progress.End();
            rig_.env.err << "tessary-cli: the upload goes on to its end; a second signal stops it half way\n";
        }
        rig_.progress.Count("upload: bytes", position, maximum_);
    }
    void HideProgress() override { rig_.progress.End(); }
    std::string StoppedText() const override { return "Upload stopped: a second signal"; }
    std::string TimeOfDay() override {
        const std::tm local = link::LocalTime(std::time(nullptr));
        char buf[64];
        return std::string(buf, std::strftime(buf, sizeof buf, "%X", &local));
    }

private:
    Rig& rig_;
    std::string path_;
    std::uint32_t maximum_ = 0;
    bool warned_ = false;
};

}  // namespace

int RunUpload(Rig& rig) {
    const std::string address = rig.Address();
    if (address.empty()) return kUsage;
    // Looked at before the port is opened (the flow reads it, bounded, after).
    const std::string& image = rig.inv.operands[0];
    std::uint64_t size = 0;
    std::string why;
    if (!link::RegularFileSize(image, size, why)) return rig.Fail(kFileError, firmware::ImageFileProblem(image, why));
    if (!rig.Open()) return rig.openExit;
    if (const std::string refusal = firmware::FixedRateRefusal(*rig.session); !refusal.empty())
        return rig.Fail(kUsage, refusal);
    if (rig.stop.Requested()) return rig.Fail(kNoAnswer, "stopped by a signal before the upload began");

    ConsoleFirmwareView view(rig, rig.inv.operands[0]);
    firmware::Uploader uploader(*rig.session, view);
    // A second signal stops the upload before its next line.
    const app::Outcome end = uploader.Upload(address, [&rig] { return rig.stop.Insisted(); });
    rig.progress.End();
    // A refusal of the box is in the status log; a silence or a stop is said here.
    const bool untold = end.ending == app::Ending::NoAnswer || end.ending == app::Ending::Cancelled;
    if (untold && !end.text.empty()) return rig.Fail(kNoAnswer, end.text);
    // A file that was not sent without --yes: the usage error follows.
    return Rig::ExitFor(end);
}

}  // namespace tessary::cli
