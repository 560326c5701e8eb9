#include "registryfile.h"

#include "inifile.h"
#include "installlayout.h"

#include <QDir>
#include <QFileInfo>
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

bool RegistryFile::setValue(const QString &keyPath, const QString &name, const QString &value) const
{
    QDir().mkpath(QFileInfo(m_path).absolutePath());
    return IniFile(m_path).write(keyPath, name, value);
}

bool RegistryFile::removeValue(const QString &keyPath, const QString &name) const
{
    return IniFile(m_path).remove(keyPath, name);
}

QString RegistryFile::classKey(const QString &progId)
{
    return QStringLiteral("HKEY_LOCAL_MACHINE\\SOFTWARE\\Classes\\") + progId;
}
