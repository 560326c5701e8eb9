#include "componentinstaller.h"

#include "launcherpaths.h"

#include "common/registryfile.h"
#include "common/sysinfotool.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryFile>

#include <cstdio>

ComponentInstaller::ComponentInstaller(ProgramResources resources, QString systemDir,
                                       QString regsvr32, Runner runner)
    : m_resources(std::move(resources)), m_systemDir(std::move(systemDir)),
      m_regsvr32(std::move(regsvr32)), m_runner(std::move(runner))
{ }

bool ComponentInstaller::RegOCX()
{
    if (!QDir().mkpath(m_systemDir))
        return fail(QStringLiteral("cannot create the system directory %1").arg(m_systemDir));
    for (int i = 1; i <= Count; ++i) {
        if (!installOne(FirstId - 1 + i))
            return false;
    }
    return true;
}

bool ComponentInstaller::installOne(int id)
{
    const QString file = LauncherPaths::componentFile(m_systemDir, id);
    // An existing file is kept while it registers: it may be the operator's own build.
    const bool existed = QFileInfo::exists(file);
    if (!existed && !writeComponent(id, file, false))
        return false;
    if (m_regsvr32.isEmpty())
        return fail(QStringLiteral("regsvr32 was found neither beside start nor on PATH"));
    // The path goes as one argument, so a system directory with blanks stays one path.
    const QStringList arguments{file, QStringLiteral("-s")};
    if (m_runner(m_regsvr32, arguments))
        return true;
    if (!existed)
        return fail(QStringLiteral("组件 %1 注册失败（%2）").arg(file, m_regsvr32));
    // It does not load or register: damaged, so the copy this launcher carries replaces it.
    if (!writeComponent(id, file, true))
        return false;
    if (!m_runner(m_regsvr32, arguments))
        return fail(QStringLiteral("组件 %1 已损坏，用启动程序自带的副本替换后仍注册失败（%2）")
                            .arg(file, m_regsvr32));
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

bool ComponentInstaller::writeComponent(int id, const QString &file, bool replace)
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

    // Written under a temporary name and renamed into place, so a partial file never carries
    // the final name.
    QTemporaryFile temp(file + QStringLiteral(".XXXXXX"));
    if (!temp.open())
        return fail(QStringLiteral("cannot create %1: %2").arg(file, temp.errorString()));
    if (temp.write(*bytes) != *count || !temp.flush())
        return fail(QStringLiteral("cannot write %1: %2").arg(file, temp.errorString()));
    temp.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadGroup
                        | QFileDevice::ReadOther);
    temp.close();
    // QFile::rename() refuses an existing target, so a file that appeared meanwhile stays
    // untouched; a repair replaces the damaged file in one step.
    const QByteArray from = QFile::encodeName(temp.fileName());
    const bool renamed = replace
            ? std::rename(from.constData(), QFile::encodeName(file).constData()) == 0
            : QFile::rename(temp.fileName(), file);
    if (!renamed)
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
