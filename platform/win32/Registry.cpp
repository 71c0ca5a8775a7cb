#include "Registry.h"

#include "Modules.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <algorithm>
#include <cstring>
#include <mutex>

namespace {

QString Normalise(const QString& path)
{
    QStringList parts = path.split(QLatin1Char('\\'), Qt::SkipEmptyParts);
    return parts.join(QLatin1Char('\\'));
}

bool SameName(const QString& a, const QString& b) { return a.compare(b, Qt::CaseInsensitive) == 0; }

std::mutex g_backendMutex;
std::shared_ptr<RegistryBackend> g_backend;

const QString kSerialComm = QStringLiteral("HARDWARE\\DEVICEMAP\\SERIALCOMM");

}  // namespace

// ---- in-memory tree ---------------------------------------------------------------------

TMemoryRegistry::Key* TMemoryRegistry::Find(HKEY root, const QString& path, bool create)
{
    auto it = roots_.find(root);
    if (it == roots_.end()) {
        if (!create)
            return nullptr;
        it = roots_.emplace(root, Key()).first;
    }
    Key* k = &it->second;
    for (const QString& part : Normalise(path).split(QLatin1Char('\\'), Qt::SkipEmptyParts)) {
        Key* next = nullptr;
        for (auto& c : k->Children)
            if (SameName(c->Name, part)) {
                next = c.get();
                break;
            }
        if (!next) {
            if (!create)
                return nullptr;
            k->Children.push_back(std::make_unique<Key>());
            next = k->Children.back().get();
            next->Name = part;
        }
        k = next;
    }
    return k;
}

void TMemoryRegistry::AddKey(HKEY root, const QString& path) { Find(root, path, true); }

void TMemoryRegistry::SetValue(HKEY root, const QString& path, const QString& name, RegValue v)
{
    Key* k = Find(root, path, true);
    for (auto& [n, value] : k->Values)
        if (SameName(n, name)) {
            value = std::move(v);
            return;
        }
    k->Values.emplace_back(name, std::move(v));
}

void TMemoryRegistry::SetString(HKEY root, const QString& path, const QString& name, const QString& text)
{
    RegValue v;
    v.Type = rdString;
    v.Text = text;
    SetValue(root, path, name, std::move(v));
}

void TMemoryRegistry::SetBinary(HKEY root, const QString& path, const QString& name, const QByteArray& bytes)
{
    RegValue v;
    v.Type = rdBinary;
    v.Bytes = bytes;
    SetValue(root, path, name, std::move(v));
}

void TMemoryRegistry::SetInteger(HKEY root, const QString& path, const QString& name, std::int32_t number)
{
    RegValue v;
    v.Type = rdInteger;
    v.Number = number;
    SetValue(root, path, name, std::move(v));
}

bool TMemoryRegistry::KeyExists(HKEY root, const QString& path) { return Find(root, path, false) != nullptr; }

QStringList TMemoryRegistry::ValueNames(HKEY root, const QString& path)
{
    QStringList names;
    if (Key* k = Find(root, path, false))
        for (auto& v : k->Values)
            names << v.first;
    return names;
}

QStringList TMemoryRegistry::SubKeyNames(HKEY root, const QString& path)
{
    QStringList names;
    if (Key* k = Find(root, path, false))
        for (auto& c : k->Children)
            names << c->Name;
    return names;
}

bool TMemoryRegistry::Value(HKEY root, const QString& path, const QString& name, RegValue& value)
{
    Key* k = Find(root, path, false);
    if (!k)
        return false;
    for (auto& v : k->Values)
        if (SameName(v.first, name)) {
            value = v.second;
            return true;
        }
    return false;
}

// ---- the Linux view -----------------------------------------------------------------------

TLinuxRegistry::TLinuxRegistry(QString sysClassTty) : sysClassTty_(std::move(sysClassTty)) {}

std::vector<std::pair<QString, QString>> TLinuxRegistry::SerialCommMap() const
{
    std::vector<std::pair<QString, QString>> map;
    QStringList listed;
    const QString extra = qEnvironmentVariable("KESTROVAN_SERIAL_PORTS");
    int n = 0;
    for (const QString& p : extra.split(QLatin1Char(':'), Qt::SkipEmptyParts)) {
        const QString path = p.trimmed();
        if (!path.startsWith(QLatin1Char('/')) || listed.contains(path))
            continue;
        listed << path;
        map.emplace_back(QStringLiteral("\\Device\\Extra%1").arg(n++), path);
    }

    struct Tty {
        int group;
        QString prefix;
        long number;
        QString name;
    };
    std::vector<Tty> ttys;
    static const QRegularExpression split(QStringLiteral("^(.*?)(\\d*)$"));
    const QDir dir(sysClassTty_);
    for (const QString& name : dir.entryList(QDir::Dirs | QDir::NoDotAndDotDot | QDir::System)) {
        const QString entry = dir.filePath(name);
        // Only terminals with a device behind them: no virtual consoles or pseudo-terminals.
        if (!QFileInfo(entry + QStringLiteral("/device")).exists())
            continue;
        if (name.startsWith(QLatin1String("ttyS"))) {
            // A ttyS line without a UART behind it reports type 0.
            QFile type(entry + QStringLiteral("/type"));
            if (!type.open(QIODevice::ReadOnly))
                continue;
            bool ok = false;
            const int t = QString::fromLatin1(type.readAll()).trimmed().toInt(&ok);
            if (!ok || t == 0)
                continue;
        }
        if (listed.contains(QStringLiteral("/dev/") + name))
            continue;
        const auto m = split.match(name);
        Tty tty;
        tty.prefix = m.captured(1);
        tty.number = m.captured(2).isEmpty() ? -1 : m.captured(2).toLong();
        tty.group = tty.prefix == QLatin1String("ttyACM") ? 0 : tty.prefix == QLatin1String("ttyUSB") ? 1 : 2;
        tty.name = name;
        ttys.push_back(tty);
    }
    std::sort(ttys.begin(), ttys.end(), [](const Tty& a, const Tty& b) {
        if (a.group != b.group)
            return a.group < b.group;
        if (a.prefix != b.prefix)
            return a.prefix < b.prefix;
        return a.number < b.number;
    });
    for (const Tty& t : ttys)
        map.emplace_back(QStringLiteral("\\Device\\") + t.name, t.name);
    return map;
}

// The HTML Help control is registered where it is installed: beside the program.
namespace {
const QString kHHCtrlServer =
    QStringLiteral("CLSID\\{adb880a6-d8ff-11cf-9377-00aa003b7a11}\\InprocServer32");
bool IsHHCtrlKey(HKEY root, const QString& path, bool withParents)
{
    if (root != HKEY_CLASSES_ROOT)
        return false;
    if (SameName(path, kHHCtrlServer))
        return true;
    return withParents && (path.isEmpty() || SameName(path, QStringLiteral("CLSID")) ||
                           SameName(path, kHHCtrlServer.section(QLatin1Char('\\'), 0, 1)));
}
} // namespace

bool TLinuxRegistry::KeyExists(HKEY root, const QString& path)
{
    if (IsHHCtrlKey(root, path, true))
        return true;
    if (root != HKEY_LOCAL_MACHINE)
        return false;
    for (const QString& k : {QString(), QStringLiteral("HARDWARE"), QStringLiteral("HARDWARE\\DEVICEMAP"), kSerialComm})
        if (SameName(path, k))
            return true;
    return false;
}

QStringList TLinuxRegistry::ValueNames(HKEY root, const QString& path)
{
    QStringList names;
    if (root == HKEY_LOCAL_MACHINE && SameName(path, kSerialComm))
        for (auto& [name, port] : SerialCommMap())
            names << name;
    return names;
}

QStringList TLinuxRegistry::SubKeyNames(HKEY root, const QString& path)
{
    if (root != HKEY_LOCAL_MACHINE)
        return {};
    if (path.isEmpty())
        return {QStringLiteral("HARDWARE")};
    if (SameName(path, QStringLiteral("HARDWARE")))
        return {QStringLiteral("DEVICEMAP")};
    if (SameName(path, QStringLiteral("HARDWARE\\DEVICEMAP")))
        return {QStringLiteral("SERIALCOMM")};
    return {};
}

bool TLinuxRegistry::Value(HKEY root, const QString& path, const QString& name, RegValue& value)
{
    if (IsHHCtrlKey(root, path, false) && name.isEmpty()) {
        value = RegValue();
        value.Type = rdString;
        value.Text = ProgramModuleFolder() + QStringLiteral("/hhctrl.ocx");
        return true;
    }
    if (root != HKEY_LOCAL_MACHINE || !SameName(path, kSerialComm))
        return false;
    for (auto& [n, port] : SerialCommMap())
        if (SameName(n, name)) {
            value = RegValue();
            value.Type = rdString;
            value.Text = port;
            return true;
        }
    return false;
}

void SetRegistryBackend(std::shared_ptr<RegistryBackend> backend)
{
    std::lock_guard<std::mutex> l(g_backendMutex);
    g_backend = std::move(backend);
}

std::shared_ptr<RegistryBackend> CurrentRegistryBackend()
{
    std::lock_guard<std::mutex> l(g_backendMutex);
    if (!g_backend)
        g_backend = std::make_shared<TLinuxRegistry>();
    return g_backend;
}

// ---- the reader ---------------------------------------------------------------------------

TRegistry::TRegistry() : backend_(CurrentRegistryBackend()) {}

QString TRegistry::Resolve(const QString& key) const
{
    if (key.startsWith(QLatin1Char('\\')) || !open_)
        return Normalise(key);
    return Normalise(CurrentPath + QLatin1Char('\\') + key);
}

bool TRegistry::OpenKeyReadOnly(const QString& key)
{
    const QString path = Resolve(key);
    if (!backend_->KeyExists(RootKey, path))
        return false;
    CurrentPath = path;
    open_ = true;
    return true;
}

bool TRegistry::KeyExists(const QString& key) { return backend_->KeyExists(RootKey, Resolve(key)); }

void TRegistry::CloseKey()
{
    open_ = false;
    CurrentPath.clear();
}

void TRegistry::GetValueNames(QStringList& names)
{
    names.clear();
    if (open_)
        names = backend_->ValueNames(RootKey, CurrentPath);
}

void TRegistry::GetKeyNames(QStringList& names)
{
    names.clear();
    if (open_)
        names = backend_->SubKeyNames(RootKey, CurrentPath);
}

bool TRegistry::HasSubKeys() { return open_ && !backend_->SubKeyNames(RootKey, CurrentPath).isEmpty(); }

bool TRegistry::ValueExists(const QString& name)
{
    RegValue v;
    return open_ && backend_->Value(RootKey, CurrentPath, name, v);
}

TRegDataType TRegistry::GetDataType(const QString& name)
{
    RegValue v;
    if (!open_ || !backend_->Value(RootKey, CurrentPath, name, v))
        return rdUnknown;
    return v.Type;
}

int TRegistry::GetDataSize(const QString& name)
{
    RegValue v;
    if (!open_ || !backend_->Value(RootKey, CurrentPath, name, v))
        return -1;
    switch (v.Type) {
    case rdString:
    case rdExpandString:
        return static_cast<int>(v.Text.toLocal8Bit().size()) + 1;
    case rdInteger:
        return 4;
    case rdBinary:
        return static_cast<int>(v.Bytes.size());
    default:
        return 0;
    }
}

QString TRegistry::ReadString(const QString& name)
{
    RegValue v;
    if (!open_ || !backend_->Value(RootKey, CurrentPath, name, v))
        return QString();
    if (v.Type != rdString && v.Type != rdExpandString)
        throw ERegistryException(QStringLiteral("Invalid data type for '%1'").arg(name));
    return v.Text;
}

int TRegistry::ReadBinaryData(const QString& name, void* buffer, int bufSize)
{
    RegValue v;
    if (!open_ || !backend_->Value(RootKey, CurrentPath, name, v) || v.Type != rdBinary)
        throw ERegistryException(QStringLiteral("Invalid data type for '%1'").arg(name));
    const int n = static_cast<int>(v.Bytes.size());
    if (n > bufSize)
        throw ERegistryException(QStringLiteral("Failed to get data for '%1'").arg(name));
    std::memcpy(buffer, v.Bytes.constData(), static_cast<std::size_t>(n));
    return n;
}
