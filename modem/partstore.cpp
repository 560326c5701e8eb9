#include "partstore.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QDir>
#include <QFile>

#include <cstdio>
#include <fcntl.h>
#include <unistd.h>

namespace {

const QString Suffix = QStringLiteral(".part");

void syncFolder(const QString &folder)
{
    const int fd = ::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

} // namespace

QString PartStore::pathOf(qint64 id) const
{
    return m_folder + QStringLiteral("/%1").arg(id, 12, 10, QLatin1Char('0')) + Suffix;
}

QList<PartStore::Part> PartStore::load()
{
    QList<Part> parts;
    const QDir dir(m_folder);
    if (!isEnabled() || !dir.exists())
        return parts;
    loadDone();
    for (const QString &name :
         dir.entryList({QLatin1Char('*') + Suffix}, QDir::Files, QDir::Name)) {
        bool ok = false;
        const qint64 id = name.chopped(Suffix.size()).toLongLong(&ok);
        QFile file(dir.filePath(name));
        if (!ok || !file.open(QIODevice::ReadOnly))
            continue;
        const QList<QByteArray> lines = file.readAll().split('\n');
        Part p;
        p.id = id;
        p.receivedMs = lines.value(0).trimmed().toLongLong(&ok);
        p.pduHex = lines.value(1).trimmed();
        m_nextId = qMax(m_nextId, id + 1);
        if (ok && !p.pduHex.isEmpty())
            parts.append(p);
    }
    return parts;
}

qint64 PartStore::add(const QByteArray &pduHex, qint64 receivedMs, QString *error)
{
    if (!QDir().mkpath(m_folder)) {
        *error = QStringLiteral("cannot create %1").arg(m_folder);
        return 0;
    }
    const qint64 id = m_nextId;
    const QString path = pathOf(id);
    const QString temp = path + QStringLiteral(".tmp");
    QFile file(temp);
    const QByteArray data = QByteArray::number(receivedMs) + '\n' + pduHex + '\n';
    const bool written = file.open(QIODevice::WriteOnly | QIODevice::Truncate)
            && file.write(data) == data.size() && file.flush() && ::fsync(file.handle()) == 0;
    file.close();
    if (!written || !QFile::rename(temp, path)) {
        *error = file.errorString();
        QFile::remove(temp);
        return 0;
    }
    syncFolder(m_folder);
    ++m_nextId;
    return id;
}

void PartStore::remove(qint64 id)
{
    QFile::remove(pathOf(id));
    syncFolder(m_folder);
}

QByteArray PartStore::hashOf(const QByteArray &pduHex)
{
    return QCryptographicHash::hash(pduHex.trimmed().toUpper(), QCryptographicHash::Sha1).toHex();
}

void PartStore::loadDone()
{
    m_done.clear();
    QFile file(donePath());
    if (!file.open(QIODevice::ReadOnly))
        return;
    const qint64 oldest = QDateTime::currentMSecsSinceEpoch() - DoneKeptMs;
    QByteArray kept;
    for (const QByteArray &line : file.readAll().split('\n')) {
        const QList<QByteArray> f = line.split(' ');
        if (f.size() == 2 && f[0].toLongLong() >= oldest) {
            m_done.insert(f[1], f[0].toLongLong());
            kept += line + '\n';
        }
    }
    file.close();
    // Rewritten without what has expired; losing it costs no more than a late copy's storing.
    QFile out(donePath() + QStringLiteral(".tmp"));
    if (out.open(QIODevice::WriteOnly) && out.write(kept) == kept.size() && out.flush()
        && ::fsync(out.handle()) == 0) {
        out.close();
        ::rename(QFile::encodeName(out.fileName()).constData(),
                 QFile::encodeName(donePath()).constData());
    }
}

void PartStore::markDone(const QByteArrayList &pdus)
{
    if (!isEnabled() || pdus.isEmpty() || !QDir().mkpath(m_folder))
        return;
    const qint64 now = QDateTime::currentMSecsSinceEpoch();
    QByteArray lines;
    for (const QByteArray &pdu : pdus) {
        const QByteArray h = hashOf(pdu);
        m_done.insert(h, now);
        lines += QByteArray::number(now) + ' ' + h + '\n';
    }
    QFile file(donePath());
    if (file.open(QIODevice::WriteOnly | QIODevice::Append) && file.write(lines) == lines.size()
        && file.flush())
        ::fdatasync(file.handle());
}

bool PartStore::isDone(const QByteArray &pduHex) const
{
    return !m_done.isEmpty() && m_done.contains(hashOf(pduHex));
}
