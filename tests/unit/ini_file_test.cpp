#include "IniFixture.h"

namespace {

TEST_F(IniFixture, ReadsWithDefaultsAndRejectsBadIntegers) {
    const auto p = Write("a.ini",
                         "; hand-edited\r\n[communication]\r\n  baudrate = 19200 \r\nComPort=\"COM2\"\r\n"
                         "Addr1=#01\r\nBad=96x0\r\nBig=99999999999\r\nNeg=-5\r\n[Other]\r\nAddr2=#09\r\n");
    const IniFile ini = IniFile::Load(p);
    EXPECT_EQ(ini.ReadInteger("Communication", "BaudRate", 9600), 19200);
    EXPECT_EQ(ini.ReadString("Communication", "ComPort", "COM1"), "COM2");
    EXPECT_EQ(ini.ReadString("Communication", "Addr2", "none"), "none") << "other section's key";
    for (const auto& [key, value] : {std::pair{"Bad", 7}, {"Big", 7}, {"Neg", -5}, {"Missing", 7}})
        EXPECT_EQ(ini.ReadInteger("Communication", key, 7), value) << key;

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
    ASSERT_EQ(ini.Save(p), Saved::Saved);
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
    ASSERT_EQ(ini.Save(p), Saved::Saved);
    EXPECT_EQ(Read(p), "[Communication]\r\nComPort=COM3\r\nAddr1=\r\n");

    std::string error;
    EXPECT_EQ(IniFile().Save("/proc/tessary/x.ini", &error), Saved::Failed);
    EXPECT_FALSE(error.empty());
}

TEST_F(IniFixture, ByteOrderMarkAndEachLinesOwnLineEndAreKept) {
    const std::pair<std::string, std::string> cases[] = {
        // The section after a byte order mark is found, not appended again.
        {"\xEF\xBB\xBF[Communication]\r\nComPort=COM1\r\n", "\xEF\xBB\xBF[Communication]\r\nComPort=COM2\r\nAddr1=#01\r\n"},
        // One CR LF line in an LF file stays the only one; new lines take the file's way.
        {"[Communication]\nComPort=COM1\r\n; x\n", "[Communication]\nComPort=COM2\r\nAddr1=#01\n; x\n"},
        // No line end after the last line: the new last line has none either.
        {"[Communication]\r\nComPort=COM1", "[Communication]\r\nComPort=COM2\r\nAddr1=#01"},
        // A CR at the very end was half a line end: it is completed, not doubled.
        {"[Communication]\r\nComPort=COM1\r", "[Communication]\r\nComPort=COM2\r\nAddr1=#01\r\n"},
    };
    for (const auto& [before, after] : cases) {
        const auto p = Write("e.ini", before);
        IniFile ini = IniFile::Load(p);
        EXPECT_EQ(ini.Text(), before) << "read back unchanged";
        ini.WriteString("Communication", "ComPort", "COM2");
        ini.WriteString("Communication", "Addr1", "#01");
        ASSERT_EQ(ini.Save(p), Saved::Saved);
        EXPECT_EQ(Read(p), after);
    }
}

}  // namespace
