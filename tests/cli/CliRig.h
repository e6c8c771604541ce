#pragma once
// Runs tessary-cli in-process on a simulated line.

#include "cli/Cli.h"
#include "sim/Line.h"

#include <atomic>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <unistd.h>

namespace tessary::clitest {

using Strings = std::vector<std::string>;

struct CliRun {
    int rc = -1;
    std::string out, err;
};

struct CliRig {
    std::filesystem::path dir =
        std::filesystem::temp_directory_path() / ("tessary_cli_" + std::to_string(::getpid()));
    bravik::sim::Line line;
    std::atomic<int> signals{0};

    explicit CliRig(bravik::sim::LineConfig config = bravik::sim::demoLine()) : line(std::move(config)) {
        std::filesystem::create_directories(dir / "dev");
        std::ofstream(Path("empty.ini"));
        line.start();
    }
    ~CliRig() { std::filesystem::remove_all(dir); }
    std::string Path(const std::string& leaf) const { return (dir / leaf).string(); }

    // tessary-cli ARGS on this line's COM1 with an INI file of no settings.
    CliRun Run(Strings args, bool onLine = true) {
        if (onLine) args.insert(args.end(), {"--port", "COM1=" + line.slavePath(), "--ini", Path("empty.ini")});
        std::ostringstream out, err;
        cli::Environment env{out, err, false, &signals, Path("dev"), Path("sys"), {}, Path("by-id"), Path("by-path")};
        CliRun r;
        r.rc = cli::Run(args, env);
        r.out = out.str();
        r.err = err.str();
        return r;
    }

    // What the boxes heard since the last call, as "text@baud".
    Strings Heard() {
        Strings out;
        for (const auto& t : line.traffic())
            if (t.dir == bravik::sim::Traffic::Dir::FromPc) out.push_back(t.text + "@" + std::to_string(t.baud));
        line.clearTraffic();
        return out;
    }
};

}  // namespace tessary::clitest
