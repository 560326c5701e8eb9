#include "portguard.h"

#include <QFile>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

namespace PortGuard {

QString heldElsewhere(const QString &devicePath)
{
    const QByteArray path = QFile::encodeName(devicePath);
    const int fd = ::open(path.constData(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        if (errno == EBUSY)
            return QStringLiteral("%1 is in use by another program").arg(devicePath);
        return QStringLiteral("%1: %2").arg(devicePath,
                                            QString::fromLocal8Bit(std::strerror(errno)));
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
