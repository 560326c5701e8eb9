#include "durableappendfile.h"

#include "writefully.h"

#include <QFile>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

QString systemError()
{
    return QString::fromLocal8Bit(std::strerror(errno));
}

} // namespace

DurableAppendFile::DurableAppendFile(QString path) : m_path(std::move(path)) { }

DurableAppendFile::~DurableAppendFile()
{
    closeFile();
}

void DurableAppendFile::closeFile()
{
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = -1;
}

QList<QByteArray> DurableAppendFile::readLines()
{
    QFile file(m_path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    const QByteArray data = file.readAll();
    QList<QByteArray> lines = data.split('\n');
    // What follows the last line break is a line whose write never completed.
    lines.removeLast();
    m_wholeSize = data.lastIndexOf('\n') + 1;
    m_cutOff = m_wholeSize < data.size();
    return lines;
}

bool DurableAppendFile::openForAppend(QString *error)
{
    if (m_fd >= 0)
        return true;
    m_fd = ::open(QFile::encodeName(m_path).constData(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC,
                  0600);
    if (m_fd < 0) {
        if (error)
            *error = systemError();
        return false;
    }
    struct stat st = {};
    if (m_wholeSize < 0)
        m_wholeSize = ::fstat(m_fd, &st) == 0 ? qint64(st.st_size) : 0;
    return true;
}

bool DurableAppendFile::append(const QByteArray &lines, QString *error)
{
    if (!openForAppend(error))
        return false;
    // A cut line goes before the next one is added: ended, it could read as a line of its
    // own; run into, it would spoil the next. Where cutting fails, ending it saves the next.
    const bool cutAway = m_cutOff && ::ftruncate(m_fd, m_wholeSize) == 0;
    const QByteArray data = m_cutOff && !cutAway ? QByteArray("\n") + lines : lines;
    if (!writeFully(m_fd, data)) {
        m_cutOff = true;
        if (error)
            *error = systemError();
        closeFile();
        return false;
    }
    // Where the cut line could not be cut away, where the file ends is not known any more.
    m_wholeSize = m_cutOff && !cutAway ? -1 : m_wholeSize + data.size();
    m_cutOff = false;
    if (::fdatasync(m_fd) == 0)
        return true;
    if (error)
        *error = systemError();
    return false;
}

bool DurableAppendFile::replace(const QByteArray &lines, QString *error)
{
    if (!replaceFileDurably(m_path, lines)) {
        if (error)
            *error = systemError();
        return false;
    }
    // Appends go to the new file, which ends with a whole line.
    closeFile();
    m_cutOff = false;
    m_wholeSize = lines.size();
    return true;
}
