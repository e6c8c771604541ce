#pragma once
// Texts that come from files or boxes can be of any length (a 1 MB INI value, a
// box streaming noise). Wherever such a text is shown in a notice, a label or
// the status bar it is cut to a readable length first.

#include <cstddef>
#include <string>
#include <string_view>

namespace tessary::app {

inline constexpr std::size_t kShownTextMax = 300;

// `text` itself when it is at most `max` characters, else its first `max`
// characters and "...".
inline std::string ShownText(std::string_view text, std::size_t max = kShownTextMax) {
    if (text.size() <= max) return std::string(text);
    return std::string(text.substr(0, max)) + "...";
}

}  // namespace tessary::app
