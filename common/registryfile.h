#pragma once

#include <QString>
#include <optional>

// The machine's registry of components and tools: one INI file in the system directory whose
// sections are key paths ("HKEY_LOCAL_MACHINE\SOFTWARE\Classes\<ProgID>") and whose entries
// are the values of those keys.
class RegistryFile
{
public:
    explicit RegistryFile(QString path);
    // registry.ini in the system directory.
    static RegistryFile systemRegistry();

    const QString &path() const { return m_path; }

    std::optional<QString> value(const QString &keyPath, const QString &name) const;
    bool setValue(const QString &keyPath, const QString &name, const QString &value) const;
    bool removeValue(const QString &keyPath, const QString &name) const;

    // Where a component is recorded: the file that serves a ProgID.
    static QString classKey(const QString &progId);
    static QString componentFileValue() { return QStringLiteral("InprocServer32"); }

private:
    QString m_path;
};
