#include "refusaljournal.h"

#include "common/writefully.h"

#include <QFile>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace {

QString systemError()
{
    return QString::fromLocal8Bit(std::strerror(errno));
}

QByteArray line(const QString &sysNo, const QString &port)
{
    return sysNo.toUtf8() + ' ' + port.toUtf8() + '\n';
}

} // namespace

RefusalJournal::RefusalJournal(QString path) : m_path(std::move(path))
{
    load();
}

RefusalJournal::~RefusalJournal()
{
    closeFile();
}

void RefusalJournal::closeFile()
{
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = -1;
}

void RefusalJournal::load()
{
    QFile file(m_path);
    if (!file.open(QIODevice::ReadOnly))
        return;
    const QByteArray data = file.readAll();
    QList<QByteArray> lines = data.split('\n');
    // What follows the last line break is a line whose write never completed; the next line
    // must not be read as its end.
    lines.removeLast();
    m_cutOff = !data.isEmpty() && !data.endsWith('\n');
    for (const QByteArray &l : std::as_const(lines)) {
        const qsizetype blank = l.indexOf(' ');
        if (blank <= 0 || blank + 1 >= l.size())
            continue;
        m_refused[QString::fromUtf8(l.left(blank))].append(QString::fromUtf8(l.mid(blank + 1)));
    }
}

bool RefusalJournal::openForAppend(QString *error)
{
    if (m_fd >= 0)
        return true;
    m_fd = ::open(QFile::encodeName(m_path).constData(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC,
                  0600);
    if (m_fd < 0 && error)
        *error = systemError();
    return m_fd >= 0;
}

bool RefusalJournal::add(const QString &sysNo, const QString &port, QString *error)
{
    // Kept in memory also when the disk fails: this run still honours it.
    m_refused[sysNo].append(port);
    if (!openForAppend(error))
        return false;
    // A line cut off by a failed write is ended before the next one starts.
    const QByteArray data = (m_cutOff ? QByteArray("\n") : QByteArray()) + line(sysNo, port);
    m_cutOff = !(writeFully(m_fd, data) && ::fdatasync(m_fd) == 0);
    if (!m_cutOff)
        return true;
    if (error)
        *error = systemError();
    closeFile();
    return false;
}

bool RefusalJournal::forget(const QString &sysNo, QString *error)
{
    if (m_refused.remove(sysNo) == 0)
        return true;
    QByteArray data;
    for (auto it = m_refused.cbegin(); it != m_refused.cend(); ++it) {
        for (const QString &port : it.value())
            data += line(it.key(), port);
    }
    // A crash leaves the old file or the new one; the old one only keeps a row that ended,
    // which no load meets again.
    if (!replaceFileDurably(m_path, data)) {
        if (error)
            *error = systemError();
        return false;
    }
    closeFile();
    return true;
}
