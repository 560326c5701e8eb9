#include "writefully.h"

#include <QFile>
#include <QString>

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

bool writeFully(int fd, const QByteArray &data)
{
    qsizetype done = 0;
    while (done < data.size()) {
        const ssize_t n = ::write(fd, data.constData() + done, std::size_t(data.size() - done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        done += n;
    }
    return true;
}

bool replaceFileDurably(const QString &path, const QByteArray &data)
{
    const QByteArray temp = QFile::encodeName(path + QStringLiteral(".tmp"));
    const int fd = ::open(temp.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    bool ok = fd >= 0 && writeFully(fd, data) && ::fsync(fd) == 0;
    const int failure = errno;
    if (fd >= 0)
        ::close(fd);
    errno = failure;
    ok = ok && ::rename(temp.constData(), QFile::encodeName(path).constData()) == 0;
    if (!ok) {
        const int why = errno;
        ::unlink(temp.constData());
        errno = why;
    }
    return ok;
}
