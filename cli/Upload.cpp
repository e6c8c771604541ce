// upload FILE: the "Update Bravik Software" page's flow; its status box is
// standard output.

#include "cli/Rig.h"
#include "firmware/Upload.h"
#include "link/Files.h"
#include "link/System.h"

#include <atomic>
#include <chrono>
#include <ctime>
#include <thread>

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
    if (rig.stop.Requested()) return rig.Fail(kNoAnswer, "stopped by a signal before the upload began");

    ConsoleFirmwareView view(rig, rig.inv.operands[0]);
    firmware::Uploader uploader(*rig.session, view);
    // A second signal stops the upload before its next line.
    std::atomic<bool> done{false};
    std::thread watcher([&] {
        // Asked again and again: the upload clears the request when it starts.
        for (; !done.load(); std::this_thread::sleep_for(std::chrono::milliseconds(20)))
            if (rig.stop.Insisted()) uploader.RequestStop();
    });
    const firmware::UploadEnd end = uploader.BitBtn1Click(address);
    done.store(true);
    watcher.join();
    rig.progress.End();
    switch (end) {
    case firmware::UploadEnd::Finished: return kDone;
    case firmware::UploadEnd::NotReady:
        return rig.Fail(kNoAnswer, "the box at " + address + " did not answer \"READY\" to \"PR\"");
    case firmware::UploadEnd::NoCopyAnswer:
        return rig.Fail(kNoAnswer, "the box sent no closing line within 20 s of the image");
    case firmware::UploadEnd::Unplugged:
        return rig.Fail(kNoAnswer, "the adapter was unplugged while the box copied the program: whether it took it "
                                   "is unknown; ask its version (VER) once the adapter is back");
    case firmware::UploadEnd::FileProblem: return kFileError;
    case firmware::UploadEnd::NoSpeedAnswer:
        return rig.Fail(kNoAnswer, "the box at " + address + " did not answer \"BR=57600\" with \"57600\"; nothing was sent");
    case firmware::UploadEnd::Stopped: return rig.Fail(kNoAnswer, "stopped by a signal half way: the box has no whole program");
    case firmware::UploadEnd::NotSent:  // only without --yes: a usage error follows
    case firmware::UploadEnd::Cancelled:
    case firmware::UploadEnd::Aborted: break;
    }
    return kNoAnswer;
}

}  // namespace tessary::cli
