#include "link/Files.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <filesystem>
#include <unistd.h>

namespace {

TEST(LineFileLinux, CaptureFilesAreNotInheritedByProgramsWeStart) {
    tessary::link::LineFile file;
    const auto path = (std::filesystem::temp_directory_path() / ("tessary_cloexec_" + std::to_string(::getpid()))).string();
    ASSERT_EQ(file.Open(path, tessary::link::LineFile::Mode::Append), "");
    int seen = 0;
    for (const auto& fd : std::filesystem::directory_iterator("/proc/self/fd")) {
        if (std::error_code ec; std::filesystem::read_symlink(fd.path(), ec) == path) {
            ++seen;
            EXPECT_TRUE(::fcntl(std::stoi(fd.path().filename().string()), F_GETFD) & FD_CLOEXEC);
        }
    }
    EXPECT_EQ(seen, 1);
    file.Close();
    std::filesystem::remove(path);
}

}  // namespace
