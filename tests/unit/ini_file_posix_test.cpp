#include "IniFixture.h"

#include <functional>
#include <sys/stat.h>
#include <sys/wait.h>

namespace {

// As an unprivileged user when run as root (root may read and write anything).
int AsOperator(const std::function<int()>& body) {
    if (::geteuid() != 0) return body();
    const pid_t pid = ::fork();
    if (pid == 0) _exit(::setgid(65534) == 0 && ::setuid(65534) == 0 ? body() : 99);
    int status = 0;
    ::waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 98;
}

TEST_F(IniFixture, SavingKeepsModeLinksAndWhatItMayNotReadOrWrite) {
    const std::string text = "[Communication]\nComPort=COM1\n";
    const auto p = Write("mode.ini", text);
    ::chmod(p.c_str(), 0640);
    fs::create_hard_link(p, dir / "hard.ini");
    fs::create_symlink(p, dir / "sym.ini");
    IniFile ini = IniFile::Load((dir / "sym.ini").string());
    ini.WriteString("Communication", "ComPort", "COM4");
    ASSERT_EQ(ini.Save((dir / "sym.ini").string()), Saved::Saved);
    EXPECT_TRUE(fs::is_symlink(dir / "sym.ini"));
    EXPECT_EQ(Read((dir / "hard.ini").string()), "[Communication]\nComPort=COM4\n");
    EXPECT_EQ(fs::status(p).permissions(), fs::perms(0640));

    ::chmod(dir.c_str(), 0777);
    const auto readOnly = Write("ro.ini", text), secret = Write("secret.ini", text);
    ::chmod(readOnly.c_str(), 0644);
    ::chmod(secret.c_str(), 0600);
    EXPECT_EQ(AsOperator([&] {
                  IniFile ro = IniFile::Load(readOnly), hidden = IniFile::Load(secret);
                  std::string why;
                  return ro.From() == IniFile::Origin::Read && ro.Save(readOnly, &why) == Saved::LeftAlone &&
                                 why == "Permission denied" && hidden.Problem() == "Permission denied" &&
                                 hidden.Save(secret) == Saved::LeftAlone
                             ? 0
                             : 1;
              }),
              0);
    EXPECT_EQ(Read(readOnly), text);
    EXPECT_EQ(Read(secret), text);
}

}  // namespace
