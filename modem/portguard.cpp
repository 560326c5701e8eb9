#include "portguard.h"

#include "common/serialportnames.h"

#include <QFile>
#include <QFileInfo>
#include <QSysInfo>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

namespace PortGuard {
namespace {

// The folders Qt's serial port looks in, in its order: the first that holds the file or can
// take one is where every program meets.
constexpr const char *LockFolders[] = {"/var/lock",         "/etc/locks", "/var/spool/locks",
                                       "/var/spool/uucp",   "/tmp",       "/var/tmp",
                                       "/var/lock/lockdev", "/run/lock"};

QString systemError()
{
    return QString::fromLocal8Bit(std::strerror(errno));
}

// The lock's process: Qt writes "pid\napp\nhost\n...", terminal programs "      1234\n".
bool readOwner(const QString &lockFile, qint64 *pid, QString *host)
{
    QFile file(lockFile);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    const QList<QByteArray> lines = file.read(4096).split('\n');
    bool ok = false;
    *pid = lines.value(0).trimmed().toLongLong(&ok);
    *host = QString::fromUtf8(lines.value(2).trimmed());
    return ok && *pid > 0;
}

bool processRuns(qint64 pid)
{
    return ::kill(pid_t(pid), 0) == 0 || errno == EPERM;
}

} // namespace

QString lockFileOf(const QString &devicePath)
{
    QString name = devicePath;
    if (name.startsWith(QLatin1String("/dev/")))
        name.remove(0, 5);
    name.replace(QLatin1Char('/'), QLatin1Char('_'));
    for (const char *folder : LockFolders) {
        const QFileInfo dir{QString::fromLatin1(folder)};
        const QString path = dir.filePath() + QStringLiteral("/LCK..") + name;
        if (dir.isReadable() && (QFileInfo::exists(path) || dir.isWritable()))
            return path;
    }
    return {};
}

QString clearStaleLock(const QString &lockFile)
{
    qint64 pid = 0;
    QString host;
    if (lockFile.isEmpty() || !readOwner(lockFile, &pid, &host))
        return {}; // absent, or not ours to judge: Qt decides
    // Another machine's lock on a shared folder, or this process's own port.
    if ((!host.isEmpty() && host != QSysInfo::machineHostName()) || pid == ::getpid())
        return {};
    if (processRuns(pid))
        return QStringLiteral("%1 is locked by process %2").arg(lockFile).arg(pid);
    if (::unlink(QFile::encodeName(lockFile).constData()) == 0 || errno == ENOENT)
        return {};
    return QStringLiteral("stale lock file %1 of ended process %2 cannot be removed (%3)")
            .arg(lockFile)
            .arg(pid)
            .arg(systemError());
}

bool permissionDenied(const QString &devicePath)
{
    return ::access(QFile::encodeName(devicePath).constData(), R_OK | W_OK) != 0 && errno == EACCES;
}

QString heldElsewhere(const QString &devicePath)
{
    // Not even opened: an open can already change a console's line settings.
    if (SerialPortNames::isConsole(devicePath))
        return QStringLiteral("%1 is the system console, never a modem").arg(devicePath);
    if (const QString stale = clearStaleLock(lockFileOf(devicePath)); !stale.isEmpty())
        return stale;
    const QByteArray path = QFile::encodeName(devicePath);
    const int fd = ::open(path.constData(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        if (errno == EBUSY)
            return QStringLiteral("%1 is in use by another program").arg(devicePath);
        return QStringLiteral("%1: %2").arg(devicePath, systemError());
    }
    QString reason;
    int exclusive = 0;
#ifdef TIOCGEXCL
    if (::ioctl(fd, TIOCGEXCL, &exclusive) == 0 && exclusive)
        reason = QStringLiteral("%1 is held exclusively by another program").arg(devicePath);
#endif
    if (reason.isEmpty() && ::flock(fd, LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK)
        reason = QStringLiteral("%1 is locked by another program").arg(devicePath);
    ::close(fd);
    return reason;
}

bool lock(int fd)
{
    return ::flock(fd, LOCK_EX | LOCK_NB) == 0;
}

} // namespace PortGuard
