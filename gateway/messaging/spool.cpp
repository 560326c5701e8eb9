#include "spool.h"

#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace {

const QString Suffix = QStringLiteral(".json");
const QString TempSuffix = QStringLiteral(".tmp");

QJsonObject toJson(const SpoolEntry &e)
{
    QJsonObject o;
    if (e.kind == SpoolEntry::Kind::Received) {
        o.insert(QStringLiteral("kind"), QStringLiteral("received"));
        o.insert(QStringLiteral("sender"), e.sender);
        o.insert(QStringLiteral("text"), e.text);
        o.insert(QStringLiteral("timeStamp"), e.timeStamp);
        o.insert(QStringLiteral("receivedAt"), e.receivedAt);
        o.insert(QStringLiteral("forwardNumber"), e.forwardNumber);
        if (!e.port.isEmpty())
            o.insert(QStringLiteral("port"), e.port);
        o.insert(QStringLiteral("stored"), e.stored);
        if (e.inDoubt)
            o.insert(QStringLiteral("inDoubt"), true);
    } else if (e.kind == SpoolEntry::Kind::Report) {
        o.insert(QStringLiteral("kind"), QStringLiteral("report"));
        o.insert(QStringLiteral("sysNo"), e.sysNo);
        o.insert(QStringLiteral("number"), e.reportNumber);
        o.insert(QStringLiteral("status"), e.reportStatus);
        o.insert(QStringLiteral("deliveryTime"), e.deliveryTime);
        o.insert(QStringLiteral("reportTime"), e.reportTime);
        o.insert(QStringLiteral("target"), e.target);
    } else {
        o.insert(QStringLiteral("kind"), QStringLiteral("status"));
        o.insert(QStringLiteral("sysNo"), e.sysNo);
        o.insert(QStringLiteral("status"), int(e.status));
        o.insert(QStringLiteral("handleTime"), e.handleTime);
        o.insert(QStringLiteral("target"), e.target);
    }
    return o;
}

bool knownStatus(int value)
{
    for (RowStatus s :
         {RowStatus::Pending, RowStatus::Handed, RowStatus::Sent, RowStatus::Failed}) {
        if (value == int(s))
            return true;
    }
    return false;
}

bool fromJson(const QJsonObject &o, SpoolEntry *e)
{
    const QString kind = o.value(QStringLiteral("kind")).toString();
    if (kind == QLatin1String("received")) {
        e->kind = SpoolEntry::Kind::Received;
        e->sender = o.value(QStringLiteral("sender")).toString();
        e->text = o.value(QStringLiteral("text")).toString();
        e->timeStamp = o.value(QStringLiteral("timeStamp")).toString();
        e->receivedAt = o.value(QStringLiteral("receivedAt")).toString();
        e->forwardNumber = o.value(QStringLiteral("forwardNumber")).toString();
        e->port = o.value(QStringLiteral("port")).toString();
        e->stored = o.value(QStringLiteral("stored")).toBool();
        e->inDoubt = o.value(QStringLiteral("inDoubt")).toBool();
        return true;
    }
    if (kind == QLatin1String("report")) {
        e->kind = SpoolEntry::Kind::Report;
        e->sysNo = o.value(QStringLiteral("sysNo")).toString();
        e->reportNumber = o.value(QStringLiteral("number")).toString();
        e->reportStatus = o.value(QStringLiteral("status")).toInt();
        e->deliveryTime = o.value(QStringLiteral("deliveryTime")).toString();
        e->reportTime = o.value(QStringLiteral("reportTime")).toString();
        e->target = o.value(QStringLiteral("target")).toString();
        return !e->sysNo.isEmpty();
    }
    if (kind == QLatin1String("status")) {
        e->kind = SpoolEntry::Kind::Status;
        e->sysNo = o.value(QStringLiteral("sysNo")).toString();
        // Files written before the status was a number hold it as its text.
        const QJsonValue status = o.value(QStringLiteral("status"));
        bool isNumber = status.isDouble();
        const int value = isNumber ? status.toInt() : status.toString().toInt(&isNumber);
        if (!isNumber || !knownStatus(value))
            return false;
        e->status = RowStatus(value);
        e->handleTime = o.value(QStringLiteral("handleTime")).toString();
        e->target = o.value(QStringLiteral("target")).toString();
        return !e->sysNo.isEmpty();
    }
    return false;
}

} // namespace

Spool::Spool(QString folder) : m_folder(std::move(folder)) { }

QString Spool::pathOf(qint64 id) const
{
    return m_folder + QLatin1Char('/') + QStringLiteral("%1").arg(id, 16, 10, QLatin1Char('0'))
            + Suffix;
}

QStringList Spool::load()
{
    QStringList problems;
    m_entries.clear();
    QDir dir(m_folder);
    if (!dir.exists())
        return problems;
    // A temporary file is a write that never completed; its entry was never reported written.
    for (const QString &name : dir.entryList({QLatin1Char('*') + TempSuffix}, QDir::Files))
        dir.remove(name);
    for (const QString &name :
         dir.entryList({QLatin1Char('*') + Suffix}, QDir::Files, QDir::Name)) {
        bool ok = false;
        const qint64 id = name.chopped(Suffix.size()).toLongLong(&ok);
        QFile file(dir.filePath(name));
        SpoolEntry entry;
        if (ok && file.open(QIODevice::ReadOnly)) {
            const QJsonDocument doc = QJsonDocument::fromJson(file.readAll());
            file.close();
            ok = doc.isObject() && fromJson(doc.object(), &entry);
        } else {
            ok = false;
        }
        if (!ok) {
            file.rename(dir.filePath(name) + QStringLiteral(".bad"));
            problems << dir.filePath(name);
            continue;
        }
        entry.id = id;
        m_entries.insert(id, entry);
        m_nextId = qMax(m_nextId, id + 1);
    }
    m_folderReady = true;
    return problems;
}

bool Spool::ensureFolder(QString *error)
{
    if (m_folderReady)
        return true;
    if (!QDir().mkpath(m_folder)) {
        *error = QStringLiteral("无法创建文件夹 %1").arg(m_folder);
        return false;
    }
    m_folderReady = true;
    return true;
}

void Spool::syncFolder()
{
    // The rename or unlink is durable only once the folder itself reaches the disk.
    const int fd = ::open(QFile::encodeName(m_folder).constData(), O_RDONLY | O_DIRECTORY);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

bool Spool::write(const SpoolEntry &entry, QString *error)
{
    if (!ensureFolder(error))
        return false;
    const QString path = pathOf(entry.id);
    const QString temp = path.chopped(Suffix.size()) + TempSuffix;
    QFile file(temp);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        *error = file.errorString();
        return false;
    }
    const QByteArray data = serialize(entry);
    const bool written =
            file.write(data) == data.size() && file.flush() && ::fsync(file.handle()) == 0;
    if (!written) {
        *error = file.errorString();
        file.close();
        QFile::remove(temp);
        return false;
    }
    file.close();
    if (::rename(QFile::encodeName(temp).constData(), QFile::encodeName(path).constData()) != 0) {
        *error = QString::fromLocal8Bit(strerror(errno));
        QFile::remove(temp);
        return false;
    }
    syncFolder();
    return true;
}

QByteArray Spool::serialize(const SpoolEntry &entry)
{
    return QJsonDocument(toJson(entry)).toJson(QJsonDocument::Compact);
}

bool Spool::add(SpoolEntry &entry, QString *error)
{
    entry.id = m_nextId;
    if (!write(entry, error))
        return false;
    ++m_nextId;
    m_entries.insert(entry.id, entry);
    return true;
}

bool Spool::update(const SpoolEntry &entry, QString *error)
{
    if (!m_entries.contains(entry.id)) {
        *error = QStringLiteral("暂存记录%1不存在").arg(entry.id);
        return false;
    }
    if (!write(entry, error))
        return false;
    m_entries[entry.id] = entry;
    return true;
}

bool Spool::remove(qint64 id, QString *error)
{
    if (!QFile::remove(pathOf(id)) && QFile::exists(pathOf(id))) {
        *error = QStringLiteral("无法删除暂存文件 %1").arg(pathOf(id));
        return false;
    }
    syncFolder();
    m_entries.remove(id);
    return true;
}
