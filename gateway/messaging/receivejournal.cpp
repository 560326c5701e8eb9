#include "receivejournal.h"

#include <QFile>
#include <QFileInfo>

#include <cstdio>
#include <unistd.h>

ReceiveJournal::ReceiveJournal(QString path) : m_path(std::move(path)) { }

void ReceiveJournal::load()
{
    m_keys.clear();
    m_order.clear();
    m_lines = 0;
    QFile file(m_path);
    if (!file.open(QIODevice::ReadOnly))
        return;
    QList<QByteArray> lines = file.readAll().split('\n');
    // What follows the last line break is a line whose write never completed.
    lines.removeLast();
    for (const QByteArray &line : std::as_const(lines)) {
        ++m_lines;
        QString key = QString::fromLatin1(line.mid(1));
        if (line.startsWith('?') && !key.isEmpty()) {
            const qsizetype tab = key.indexOf(QLatin1Char('\t'));
            const QString time = tab < 0 ? QString() : key.mid(tab + 1);
            m_pending.insert(tab < 0 ? key : key.left(tab), time);
        } else if (line.startsWith('+') && !key.isEmpty() && !m_keys.contains(key)) {
            m_pending.remove(key);
            m_keys.insert(key);
            m_order.append(key);
        } else if (line.startsWith('-')) {
            m_pending.remove(key);
            m_keys.remove(key);
            m_order.removeOne(key);
        }
    }
}

bool ReceiveJournal::append(const QByteArray &lines, QString *error)
{
    QFile file(m_path);
    // In the kernel once written: a killed gateway loses nothing of it. Not flushed to the disk
    // as well: a power cut in the instant between a message's store and its deletion can only
    // store it twice, and a flush each time would cost most of the receive rate.
    const bool ok = file.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Unbuffered)
            && file.write(lines) == lines.size();
    if (!ok && error)
        *error = file.errorString();
    m_lines += lines.count('\n');
    return ok;
}

bool ReceiveJournal::markPending(const QString &key, const QString &handleTime, QString *error)
{
    if (key.isEmpty() || m_pending.contains(key))
        return true;
    if (!append('?' + key.toLatin1() + '\t' + handleTime.toLatin1() + '\n', error))
        return false;
    m_pending.insert(key, handleTime);
    return true;
}

bool ReceiveJournal::add(const QString &key, QString *error)
{
    if (key.isEmpty() || m_keys.contains(key))
        return true;
    m_pending.remove(key);
    if (!append('+' + key.toLatin1() + '\n', error))
        return false;
    m_keys.insert(key);
    m_order.append(key);
    if (m_order.size() > MaxKeys)
        m_keys.remove(m_order.takeFirst());
    return true;
}

void ReceiveJournal::remove(const QStringList &keys)
{
    QByteArray lines;
    for (const QString &key : keys) {
        if (m_keys.remove(key) | m_pending.remove(key)) {
            m_order.removeOne(key);
            lines += '-' + key.toLatin1() + '\n';
        }
    }
    if (lines.isEmpty())
        return;
    // Failing to note a deletion costs nothing but the space of a line.
    append(lines, nullptr);
    if (m_lines > 2 * m_keys.size() + 1000)
        compact();
}

void ReceiveJournal::compact()
{
    if (m_keys.isEmpty() && m_pending.isEmpty()) {
        if (QFile::remove(m_path) || !QFileInfo::exists(m_path))
            m_lines = 0;
        return;
    }
    QByteArray data;
    for (auto it = m_pending.cbegin(); it != m_pending.cend(); ++it)
        data += '?' + it.key().toLatin1() + '\t' + it.value().toLatin1() + '\n';
    for (const QString &key : std::as_const(m_order))
        data += '+' + key.toLatin1() + '\n';
    const QString temp = m_path + QStringLiteral(".tmp");
    QFile file(temp);
    const bool ok = file.open(QIODevice::WriteOnly | QIODevice::Truncate)
            && file.write(data) == data.size() && file.flush() && ::fsync(file.handle()) == 0;
    file.close();
    // ::rename replaces the old file in one step; a crash leaves the one or the other.
    if (ok
        && ::rename(QFile::encodeName(temp).constData(), QFile::encodeName(m_path).constData())
                == 0)
        m_lines = m_order.size() + m_pending.size();
    else
        QFile::remove(temp);
}
