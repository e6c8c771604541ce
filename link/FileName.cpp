#include "link/Files.h"

#include <algorithm>

namespace tessary::link {

std::string FileNamePart(std::string_view boxText) {
    const auto unsafe = [](char c) {
        const auto byte = static_cast<unsigned char>(c);
        return byte < 0x20 || byte >= 0x7f || std::string_view("/\\:*?\"<>|").find(c) != std::string_view::npos;
    };
    std::string name;
    for (std::size_t i = 0; i < boxText.size();) {
        if (boxText[i] == '.') {
            const std::size_t end = std::min(boxText.find_first_not_of('.', i), boxText.size());
            name.push_back(end - i > 1 ? '_' : '.');  // ".." names the folder above
            i = end;
            continue;
        }
        name.push_back(unsafe(boxText[i]) ? '_' : boxText[i]);
        ++i;
    }
    const auto trimEnd = [&name] {
        while (!name.empty() && (name.back() == '.' || name.back() == ' ')) name.pop_back();
    };
    name.erase(0, std::min(name.find_first_not_of("-. "), name.size()));
    if (name.size() > kMaxFileNamePart) name.resize(kMaxFileNamePart);
    trimEnd();
    return name.empty() ? "unknown" : name;
}

}  // namespace tessary::link
