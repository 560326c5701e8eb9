#include "webhookoutbox.h"

#include "common/writefully.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <algorithm>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const QString Suffix = QStringLiteral(".json");
const QString Partial = QStringLiteral(".part");

// Written whole and flushed to the disk under a name load() ignores, then renamed: the entry
// is either all there or not there.
bool writeFile(const QString &path, const QByteArray &data, QString *error)
{
    const QByteArray partial = QFile::encodeName(path + Partial);
    const int fd = ::open(partial.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0) {
        *error = QString::fromLocal8Bit(strerror(errno));
        return false;
    }
    const bool ok = writeFully(fd, data) && ::fsync(fd) == 0;
    const int savedErrno = errno;
    ::close(fd);
    if (!ok || ::rename(partial.constData(), QFile::encodeName(path).constData()) != 0) {
        *error = QString::fromLocal8Bit(strerror(ok ? errno : savedErrno));
        ::unlink(partial.constData());
        return false;
    }
    return true;
}

} // namespace

WebhookOutbox::WebhookOutbox(QString folder) : m_folder(std::move(folder)) { }

bool WebhookOutbox::prepare(QString *error)
{
    const QByteArray path = QFile::encodeName(m_folder);
    if (::mkdir(path.constData(), 0700) != 0 && errno != EEXIST) {
        *error = QString::fromLocal8Bit(strerror(errno));
        return false;
    }
    // A folder made by hand or an older copy may let others read the payloads.
    if (::chmod(path.constData(), 0700) != 0) {
        *error = QString::fromLocal8Bit(strerror(errno));
        return false;
    }
    return true;
}

bool WebhookOutbox::syncFolder()
{
    const int fd = ::open(QFile::encodeName(m_folder).constData(), O_RDONLY | O_DIRECTORY);
    if (fd < 0)
        return false;
    const bool ok = ::fsync(fd) == 0;
    ::close(fd);
    return ok;
}

bool WebhookOutbox::add(QList<WebhookEntry> &entries, QString *error)
{
    if (entries.isEmpty())
        return true;
    // The name sorts in the order of creation and is unique within the folder, also beside
    // the files of an earlier run.
    QString file;
    do {
        file = QStringLiteral("%1-%2%3")
                       .arg(entries.first().created.toMSecsSinceEpoch(), 15, 10, QLatin1Char('0'))
                       .arg(++m_serial, 8, 10, QLatin1Char('0'))
                       .arg(Suffix);
    } while (m_left.contains(file) || QFile::exists(m_folder + QLatin1Char('/') + file));
    QJsonArray list;
    for (const WebhookEntry &entry : std::as_const(entries))
        list.append(QJsonObject{{QStringLiteral("id"), entry.id},
                                {QStringLiteral("url"), entry.url},
                                {QStringLiteral("created"), entry.created.toMSecsSinceEpoch()},
                                {QStringLiteral("body"), QString::fromUtf8(entry.body)}});
    if (!writeFile(m_folder + QLatin1Char('/') + file,
                   QJsonDocument(list).toJson(QJsonDocument::Compact), error))
        return false;
    // The rename itself must survive a power cut too.
    if (!syncFolder()) {
        *error = QString::fromLocal8Bit(strerror(errno));
        return false;
    }
    for (qsizetype i = 0; i < entries.size(); ++i) {
        entries[i].file = file;
        entries[i].index = int(i);
    }
    m_left.insert(file, int(entries.size()));
    return true;
}

void WebhookOutbox::remove(const WebhookEntry &entry)
{
    const auto it = m_left.find(entry.file);
    if (it == m_left.end() || --*it > 0)
        return;
    m_left.erase(it);
    // A removal lost to a power cut only sends the events again.
    QFile::remove(m_folder + QLatin1Char('/') + entry.file);
}

QList<WebhookEntry> WebhookOutbox::load()
{
    QDir dir(m_folder);
    for (const QString &name : dir.entryList({QLatin1Char('*') + Partial}, QDir::Files))
        dir.remove(name);
    QList<WebhookEntry> entries;
    m_left.clear();
    const QStringList names = dir.entryList({QLatin1Char('*') + Suffix}, QDir::Files, QDir::Name);
    for (const QString &name : names) {
        QFile file(dir.filePath(name));
        const QJsonDocument doc = file.open(QIODevice::ReadOnly)
                ? QJsonDocument::fromJson(file.readAll())
                : QJsonDocument();
        // A file of an earlier version holds one event.
        const QJsonArray list = doc.isObject() ? QJsonArray{doc.object()} : doc.array();
        int kept = 0;
        for (qsizetype i = 0; i < list.size(); ++i) {
            const QJsonObject json = list.at(i).toObject();
            WebhookEntry entry{name,
                               int(i),
                               json.value(QStringLiteral("id")).toString(),
                               json.value(QStringLiteral("url")).toString(),
                               QDateTime::fromMSecsSinceEpoch(
                                       json.value(QStringLiteral("created")).toInteger()),
                               json.value(QStringLiteral("body")).toString().toUtf8()};
            if (entry.id.isEmpty() || entry.url.isEmpty() || entry.body.isEmpty())
                continue;
            entries.append(entry);
            ++kept;
        }
        if (kept == 0)
            file.remove();
        else
            m_left.insert(name, kept);
    }
    return entries;
}
