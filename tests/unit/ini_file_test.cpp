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

// ASCII and Latin-1 as UTF-16 with its byte order mark.
std::string Utf16(const std::string& latin1, bool big) {
    std::string out = big ? "\xFE\xFF" : "\xFF\xFE";
    for (char c : latin1) out += big ? std::string{'\0', c} : std::string{c, '\0'};
    return out;
}

TEST_F(IniFixture, ByteOrderMarkAndEachLinesOwnLineEndAreKept) {
    const std::pair<std::string, std::string> cases[] = {
        // UTF-16 both ways round is read, and written back as UTF-16.
        {Utf16("; Pr\xFC" "fstand\r\n[Communication]\r\nComPort=COM1\r\n", false),
         Utf16("; Pr\xFC" "fstand\r\n[Communication]\r\nComPort=COM2\r\nAddr1=#01\r\n", false)},
        {Utf16("[Communication]\nComPort=COM1", true), Utf16("[Communication]\nComPort=COM2\nAddr1=#01", true)},
        // CR alone ends lines too: the section is found, new lines take CR.
        {"[Communication]\rComPort=COM1\r[Later]\r", "[Communication]\rComPort=COM2\rAddr1=#01\r[Later]\r"},
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
    // Not understood: the defaults, a reason, and the file left as it was.
    for (const std::string& text : {Utf16("[Communication]\r\nComPort=COM1", false) + "\n",
                                    Utf16("[Communication]\n", true) + std::string{'\xD8', '\0'}, Utf16("[Communication]", false).substr(2)}) {
        const auto p = Write("f.ini", text);
        IniFile ini = IniFile::Load(p);
        EXPECT_EQ(ini.From(), IniFile::Origin::Unreadable);
        EXPECT_NE(ini.Problem(), "");
        ini.WriteString("Communication", "ComPort", "COM2");
        EXPECT_EQ(ini.Save(p), Saved::LeftAlone);
        EXPECT_EQ(Read(p), text);
    }
}

}  // namespace
