#pragma once
// The firmware upload behind the "Update Bravik Software" page: the program
// image goes to the box line by line at 57600 baud, each line its own exchange.

#include "app/Session.h"

#include <atomic>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace tessary::firmware {

inline constexpr const char* kImageFilter = "Bravik Hex|*.hex|All Files|*.*";
// A box that keeps answering "SA" to one line gets it this many times more,
// then the upload gives up as if the box had aborted.
inline constexpr int kMaxResends = 10;
// Larger files are refused like a file that cannot be read.
inline constexpr std::uint32_t kMaxImageBytes = 64u * 1024 * 1024;

// What the upload shows and asks. The first two block (the flow calls them
// before it holds the link); the rest must return at once, as they are called
// with the link held.
class FirmwareView {
public:
    virtual ~FirmwareView() = default;
    // The open dialog with its filter set to `filter`; empty when cancelled.
    virtual std::optional<std::string> PickImageFile(const std::string& filter) = 0;
    // The file failed the Intel HEX check; `report` lists the first bad lines.
    // True sends it anyway.
    virtual bool AskSendUncheckedImage(const std::string& report) = 0;

    virtual void Log(const std::string& line) = 0;  // a new last line of the status box
    virtual void ShowProgress(std::uint32_t maximum) = 0;  // range 1..maximum
    virtual void SetProgress(std::uint32_t position) = 0;
    virtual void HideProgress() = 0;
    virtual std::string TimeOfDay() = 0;  // now, in the system's time format
    // The status line of an upload stopped half way (RequestStop).
    virtual std::string StoppedText() const { return "Upload stopped: the window is closing"; }
};

// How an upload ended. NotReady and NoCopyAnswer run the flow to its end (the
// PC back at 9600) but the box did not take a new program, or did not say so.
enum class UploadEnd {
    Cancelled,
    FileProblem,
    NotSent,
    NoSpeedAnswer,
    NotReady,      // "PR" was not answered "READY": nothing of the image was sent
    Aborted,
    Stopped,
    NoCopyAnswer,  // every line sent, but no closing line within the copy wait
    Unplugged,     // every line sent, then the adapter was unplugged in the copy wait
    Finished,
};

// The notice for an image file that cannot be read: its path and the system's reason.
std::string ImageFileProblem(const std::string& path, const std::string& reason);

// The file as the upload sends it: split at line feeds, carriage returns
// dropped; a last piece without a line feed is a line too.
std::vector<std::string> ImageLines(const std::string& bytes);

class Uploader {
public:
    Uploader(app::Session& session, FirmwareView& view) : s_(session), view_(view) {}

    // The whole upload to the box at `address` (the page's address text).
    UploadEnd BitBtn1Click(const std::string& address);

    // From another thread: true from the file check to the end of the upload.
    bool Running() const { return running_.load(); }
    // From another thread (the window closing): the upload stops before its
    // next line, puts the PC back at 9600 and skips or ends the copy wait.
    void RequestStop() { stop_.store(true); }

private:
    UploadEnd Send(const std::string& address, const std::vector<std::string>& lines, std::uint32_t size,
                   std::vector<std::string>& notices);
    void GiveUp(const std::string& why, std::vector<std::string>& notices);
    void Log(const std::string& line) { view_.Log(line); }

    app::Session& s_;
    FirmwareView& view_;
    std::atomic<bool> running_{false};
    std::atomic<bool> stop_{false};
};

}  // namespace tessary::firmware
