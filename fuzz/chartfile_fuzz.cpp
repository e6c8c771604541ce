// Any bytes as a capture or dump file: read into series, drawn into columns,
// written as CSV. The series stay sorted and their points paired; every line
// is read or counted.

#include "plot/ChartData.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <sstream>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    const tessary::plot::ChartFile file = tessary::plot::ReadChartText("fuzz", text);
    if (file.notUnderstood > file.lines || (file.notUnderstood && file.firstNotUnderstood == 0)) __builtin_trap();
    if (file.series.empty() == file.error.empty()) __builtin_trap();
    std::vector<const tessary::plot::Series*> all;
    for (const auto& s : file.series) {
        if (s.t.size() != s.v.size() || s.t.empty() || !std::is_sorted(s.t.begin(), s.t.end())) __builtin_trap();
        const auto from = static_cast<double>(s.t.front()), to = static_cast<double>(s.t.back()) + 1;
        int last = -1;
        for (const auto& c : tessary::plot::Decimate(s, from, to, 50)) {
            if (c.x < last || c.x >= 50 || c.lo > c.hi) __builtin_trap();
            last = c.x;
        }
        all.push_back(&s);
    }
    std::ostringstream csv;
    if (!all.empty()) tessary::plot::WriteCsv(csv, all, all.front()->t.front(), all.front()->t.back());
    return 0;
}
