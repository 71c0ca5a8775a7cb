// The read-only registry reader on the in-memory tree, and the Linux view of the serial
// device map built from a sysfs-like tree and KESTROVAN_SERIAL_PORTS.
#include "Registry.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <memory>

namespace {

TEST(Win32Registry, ReaderOpensKeysAndReadsTypedValues)
{
    auto mem = std::make_shared<TMemoryRegistry>();
    mem->SetString(HKEY_LOCAL_MACHINE, QStringLiteral("\\Soft\\App"), QStringLiteral("Path"), QStringLiteral("C:\\x"));
    mem->SetBinary(HKEY_LOCAL_MACHINE, QStringLiteral("Soft\\App"), QStringLiteral("Blob"), QByteArray("\x01\x02", 2));
    mem->SetInteger(HKEY_LOCAL_MACHINE, QStringLiteral("Soft\\App"), QStringLiteral("Count"), 7);
    mem->AddKey(HKEY_LOCAL_MACHINE, QStringLiteral("Soft\\App\\Sub1"));
    mem->AddKey(HKEY_LOCAL_MACHINE, QStringLiteral("Soft\\App\\Sub2"));
    mem->SetString(HKEY_CURRENT_USER, QStringLiteral("Soft\\App"), QStringLiteral("Path"), QStringLiteral("user"));
    SetRegistryBackend(mem);

    TRegistry r;
    r.RootKey = HKEY_LOCAL_MACHINE;
    EXPECT_FALSE(r.OpenKeyReadOnly(QStringLiteral("\\Soft\\Missing")));
    ASSERT_TRUE(r.OpenKeyReadOnly(QStringLiteral("\\SOFT\\app")));  // letter case does not matter
    QStringList names;
    r.GetValueNames(names);
    EXPECT_EQ(names, (QStringList{"Path", "Blob", "Count"}));
    EXPECT_EQ(r.GetDataType(QStringLiteral("path")), rdString);
    EXPECT_EQ(r.GetDataType(QStringLiteral("Blob")), rdBinary);
    EXPECT_EQ(r.GetDataType(QStringLiteral("Count")), rdInteger);
    EXPECT_EQ(r.GetDataType(QStringLiteral("None")), rdUnknown);
    EXPECT_EQ(r.ReadString(QStringLiteral("Path")), QStringLiteral("C:\\x"));
    EXPECT_THROW(r.ReadString(QStringLiteral("Blob")), ERegistryException);
    unsigned char buf[4] = {};
    EXPECT_EQ(r.ReadBinaryData(QStringLiteral("Blob"), buf, 4), 2);
    EXPECT_EQ(buf[1], 2);
    EXPECT_THROW(r.ReadBinaryData(QStringLiteral("Blob"), buf, 1), ERegistryException);
    EXPECT_THROW(r.ReadBinaryData(QStringLiteral("Path"), buf, 4), ERegistryException);
    EXPECT_EQ(r.GetDataSize(QStringLiteral("Blob")), 2);
    EXPECT_TRUE(r.HasSubKeys());
    r.GetKeyNames(names);
    EXPECT_EQ(names, (QStringList{"Sub1", "Sub2"}));
    // A relative path opens below the open key.
    ASSERT_TRUE(r.OpenKeyReadOnly(QStringLiteral("Sub1")));
    EXPECT_EQ(r.CurrentPath, QStringLiteral("SOFT\\app\\Sub1"));
    EXPECT_FALSE(r.HasSubKeys());
    r.CloseKey();
    // Roots are separate trees.
    TRegistry u;
    u.RootKey = HKEY_CURRENT_USER;
    ASSERT_TRUE(u.OpenKeyReadOnly(QStringLiteral("\\Soft\\App")));
    EXPECT_EQ(u.ReadString(QStringLiteral("Path")), QStringLiteral("user"));
    SetRegistryBackend(nullptr);
}

struct FakeSysfs {
    QTemporaryDir dir;
    void Tty(const QString& name, bool device, const char* type = nullptr)
    {
        QDir d(dir.path());
        d.mkpath(name);
        if (device)
            d.mkpath(name + QStringLiteral("/device"));
        if (type) {
            QFile f(d.filePath(name + QStringLiteral("/type")));
            f.open(QIODevice::WriteOnly);
            f.write(type);
        }
    }
};

struct EnvGuard {
    QByteArray old;
    bool had;
    explicit EnvGuard(const QByteArray& value) : old(qgetenv("KESTROVAN_SERIAL_PORTS")), had(qEnvironmentVariableIsSet("KESTROVAN_SERIAL_PORTS"))
    {
        qputenv("KESTROVAN_SERIAL_PORTS", value);
    }
    ~EnvGuard()
    {
        if (had)
            qputenv("KESTROVAN_SERIAL_PORTS", old);
        else
            qunsetenv("KESTROVAN_SERIAL_PORTS");
    }
};

TEST(Win32Registry, LinuxViewListsPresentPortsExtraPathsFirst)
{
    FakeSysfs sys;
    ASSERT_TRUE(sys.dir.isValid());
    sys.Tty(QStringLiteral("ttyUSB10"), true);
    sys.Tty(QStringLiteral("ttyUSB2"), true);
    sys.Tty(QStringLiteral("ttyACM0"), true);
    sys.Tty(QStringLiteral("ttyS0"), true, "4\n");   // a real UART
    sys.Tty(QStringLiteral("ttyS1"), true, "0\n");   // no UART behind it
    sys.Tty(QStringLiteral("ttyS2"), true);          // no type at all
    sys.Tty(QStringLiteral("tty1"), false);          // a virtual console
    sys.Tty(QStringLiteral("ttyAMA0"), true);
    sys.Tty(QStringLiteral("ttyUSB3"), true);        // also listed by path: once only
    EnvGuard env("/dev/pts/4::relative/ignored:/tmp/sim/instrument:/dev/pts/4:/dev/ttyUSB3");

    auto view = std::make_shared<TLinuxRegistry>(sys.dir.path());
    QStringList ports;
    for (auto& [name, port] : view->SerialCommMap())
        ports << port;
    EXPECT_EQ(ports, (QStringList{"/dev/pts/4", "/tmp/sim/instrument", "/dev/ttyUSB3", "ttyACM0", "ttyUSB2",
                                  "ttyUSB10", "ttyAMA0", "ttyS0"}));

    // Through the reader: one string value per port under the device map.
    SetRegistryBackend(view);
    TRegistry r;
    r.RootKey = HKEY_LOCAL_MACHINE;
    ASSERT_TRUE(r.OpenKeyReadOnly(QStringLiteral("\\hardware\\devicemap\\serialcomm")));
    QStringList names;
    r.GetValueNames(names);
    ASSERT_EQ(names.size(), ports.size());
    QStringList read;
    for (const QString& n : names) {
        EXPECT_EQ(r.GetDataType(n), rdString);
        read << r.ReadString(n);
    }
    EXPECT_EQ(read, ports);
    EXPECT_FALSE(r.OpenKeyReadOnly(QStringLiteral("\\enum")));
    TRegistry user;
    EXPECT_FALSE(user.OpenKeyReadOnly(QStringLiteral("\\hardware\\devicemap\\serialcomm")));
    SetRegistryBackend(nullptr);
}

}  // namespace
