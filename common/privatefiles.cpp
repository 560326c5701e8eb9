#include "privatefiles.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>

#include <sys/stat.h>

namespace {

void tighten(const QString &path, bool shared)
{
    const QFileDevice::Permissions file = QFile::ReadOwner | QFile::WriteOwner
            | (shared ? QFile::ReadGroup | QFile::WriteGroup : QFile::Permissions());
    const QFileDevice::Permissions folder =
            file | QFile::ExeOwner | (shared ? QFile::ExeGroup : QFile::Permissions());
    const QFileInfo info(path);
    if (!info.exists())
        return;
    if (!info.isDir()) {
        QFile::setPermissions(path, file);
        return;
    }
    QFile::setPermissions(path, folder);
    QDirIterator it(path, QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString entry = it.next();
        QFile::setPermissions(entry, it.fileInfo().isDir() ? folder : file);
    }
}

} // namespace

void keepMessageFilesPrivate(const QString &programDir, const QStringList &paths)
{
    struct stat st = {};
    const bool shared = ::stat(QFile::encodeName(programDir).constData(), &st) == 0
            && (st.st_mode & S_ISGID) != 0;
    ::umask(shared ? 007 : 077);
    for (const QString &path : paths)
        tighten(QDir(programDir).filePath(path), shared);
}
