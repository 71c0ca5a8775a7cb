// Windows paths and the user name in the shell layer: a drive means a folder only when
// one is set, and the user name follows the buffer rules of the call it stands for.
#include "Shell.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

TEST(ShellWindowsPath, ADriveMapsOnlyWhenSet)
{
    const QString virtualCopy = QStringLiteral("C:\\Users\\ann\\AppData\\Local\\VirtualStore\\ProgramData\\Kestrovan\\KyrCust.dbf");
    EXPECT_EQ(WindowsPathToLocal(virtualCopy), QString());
    SetDriveFolder('c', QStringLiteral("/srv/windows/"));
    EXPECT_EQ(WindowsPathToLocal(virtualCopy),
              QStringLiteral("/srv/windows/Users/ann/AppData/Local/VirtualStore/ProgramData/Kestrovan/KyrCust.dbf"));
    EXPECT_EQ(WindowsPathToLocal(QStringLiteral("D:\\x")), QString());
    EXPECT_EQ(WindowsPathToLocal(QStringLiteral("relative\\x")), QString());
    SetDriveFolder('C', QString());
    EXPECT_EQ(WindowsPathToLocal(virtualCopy), QString());
}

TEST(ShellUserName, BufferRules)
{
    const auto saved = UserNameSource;
    UserNameSource = [] { return QByteArray("ann"); };
    char buf[101];
    DWORD size = sizeof buf;
    ASSERT_TRUE(GetUserNameA(buf, &size));
    EXPECT_STREQ(buf, "ann");
    EXPECT_EQ(size, 4u);

    size = 3;  // no room for the terminator
    EXPECT_FALSE(GetUserNameA(buf, &size));
    EXPECT_EQ(size, 4u);

    UserNameSource = [] { return QByteArray(); };
    size = sizeof buf;
    EXPECT_FALSE(GetUserNameA(buf, &size));
    UserNameSource = nullptr;
    EXPECT_FALSE(GetUserNameA(buf, &size));

    UserNameSource = saved;
    size = sizeof buf;
    EXPECT_TRUE(GetUserNameA(buf, &size));  // the login name
    EXPECT_GT(std::strlen(buf), 0u);
}

} // namespace
