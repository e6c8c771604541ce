#pragma once
#include "firmware/Upload.h"

#include <fstream>
#include <optional>
#include <string>
#include <vector>

namespace tessary::testkit {

// Picks a scripted file, answers the image question by script, records the
// status log ("T" for each time of day) and the progress.
struct RecordingFirmwareView final : firmware::FirmwareView {
    std::optional<std::string> file;
    bool sendUnchecked = false;
    std::vector<std::string> log, asked, filters;
    std::uint32_t progressMax = 0, progress = 0;
    bool progressShown = false;

    std::optional<std::string> PickImageFile(const std::string& filter) override {
        filters.push_back(filter);
        return file;
    }
    bool AskSendUncheckedImage(const std::string& report) override {
        asked.push_back(report);
        return sendUnchecked;
    }
    void Log(const std::string& line) override { log.push_back(line); }
    void ShowProgress(std::uint32_t maximum) override {
        progressShown = true;
        progressMax = maximum;
    }
    void SetProgress(std::uint32_t position) override { progress = position; }
    void HideProgress() override { progressShown = false; }
    std::string TimeOfDay() override { return "T"; }
};

// Intel HEX records the box takes: a short data record, a full one, the end.
inline const std::string kRec1 = ":0400000001020304F2";
inline const std::string kRec2 = ":10001000000102030405060708090A0B0C0D0E0F68";
inline const std::string kEnd = ":00000001FF";

inline void WriteBytes(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

}  // namespace tessary::testkit
