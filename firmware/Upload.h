#pragma once
// The firmware upload behind the "Update Bravik Software" page: the program
// image goes to the box line by line at 57600 baud, each line its own exchange.

#include "app/Outcome.h"
#include "app/Session.h"

#include <atomic>
#include <cstdint>
#include <functional>
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

// Empty when the open line can go to 57600; otherwise why not, naming the line
// ("the line COM1 = tcp://... cannot change its rate; ...").
std::string FixedRateRefusal(app::Session& session);

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
    // The status line of an upload stopped by its stop predicate.
    virtual std::string StoppedText() const { return "Upload stopped: the window is closing"; }
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
    // `stopRequested` (any thread's flag, read on the line) is asked before
    // the speed change, before each line and in the copy wait: true before the
    // speed change sends nothing; later, the upload puts the PC back at 9600
    // and ends. Done: the box said it copied the program. NoAnswer (the text
    // says what was missing) and a refusal (BoxError) are in the status log;
    // NotReady and a silent copy still put the PC back at 9600.
    app::Outcome Upload(const std::string& address, const std::function<bool()>& stopRequested = {});

    // From another thread: true from the file check to the end of the upload.
    bool Running() const { return running_.load(); }

private:
    app::Outcome Send(const std::string& address, const std::vector<std::string>& lines, std::uint32_t size,
                      const std::function<bool()>& stopped, std::vector<std::string>& notices);
    void GiveUp(const std::string& why, std::vector<std::string>& notices);
    void Log(const std::string& line) { view_.Log(line); }

    app::Session& s_;
    FirmwareView& view_;
    std::atomic<bool> running_{false};
};

}  // namespace tessary::firmware
