#include "sendjournal.h"

#include "common/writefully.h"

#include <QFile>

#include <cerrno>
#include <charconv>
#include <cstring>
#include <fcntl.h>
#include <iterator>
#include <unistd.h>

namespace {

QString systemError()
{
    return QString::fromLocal8Bit(std::strerror(errno));
}

} // namespace

SendJournal::SendJournal(QString path) : m_path(std::move(path)) { }

SendJournal::~SendJournal()
{
    closeFile();
}

void SendJournal::closeFile()
{
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = -1;
}

void SendJournal::appendLine(QByteArray &data, const SendRecord &r)
{
    char digits[24];
    data.append(digits, std::to_chars(digits, std::end(digits), r.at).ptr - digits);
    data.append(' ');
    data.append(r.device.toUtf8());
    data.append(' ');
    data.append(digits, std::to_chars(digits, std::end(digits), r.parts).ptr - digits);
    data.append(' ');
    data.append(r.number.toUtf8());
    data.append('\n');
}

QList<SendRecord> SendJournal::load()
{
    QList<SendRecord> records;
    QFile file(m_path);
    if (!file.open(QIODevice::ReadOnly))
        return records;
    QList<QByteArray> lines = file.readAll().split('\n');
    // What follows the last line break is a line whose write never completed.
    lines.removeLast();
    for (const QByteArray &l : std::as_const(lines)) {
        const QList<QByteArray> f = l.split(' ');
        if (f.size() < 4)
            continue;
        SendRecord r;
        bool okAt = false;
        bool okParts = false;
        r.at = f.at(0).toLongLong(&okAt);
        r.device = QString::fromUtf8(f.at(1));
        r.parts = f.at(2).toInt(&okParts);
        r.number = QString::fromUtf8(l.mid(f.at(0).size() + f.at(1).size() + f.at(2).size() + 3));
        if (okAt && okParts && r.parts > 0)
            records.append(r);
    }
    return records;
}

bool SendJournal::openForAppend(QString *error)
{
    if (m_fd >= 0)
        return true;
    m_fd = ::open(QFile::encodeName(m_path).constData(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC,
                  0600);
    if (m_fd < 0 && error)
        *error = systemError();
    return m_fd >= 0;
}

bool SendJournal::append(const QList<SendRecord> &records, QString *error)
{
    if (!openForAppend(error))
        return false;
    // A line cut off by a failed write is ended before the next one starts.
    QByteArray data = m_cutOff ? QByteArray("\n") : QByteArray();
    data.reserve(data.size() + 48 * records.size());
    for (const SendRecord &record : records)
        appendLine(data, record);
    m_cutOff = !(writeFully(m_fd, data) && ::fdatasync(m_fd) == 0);
    if (!m_cutOff)
        return true;
    if (error)
        *error = systemError();
    closeFile();
    return false;
}

bool SendJournal::rewrite(const QList<SendRecord> &records, QString *error)
{
    QByteArray data;
    data.reserve(48 * records.size());
    for (const SendRecord &r : records)
        appendLine(data, r);
    if (!replaceFileDurably(m_path, data)) {
        if (error)
            *error = systemError();
        return false;
    }
    closeFile();
    return true;
}
