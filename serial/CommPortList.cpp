#include "CommPortList.h"

#include "Registry.h"

#include <cstring>
#include <functional>

int GetPlatformId(OSVERSIONINFOA& VersionInfo)
{
    std::memset(&VersionInfo, 0, sizeof(VersionInfo));
    VersionInfo.dwOSVersionInfoSize = sizeof(OSVERSIONINFOA);
    if (!GetVersionExA(&VersionInfo))
        return -1;
    return static_cast<int>(VersionInfo.dwPlatformId);
}

namespace {

void AddName(QStringList& List, const QString& Name)
{
    if (!List.contains(Name, Qt::CaseInsensitive))
        List.append(Name);
}

}  // namespace

void EnumCommPorts(QStringList& List)
{
    OSVERSIONINFOA VersionInfo;
    const int PlatformId = GetPlatformId(VersionInfo);
    if (PlatformId <= 0 || VersionInfo.dwMajorVersion < 4)
        return;
    TRegistry Reg;
    Reg.RootKey = HKEY_LOCAL_MACHINE;

    auto ReadSerialCommMap = [&] {
        if (!Reg.OpenKeyReadOnly(QStringLiteral("\\hardware\\devicemap\\serialcomm")))
            return;
        QStringList Names;
        Reg.GetValueNames(Names);
        for (const QString& Name : Names)
            if (Reg.GetDataType(Name) == rdString)
                AddName(List, Reg.ReadString(Name));
        Reg.CloseKey();
    };

    std::function<void(const QString&)> ScanEnumKey = [&](const QString& Path) {
        if (!Reg.OpenKeyReadOnly(Path))
            return;
        QStringList Values;
        Reg.GetValueNames(Values);
        if (Values.contains(QStringLiteral("class"), Qt::CaseInsensitive) && Reg.GetDataType(QStringLiteral("class")) == rdString) {
            const QString Class = Reg.ReadString(QStringLiteral("class")).toLower();
            if ((Class == QLatin1String("ports") || Class == QLatin1String("modem"))
                && Reg.GetDataType(QStringLiteral("driver")) == rdString
                && Reg.GetDataType(QStringLiteral("portname")) == rdString) {
                const QString Driver = Reg.ReadString(QStringLiteral("driver"));
                const QString PortName = Reg.ReadString(QStringLiteral("portname"));
                if (Reg.OpenKeyReadOnly(QStringLiteral("\\System\\CurrentControlSet\\Services\\Class\\") + Driver)) {
                    BYTE SubClass[16];
                    int Size = -1;
                    try {
                        Size = Reg.ReadBinaryData(QStringLiteral("PortSubClass"), SubClass, sizeof(SubClass));
                    } catch (const ERegistryException&) {
                        Size = -1;
                    }
                    if (Size == 1 && (SubClass[0] == 1 || SubClass[0] == 2))
                        AddName(List, PortName);
                }
            }
        }
        if (!Reg.OpenKeyReadOnly(Path))
            return;
        if (Reg.HasSubKeys()) {
            QStringList Keys;
            Reg.GetKeyNames(Keys);
            for (const QString& Key : Keys)
                ScanEnumKey(Path + QLatin1Char('\\') + Key);
        }
    };

    if (VersionInfo.dwMajorVersion > 4 || (VersionInfo.dwMajorVersion == 4 && VersionInfo.dwMinorVersion == 0))
        ReadSerialCommMap();
    else if (VersionInfo.dwMajorVersion == 4 && VersionInfo.dwMinorVersion > 0)
        ScanEnumKey(QStringLiteral("\\enum"));
}
