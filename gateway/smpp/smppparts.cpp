#include "smppparts.h"

#include "smppoutbox.h"

#include "common/writefully.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

QString SmppParts::pathOf(const QString &key) const
{
    return m_folder + QLatin1Char('/')
            + QString::fromLatin1(
                    QCryptographicHash::hash(key.toUtf8(), QCryptographicHash::Sha1).toHex())
            + QStringLiteral(".json");
}

bool SmppParts::load(const QDateTime &cutOff, QString *error)
{
    m_messages.clear();
    if (!makePrivateFolder(m_folder, error))
        return false;
    QDir dir(m_folder);
    for (const QString &name : dir.entryList({QStringLiteral("*.json")}, QDir::Files)) {
        QFile file(dir.filePath(name));
        const QJsonObject json = file.open(QIODevice::ReadOnly)
                ? QJsonDocument::fromJson(file.readAll()).object()
                : QJsonObject();
        Message m;
        const QString key = json.value(QStringLiteral("key")).toString();
        m.total = json.value(QStringLiteral("total")).toInt();
        m.begun = QDateTime::fromMSecsSinceEpoch(json.value(QStringLiteral("begun")).toInteger());
        for (const QJsonValue &v : json.value(QStringLiteral("parts")).toArray()) {
            const QJsonObject p = v.toObject();
            m.parts.insert(p.value(QStringLiteral("n")).toInt(),
                           {quint8(p.value(QStringLiteral("dc")).toInt()),
                            QByteArray::fromBase64(
                                    p.value(QStringLiteral("data")).toString().toLatin1())});
        }
        if (key.isEmpty() || m.total < 2 || m.parts.isEmpty() || m.begun < cutOff
            || pathOf(key) != file.fileName()) {
            file.remove();
            continue;
        }
        m_messages.insert(key, m);
    }
    return true;
}

bool SmppParts::save(const QString &key, const Message &m)
{
    QJsonArray parts;
    for (auto it = m.parts.cbegin(); it != m.parts.cend(); ++it)
        parts.append(QJsonObject{{QStringLiteral("n"), it.key()},
                                 {QStringLiteral("dc"), int(it.value().first)},
                                 {QStringLiteral("data"),
                                  QString::fromLatin1(it.value().second.toBase64())}});
    const QJsonObject json{{QStringLiteral("key"), key},
                           {QStringLiteral("total"), m.total},
                           {QStringLiteral("begun"), m.begun.toMSecsSinceEpoch()},
                           {QStringLiteral("parts"), parts}};
    return replaceFileDurably(pathOf(key), QJsonDocument(json).toJson(QJsonDocument::Compact));
}

SmppParts::Result SmppParts::add(const QString &key, int total, int number, quint8 dataCoding,
                                 const QByteArray &data, const QDateTime &now, QByteArray *joined,
                                 quint8 *dataCoding1)
{
    Message m = m_messages.value(key);
    if (m.parts.isEmpty()) {
        m.total = total;
        m.begun = now;
    }
    if (m.total != total)
        return Result::Failed;
    // A part sent again (its answer was lost) replaces the first copy.
    m.parts.insert(number, {dataCoding, data});
    if (m.parts.size() == m.total) {
        joined->clear();
        for (const auto &part : std::as_const(m.parts))
            joined->append(part.second);
        *dataCoding1 = m.parts.first().first;
        return Result::Complete;
    }
    if (!save(key, m))
        return Result::Failed;
    m_messages.insert(key, m);
    return Result::Held;
}

void SmppParts::forget(const QString &key)
{
    if (m_messages.remove(key) || QFile::exists(pathOf(key)))
        QFile::remove(pathOf(key));
}
