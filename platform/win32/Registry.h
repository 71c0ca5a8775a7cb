// A read-only registry reader shaped like the framework's registry object, over one
// backend interface: an in-memory tree (tests) or the Linux view (the default), whose
// only key is the serial device map \HARDWARE\DEVICEMAP\SERIALCOMM.
//
// Key paths are separated by backslashes and compared without regard to letter case; a
// path with a leading backslash starts at the root key, any other at the open key.
#pragma once

#include "SysUtils.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <map>
#include <memory>
#include <vector>

using HKEY = std::uintptr_t;
constexpr HKEY HKEY_CLASSES_ROOT = 0x80000000;
constexpr HKEY HKEY_CURRENT_USER = 0x80000001;
constexpr HKEY HKEY_LOCAL_MACHINE = 0x80000002;

enum TRegDataType { rdUnknown, rdString, rdExpandString, rdInteger, rdBinary };

class ERegistryException : public Exception { using Exception::Exception; };

struct RegValue {
    TRegDataType Type = rdUnknown;
    QString Text;      // rdString, rdExpandString
    QByteArray Bytes;  // rdBinary
    std::int32_t Number = 0;  // rdInteger
};

class RegistryBackend {
public:
    virtual ~RegistryBackend() = default;
    // `path` is normalised: no leading or trailing backslash ("" is the root itself).
    virtual bool KeyExists(HKEY root, const QString& path) = 0;
    virtual QStringList ValueNames(HKEY root, const QString& path) = 0;
    virtual QStringList SubKeyNames(HKEY root, const QString& path) = 0;
    virtual bool Value(HKEY root, const QString& path, const QString& name, RegValue& value) = 0;
};

// A tree kept in memory; keys and values keep the order they were added in.
class TMemoryRegistry : public RegistryBackend {
public:
    void AddKey(HKEY root, const QString& path);
    void SetString(HKEY root, const QString& path, const QString& name, const QString& text);
    void SetBinary(HKEY root, const QString& path, const QString& name, const QByteArray& bytes);
    void SetInteger(HKEY root, const QString& path, const QString& name, std::int32_t number);

    bool KeyExists(HKEY root, const QString& path) override;
    QStringList ValueNames(HKEY root, const QString& path) override;
    QStringList SubKeyNames(HKEY root, const QString& path) override;
    bool Value(HKEY root, const QString& path, const QString& name, RegValue& value) override;

private:
    struct Key {
        QString Name;
        std::vector<std::pair<QString, RegValue>> Values;
        std::vector<std::unique_ptr<Key>> Children;
    };
    Key* Find(HKEY root, const QString& path, bool create);
    void SetValue(HKEY root, const QString& path, const QString& name, RegValue v);
    std::map<HKEY, Key> roots_;
};

// The Linux view. The serial device map holds one string value per present port: the
// absolute device paths of the environment variable KESTROVAN_SERIAL_PORTS (colon-
// separated; devices sysfs does not show, such as pseudo-terminals) first, then the
// tty devices under `sysClassTty` that have a device behind them (ttyS* only when a real
// UART is there), ttyACM* and ttyUSB* in numerical order, then the rest.
class TLinuxRegistry : public RegistryBackend {
public:
    explicit TLinuxRegistry(QString sysClassTty = QStringLiteral("/sys/class/tty"));
    bool KeyExists(HKEY root, const QString& path) override;
    QStringList ValueNames(HKEY root, const QString& path) override;
    QStringList SubKeyNames(HKEY root, const QString& path) override;
    bool Value(HKEY root, const QString& path, const QString& name, RegValue& value) override;
    // The port names of the device map, in order (value name, port name).
    std::vector<std::pair<QString, QString>> SerialCommMap() const;

private:
    QString sysClassTty_;
};

// The backend every TRegistry uses (the Linux view until a test installs another).
void SetRegistryBackend(std::shared_ptr<RegistryBackend> backend);
std::shared_ptr<RegistryBackend> CurrentRegistryBackend();

class TRegistry {
public:
    TRegistry();
    HKEY RootKey = HKEY_CURRENT_USER;
    // The open key's path (normalised), valid while a key is open.
    QString CurrentPath;

    bool OpenKeyReadOnly(const QString& key);
    bool KeyExists(const QString& key);
    void CloseKey();
    void GetValueNames(QStringList& names);
    void GetKeyNames(QStringList& names);
    bool HasSubKeys();
    bool ValueExists(const QString& name);
    TRegDataType GetDataType(const QString& name);
    // Bytes of the value's data (-1 when it does not exist).
    int GetDataSize(const QString& name);
    // Raises ERegistryException when the value is missing or of another type.
    QString ReadString(const QString& name);
    // Copies the binary data and returns its size; raises ERegistryException when the
    // value is missing, not binary, or larger than `bufSize`.
    int ReadBinaryData(const QString& name, void* buffer, int bufSize);

private:
    QString Resolve(const QString& key) const;
    std::shared_ptr<RegistryBackend> backend_;
    bool open_ = false;
};
