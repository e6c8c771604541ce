#include "app/IniFile.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>

using tessary::app::IniFile;
namespace fs = std::filesystem;

namespace {

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

TEST_F(IniFixture, ReadsWithDefaultsAndRejectsBadIntegers) {
    const auto p = Write("a.ini",
                         "; hand-edited\r\n[communication]\r\n  baudrate = 19200 \r\nComPort=\"COM2\"\r\n"
                         "Addr1=#01\r\nBad=96x0\r\nBig=99999999999\r\nNeg=-5\r\n[Other]\r\nAddr2=#09\r\n");
    const IniFile ini = IniFile::Load(p);
    EXPECT_EQ(ini.ReadInteger("Communication", "BaudRate", 9600), 19200);
    EXPECT_EQ(ini.ReadString("Communication", "ComPort", "COM1"), "COM2");
    EXPECT_EQ(ini.ReadString("Communication", "Addr1", ""), "#01");
    EXPECT_EQ(ini.ReadString("Communication", "Addr2", "none"), "none") << "other section's key";
    EXPECT_EQ(ini.ReadInteger("Communication", "Bad", 7), 7);
    EXPECT_EQ(ini.ReadInteger("Communication", "Big", 7), 7);
    EXPECT_EQ(ini.ReadInteger("Communication", "Neg", 7), -5);
    EXPECT_EQ(ini.ReadInteger("Communication", "Missing", 7), 7);

    const IniFile none = IniFile::Load((dir / "missing.ini").string());
    EXPECT_EQ(none.ReadInteger("Communication", "BaudRate", 9600), 9600);
    EXPECT_EQ(none.ReadString("Communication", "ComPort", "COM1"), "COM1");
}

TEST_F(IniFixture, WritingOneKeyKeepsEveryOtherLine) {
    const std::string before =
        "; Tessary settings\n[Ports]\nCOM1=/dev/ttyUSB0\n\n[Communication]\nBaudRate=9600\n"
        "# the box on the bench\nComPort=COM1\n\n[Later]\nx=1\n";
    const auto p = Write("b.ini", before);
    IniFile ini = IniFile::Load(p);
    ini.WriteInteger("Communication", "BaudRate", 57600);
    ini.WriteString("Communication", "Addr1", "#05");  // new key: after the section's last key
    ini.WriteString("Fresh", "k", "v");                 // new section: at the end
    ASSERT_TRUE(ini.Save(p));
    EXPECT_EQ(Read(p),
              "; Tessary settings\n[Ports]\nCOM1=/dev/ttyUSB0\n\n[Communication]\nBaudRate=57600\n"
              "# the box on the bench\nComPort=COM1\nAddr1=#05\n\n[Later]\nx=1\n\n[Fresh]\nk=v\n");
    EXPECT_FALSE(fs::exists(p + ".tmp"));
}

TEST_F(IniFixture, NewFileUsesCrLfAndItsFolderIsCreated) {
    const auto p = (dir / "sub" / "Tessary.ini").string();
    IniFile ini = IniFile::Load(p);
    ini.WriteString("Communication", "ComPort", "COM3");
    ini.WriteString("Communication", "Addr1", "");
    ASSERT_TRUE(ini.Save(p));
    EXPECT_EQ(Read(p), "[Communication]\r\nComPort=COM3\r\nAddr1=\r\n");

    std::string error;
    EXPECT_FALSE(IniFile().Save("/proc/tessary/x.ini", &error));
    EXPECT_FALSE(error.empty());
}

}  // namespace
