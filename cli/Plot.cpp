// "plot": charts of capture and dump files, no line and no display.

#include "cli/Args.h"
#include "cli/Cli.h"
#include "link/Files.h"
#include "plot/ChartView.h"

#include <sstream>

namespace tessary::cli {

namespace {

int Usage(Environment& env, const std::string& text) {
    env.err << "tessary-cli: " << text << "\n(try tessary-cli plot --help)\n";
    return kUsage;
}

int Fail(Environment& env, const std::string& text) {
    env.err << "tessary-cli: " << text << '\n';
    return kFileError;
}

std::string WriteFile(const std::string& path, const std::string& bytes) {
    const link::InPlaceWrite w = link::WriteInPlace(path, bytes, false);
    return w.code == link::InPlaceWrite::Code::Written ? std::string() : w.error.empty() ? "not written" : w.error;
}

}  // namespace

int RunPlot(const Invocation& inv, Environment& env) {
    const int outputs = (inv.Has("--png") ? 1 : 0) + (inv.Has("--svg") ? 1 : 0) + (inv.Has("--csv") ? 1 : 0);
    if (outputs != 1) return Usage(env, "plot needs one of --png, --svg or --csv");
    long width = 1200, height = 700;
    if (inv.Has("--size")) {
        const std::string size = inv.Value("--size");
        const auto x = size.find('x');
        if (x == std::string::npos || !ParseWhole(size.substr(0, x), 200, 10000, width) ||
            !ParseWhole(size.substr(x + 1), 150, 10000, height))
            return Usage(env, "--size needs WxH, each 200 to 10000 pixels (150 for H), not \"" + size + "\"");
    }
    std::int64_t from = 0, to = 0;
    for (const char* name : {"--from", "--to"})
        if (inv.Has(name) && !plot::ParseTime(inv.Value(name), name[2] == 'f' ? from : to))
            return Usage(env, std::string(name) + " needs \"2007-05-17T12:30:03\" or \"2007/05/17, 12:30:03\", not \"" +
                                  inv.Value(name) + "\"");
    if (inv.Has("--png") && !env.writePng)
        return Usage(env, "PNG is not in this build of tessary-cli: use --svg or --csv");

    plot::ChartView view;
    view.title = inv.Value("--title");
    int rc = kDone;
    for (const auto& path : inv.operands) {
        plot::ChartFile file = plot::ReadChartFile(path);
        if (!file.error.empty()) {
            env.err << "tessary-cli: " << path << ": " << file.error << '\n';
            rc = kFileError;
            continue;
        }
        if (!file.Summary().empty()) env.err << "tessary-cli: " << path << ": " << file.Summary() << '\n';
        view.Add(std::move(file));
    }
    if (view.Files().empty()) return Fail(env, "nothing to draw");
    view.SetRange(inv.Has("--from") ? static_cast<double>(from) : view.FullFrom(),
                  inv.Has("--to") ? static_cast<double>(to) : view.FullTo());
    if (view.To() < view.From()) return Usage(env, "--to is before --from");

    std::string error, out;
    if (inv.Has("--csv")) {
        // Exactly the range asked: the view widens a range of a few seconds.
        std::ostringstream csv;
        plot::WriteCsv(csv, view.ShownSeries(), inv.Has("--from") ? from : static_cast<std::int64_t>(view.FullFrom()),
                       inv.Has("--to") ? to : static_cast<std::int64_t>(view.FullTo()));
        out = inv.Value("--csv");
        if (out == "-") env.out << csv.str();
        else error = WriteFile(out, csv.str());
    } else if (inv.Has("--svg")) {
        plot::SvgCanvas svg(static_cast<double>(width), static_cast<double>(height));
        view.Draw(svg, static_cast<double>(width), static_cast<double>(height));
        out = inv.Value("--svg");
        error = WriteFile(out, svg.Finish());
    } else {
        out = inv.Value("--png");
        error = env.writePng(view, static_cast<int>(width), static_cast<int>(height), out);
    }
    if (!error.empty()) return Fail(env, "cannot write " + out + ": " + error);
    return rc;
}

}  // namespace tessary::cli
