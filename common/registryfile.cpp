#include "registryfile.h"

#include "inifile.h"
#include "installlayout.h"

#include <QDir>
#include <QFileInfo>
#include <QLockFile>
#include <QUuid>

namespace {
// A value that cannot appear in the file tells "absent" apart from "empty".
const QString &absentMarker()
{
    static const QString marker = QUuid::createUuid().toString();
    return marker;
}
} // namespace

RegistryFile::RegistryFile(QString path) : m_path(std::move(path)) { }

RegistryFile RegistryFile::systemRegistry()
{
    return RegistryFile(InstallLayout::systemDir() + QStringLiteral("/registry.ini"));
}

std::optional<QString> RegistryFile::value(const QString &keyPath, const QString &name) const
{
    const QString v = IniFile(m_path).read(keyPath, name, absentMarker());
    if (v == absentMarker())
        return std::nullopt;
    return v;
}

// start runs regsvr32 for both components at once; without the lock one of the two
// read-modify-write cycles of the file can undo the other.
bool RegistryFile::setValue(const QString &keyPath, const QString &name, const QString &value) const
{
    QDir().mkpath(QFileInfo(m_path).absolutePath());
    QLockFile lock(m_path + QStringLiteral(".lock"));
    lock.lock();
    return IniFile(m_path).write(keyPath, name, value);
}

bool RegistryFile::removeValue(const QString &keyPath, const QString &name) const
{
    QLockFile lock(m_path + QStringLiteral(".lock"));
    lock.lock();
    return IniFile(m_path).remove(keyPath, name);
}

QString RegistryFile::classKey(const QString &progId)
{
    return QStringLiteral("HKEY_LOCAL_MACHINE\\SOFTWARE\\Classes\\") + progId;
}
