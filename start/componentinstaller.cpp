#include "componentinstaller.h"

#include "launcherpaths.h"

#include "common/registryfile.h"
#include "common/sysinfotool.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryFile>

ComponentInstaller::ComponentInstaller(ProgramResources resources, QString systemDir,
                                       QString regsvr32, Starter starter)
    : m_resources(std::move(resources)), m_systemDir(std::move(systemDir)),
      m_regsvr32(std::move(regsvr32)), m_starter(std::move(starter))
{ }

bool ComponentInstaller::RegOCX()
{
    if (!QDir().mkpath(m_systemDir))
        return fail(QStringLiteral("cannot create the system directory %1").arg(m_systemDir));
    for (int i = 1; i <= Count; ++i) {
        const int id = FirstId - 1 + i;
        const QString file = LauncherPaths::componentFile(m_systemDir, id);
        // An existing file is kept as it is, whatever it holds; only a missing one is written.
        if (!QFileInfo::exists(file) && !writeIfMissing(id, file))
            return false;
        if (m_regsvr32.isEmpty())
            return fail(QStringLiteral("regsvr32 was found neither beside start nor on PATH"));
        // The path goes as one argument, so a system directory with blanks stays one path.
        if (!m_starter(m_regsvr32, {file, QStringLiteral("-s")}))
            return fail(QStringLiteral("cannot start %1").arg(m_regsvr32));
    }
    return true;
}

bool ComponentInstaller::recordSystemInfoTool(const QStringList &searchPaths)
{
    const RegistryFile registry(m_systemDir + QStringLiteral("/registry.ini"));
    if (!SysInfoTool::recordInstalled(registry, searchPaths))
        return fail(QStringLiteral("cannot record the system-information program in %1")
                            .arg(registry.path()));
    return true;
}

bool ComponentInstaller::writeIfMissing(int id, const QString &file)
{
    const std::optional<QString> countText = m_resources.string(id);
    if (!countText)
        return fail(QStringLiteral("string-table entry %1 is missing").arg(id));
    const std::optional<qint32> count = ProgramResources::toInt32(*countText);
    if (!count || *count < 0)
        return fail(QStringLiteral("string-table entry %1 is not a byte count: \"%2\"")
                            .arg(id)
                            .arg(*countText));
    QString error;
    const std::optional<QByteArray> bytes = m_resources.leadingBytes(id, *count, &error);
    if (!bytes)
        return fail(error);

    // Written under a temporary name and renamed into place: a file that exists is never
    // rewritten, so a partial one must never carry the final name.
    QTemporaryFile temp(file + QStringLiteral(".XXXXXX"));
    if (!temp.open())
        return fail(QStringLiteral("cannot create %1: %2").arg(file, temp.errorString()));
    if (temp.write(*bytes) != *count || !temp.flush())
        return fail(QStringLiteral("cannot write %1: %2").arg(file, temp.errorString()));
    temp.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadGroup
                        | QFileDevice::ReadOther);
    temp.close();
    // rename() refuses an existing target, so a file that appeared meanwhile stays untouched.
    if (!QFile::rename(temp.fileName(), file))
        return fail(QStringLiteral("cannot create %1").arg(file));
    temp.setAutoRemove(false);
    m_written.append(file);
    return true;
}

bool ComponentInstaller::fail(const QString &message)
{
    m_error = message;
    return false;
}
