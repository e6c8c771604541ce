#include "cli/Console.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <thread>

namespace tessary::cli {

void Progress::Show(const std::string& text) {
    if (!enabled_) return;
    // Blanks over the tail of a longer line shown before.
    const std::size_t pad = shown_ > text.size() ? shown_ - text.size() : 0;
    err_ << '\r' << text << std::string(pad, ' ') << std::flush;
    shown_ = text.size();
}

void Progress::Count(const std::string& label, long long done, long long total) {
    Show(label + " " + std::to_string(done) + (total > 0 ? "/" + std::to_string(total) : std::string()));
}

void Progress::End() {
    if (!enabled_ || shown_ == 0) return;
    err_ << '\n' << std::flush;
    shown_ = 0;
}

void ConsoleOperator::ShowMessageBox(const std::string& text) {
    messages.push_back(text);
    err_ << "tessary-cli: " << text << '\n' << std::flush;
}

void ConsoleOperator::ProcessEvents() {
    if (stop_.Requested() && onStop) onStop();
}

void ConsoleOperator::WaitForEvents(int maxMs) {
    // In slices, so a stop is seen within a twentieth of a second.
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(maxMs);
    while (!stop_.Requested() && std::chrono::steady_clock::now() < until)
        std::this_thread::sleep_for(std::chrono::milliseconds(std::min(maxMs, 50)));
    ProcessEvents();
}

void ConsoleOperator::NeedChoice(const std::string& option) {
    if (missingChoice.empty()) missingChoice = option;
}

void ConsoleSearchView::ShowProbe(const std::string& port, std::uint32_t baud) {
    where_ = "probing " + port + " at " + std::to_string(baud);
}

void ConsoleSearchView::ShowScanAddress(const std::string& address) { where_ = "scanning " + address; }

void ConsoleSearchView::ShowProgress(int done, int total) { progress_.Count(where_.empty() ? "search" : where_, done, total); }

std::string JsonString(std::string_view text) {
    std::string out = "\"";
    for (const char ch : text) {
        const auto c = static_cast<unsigned char>(ch);
        switch (c) {
        case '"': out += "\\\""; break;
        case '\\': out += "\\\\"; break;
        case '\n': out += "\\n"; break;
        case '\r': out += "\\r"; break;
        case '\t': out += "\\t"; break;
        default:
            if (c < 0x20 || c >= 0x7F) {
                char buf[8];
                std::snprintf(buf, sizeof buf, "\\u%04X", static_cast<unsigned>(c));
                out += buf;
            } else {
                out += ch;
            }
        }
    }
    return out + "\"";
}

JsonObject& JsonObject::AddRaw(const std::string& key, const std::string& json) {
    if (!body_.empty()) body_ += ",";
    body_ += JsonString(key) + ":" + json;
    return *this;
}

JsonObject& JsonObject::Add(const std::string& key, std::string_view text) { return AddRaw(key, JsonString(text)); }

JsonObject& JsonObject::AddNumber(const std::string& key, long long value) {
    return AddRaw(key, std::to_string(value));
}

std::string JsonArray(const std::vector<std::string>& items) {
    std::string s = "[";
    for (std::size_t i = 0; i < items.size(); ++i) s += (i ? "," : "") + items[i];
    return s + "]";
}

}  // namespace tessary::cli
