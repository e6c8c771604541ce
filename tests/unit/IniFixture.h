#pragma once
// A folder of its own for each INI test, shared by the portable cases and the
// POSIX ones (FIFOs, modes, links, another user).

#include "app/IniFile.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <unistd.h>

using tessary::app::IniFile;
using Saved = IniFile::SaveResult;
namespace fs = std::filesystem;

struct IniFixture : ::testing::Test {
    fs::path dir = fs::temp_directory_path() / ("tessary_ini_" + std::to_string(::getpid()));
    void SetUp() override { fs::create_directories(dir); }
    void TearDown() override { fs::remove_all(dir); }
    std::string Write(const std::string& name, const std::string& text) {
        const auto p = (dir / name).string();
        std::ofstream(p, std::ios::binary) << text;
        return p;
    }
    std::string Read(const std::string& p) {
        std::ifstream in(p, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }
};
