// The port list on an in-memory registry: the device map, the enumeration tree, the
// version test and the case-blind duplicate check.
#include "CommPortList.h"
#include "Registry.h"

#include <gtest/gtest.h>
#include <memory>

namespace {

const QString kMap = QStringLiteral("\\HARDWARE\\DEVICEMAP\\SERIALCOMM");
const QString kClass = QStringLiteral("\\System\\CurrentControlSet\\Services\\Class\\");

struct RegistryFixture {
    std::shared_ptr<TMemoryRegistry> Reg = std::make_shared<TMemoryRegistry>();
    RegistryFixture() { SetRegistryBackend(Reg); }
    ~RegistryFixture()
    {
        SetRegistryBackend(nullptr);
        SetVersionForTests(nullptr);
    }
    void Version(DWORD platform, DWORD major, DWORD minor, bool fails = false)
    {
        OSVERSIONINFOA v{};
        v.dwPlatformId = platform;
        v.dwMajorVersion = major;
        v.dwMinorVersion = minor;
        SetVersionForTests(&v, fails);
    }
    // A device of the enumeration tree with its driver's class key.
    void Device(const QString& path, const QString& cls, const QString& driver, const QString& port,
                const QByteArray* subClass)
    {
        Reg->SetString(HKEY_LOCAL_MACHINE, path, QStringLiteral("Class"), cls);
        Reg->SetString(HKEY_LOCAL_MACHINE, path, QStringLiteral("Driver"), driver);
        Reg->SetString(HKEY_LOCAL_MACHINE, path, QStringLiteral("PortName"), port);
        Reg->AddKey(HKEY_LOCAL_MACHINE, kClass + driver);
        if (subClass)
            Reg->SetBinary(HKEY_LOCAL_MACHINE, kClass + driver, QStringLiteral("PortSubClass"), *subClass);
    }
};

TEST(CommPortList, GetPlatformIdReadsTheVersionRecord)
{
    RegistryFixture f;
    OSVERSIONINFOA v;
    SetVersionForTests(nullptr);
    EXPECT_EQ(GetPlatformId(v), 2);
    EXPECT_EQ(v.dwOSVersionInfoSize, 148u);
    EXPECT_EQ(v.dwMajorVersion, 10u);
    EXPECT_EQ(v.dwMinorVersion, 0u);
    f.Version(1, 4, 10);
    EXPECT_EQ(GetPlatformId(v), 1);
    EXPECT_EQ(v.dwMinorVersion, 10u);
    f.Version(2, 5, 0, true);
    EXPECT_EQ(GetPlatformId(v), -1);
}

TEST(CommPortList, DeviceMapListsStringValuesOnceInOrder)
{
    RegistryFixture f;
    f.Reg->SetString(HKEY_LOCAL_MACHINE, kMap, QStringLiteral("\\Device\\Serial0"), QStringLiteral("COM1"));
    f.Reg->SetString(HKEY_LOCAL_MACHINE, kMap, QStringLiteral("\\Device\\Serial1"), QStringLiteral("COM3"));
    f.Reg->SetBinary(HKEY_LOCAL_MACHINE, kMap, QStringLiteral("\\Device\\Odd"), QByteArray("COM9"));
    f.Reg->SetString(HKEY_LOCAL_MACHINE, kMap, QStringLiteral("\\Device\\Usb0"), QStringLiteral("com3"));
    f.Reg->SetString(HKEY_LOCAL_MACHINE, kMap, QStringLiteral("\\Device\\Usb1"), QStringLiteral("COM3"));
    f.Reg->SetString(HKEY_LOCAL_MACHINE, kMap, QStringLiteral("\\Device\\Usb2"), QStringLiteral("COM7"));

    QStringList list{QStringLiteral("com7"), QStringLiteral("Keep")};
    EnumCommPorts(list);
    // Not cleared first; COM7 was there already (in other letters); com3 repeats COM3.
    EXPECT_EQ(list, (QStringList{"com7", "Keep", "COM1", "COM3"}));
}

TEST(CommPortList, VersionSelectsTheSource)
{
    const struct {
        DWORD platform, major, minor;
        bool fails;
        QStringList expected;
    } cases[] = {
        {2, 10, 0, false, {"COM1"}},  // NT family, later versions: the device map
        {2, 5, 0, false, {"COM1"}},
        {2, 4, 0, false, {"COM1"}},   // 4.0: the device map
        {1, 4, 10, false, {"COM5"}},  // 4.10: the enumeration tree
        {1, 4, 90, false, {"COM5"}},
        {2, 3, 51, false, {}},        // below 4: nothing
        {0, 10, 0, false, {}},        // Win32s: nothing
        {2, 10, 0, true, {}},         // no version: nothing
    };
    for (const auto& c : cases) {
        RegistryFixture f;
        f.Reg->SetString(HKEY_LOCAL_MACHINE, kMap, QStringLiteral("\\Device\\Serial0"), QStringLiteral("COM1"));
        const QByteArray one("\x01", 1);
        f.Device(QStringLiteral("\\Enum\\ACPI\\PNP0501\\0"), QStringLiteral("Ports"), QStringLiteral("Ports\\0000"),
                 QStringLiteral("COM5"), &one);
        f.Version(c.platform, c.major, c.minor, c.fails);
        QStringList list;
        EnumCommPorts(list);
        EXPECT_EQ(list, c.expected) << c.platform << " " << c.major << "." << c.minor;
    }
}

TEST(CommPortList, EnumerationTreeTakesPortsAndModemsOfSubClassOneOrTwo)
{
    RegistryFixture f;
    f.Version(1, 4, 10);
    const QByteArray b0("\x00", 1), b1("\x01", 1), b2("\x02", 1), b3("\x03", 1), twoBytes("\x01\x01", 2);
    f.Device(QStringLiteral("\\Enum\\Root\\A"), QStringLiteral("ports"), QStringLiteral("Ports\\0001"), QStringLiteral("COM1"), &b1);
    f.Device(QStringLiteral("\\Enum\\Root\\A\\Child"), QStringLiteral("MoDeM"), QStringLiteral("Modem\\0000"), QStringLiteral("COM2"), &b1);
    f.Device(QStringLiteral("\\Enum\\Root\\B"), QStringLiteral("Ports"), QStringLiteral("Ports\\0002"), QStringLiteral("COM3"), &b2);
    f.Device(QStringLiteral("\\Enum\\Root\\C"), QStringLiteral("Ports"), QStringLiteral("Ports\\0003"), QStringLiteral("COM4"), nullptr);
    f.Device(QStringLiteral("\\Enum\\Root\\D"), QStringLiteral("Ports"), QStringLiteral("Ports\\0004"), QStringLiteral("COM5"), &b0);
    f.Device(QStringLiteral("\\Enum\\Root\\E"), QStringLiteral("Ports"), QStringLiteral("Ports\\0005"), QStringLiteral("COM6"), &b3);
    f.Device(QStringLiteral("\\Enum\\Root\\F"), QStringLiteral("Ports"), QStringLiteral("Ports\\0006"), QStringLiteral("COM7"), &twoBytes);
    f.Device(QStringLiteral("\\Enum\\Root\\G"), QStringLiteral("Display"), QStringLiteral("Ports\\0001"), QStringLiteral("COM8"), &b1);
    // A binary "class" is ignored even when its bytes spell "ports".
    f.Device(QStringLiteral("\\Enum\\Root\\H"), QStringLiteral("x"), QStringLiteral("Ports\\0001"), QStringLiteral("COM9"), &b1);
    f.Reg->SetBinary(HKEY_LOCAL_MACHINE, QStringLiteral("\\Enum\\Root\\H"), QStringLiteral("Class"), QByteArray("ports"));
    // A driver key that does not exist lists nothing.
    f.Reg->SetString(HKEY_LOCAL_MACHINE, QStringLiteral("\\Enum\\Root\\I"), QStringLiteral("Class"), QStringLiteral("Ports"));
    f.Reg->SetString(HKEY_LOCAL_MACHINE, QStringLiteral("\\Enum\\Root\\I"), QStringLiteral("Driver"), QStringLiteral("Nowhere"));
    f.Reg->SetString(HKEY_LOCAL_MACHINE, QStringLiteral("\\Enum\\Root\\I"), QStringLiteral("PortName"), QStringLiteral("COM10"));
    // A port name of the wrong type lists nothing.
    f.Device(QStringLiteral("\\Enum\\Root\\J"), QStringLiteral("Ports"), QStringLiteral("Ports\\0001"), QStringLiteral("COM11"), &b1);
    f.Reg->SetBinary(HKEY_LOCAL_MACHINE, QStringLiteral("\\Enum\\Root\\J"), QStringLiteral("PortName"), QByteArray("COM11"));
    // The same name again, in other letters.
    f.Device(QStringLiteral("\\Enum\\Root\\K"), QStringLiteral("Ports"), QStringLiteral("Ports\\0001"), QStringLiteral("com1"), &b1);

    QStringList list;
    EnumCommPorts(list);
    // Depth first: A, then its child, then B.
    EXPECT_EQ(list, (QStringList{"COM1", "COM2", "COM3"}));
}

TEST(CommPortList, MissingKeysListNothing)
{
    RegistryFixture f;
    QStringList list{QStringLiteral("Given")};
    f.Version(2, 10, 0);
    EnumCommPorts(list);
    f.Version(1, 4, 10);
    EnumCommPorts(list);
    EXPECT_EQ(list, (QStringList{"Given"}));
}

}  // namespace

#include <QDir>
#include <QTemporaryDir>

namespace {

TEST(CommPortList, LinuxViewListsExtraPathsThenPresentDevices)
{
    QTemporaryDir sys;
    QDir(sys.path()).mkpath(QStringLiteral("ttyUSB0/device"));
    QDir(sys.path()).mkpath(QStringLiteral("ttyACM0/device"));
    QDir(sys.path()).mkpath(QStringLiteral("tty5"));
    const QByteArray old = qgetenv("KESTROVAN_SERIAL_PORTS");
    qputenv("KESTROVAN_SERIAL_PORTS", "/dev/pts/9:/tmp/instrument");
    SetRegistryBackend(std::make_shared<TLinuxRegistry>(sys.path()));
    SetVersionForTests(nullptr);
    QStringList list;
    EnumCommPorts(list);
    SetRegistryBackend(nullptr);
    qputenv("KESTROVAN_SERIAL_PORTS", old);
    EXPECT_EQ(list, (QStringList{"/dev/pts/9", "/tmp/instrument", "ttyACM0", "ttyUSB0"}));
}

}  // namespace
