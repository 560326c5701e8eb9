#include "idempotencystore.h"

#include <QCryptographicHash>
#include <QFile>
#include <QSaveFile>
#include <unistd.h>

namespace {

// A line: seconds since the epoch, token name, key, body hash, status, answer; the texts in
// base64 so no value can break the line.
QByteArray line(qint64 at, const QString &slot, const IdempotencyStore::Answer &a)
{
    return QByteArray::number(at) + ' ' + slot.toUtf8().toBase64() + ' ' + a.bodyHash.toHex() + ' '
            + QByteArray::number(a.status) + ' ' + a.body.toBase64() + '\n';
}

} // namespace

IdempotencyStore::IdempotencyStore(QString path) : m_path(std::move(path)) { }

QString IdempotencyStore::fileIn(const QString &programDir)
{
    return programDir + QStringLiteral("/api-idempotency");
}

QByteArray IdempotencyStore::hashOf(const QByteArray &body)
{
    return QCryptographicHash::hash(body, QCryptographicHash::Sha256);
}

QString IdempotencyStore::slot(const QString &token, const QString &key)
{
    return token + QLatin1Char('\n') + key;
}

void IdempotencyStore::load(qint64 now)
{
    m_loaded = true;
    QFile file(m_path);
    if (!file.open(QIODevice::ReadOnly))
        return;
    int stale = 0;
    for (const QByteArray &l : file.readAll().split('\n')) {
        const QList<QByteArray> f = l.split(' ');
        if (f.size() != 5)
            continue;
        const qint64 at = f.at(0).toLongLong();
        if (now - at > KeepSeconds) {
            ++stale;
            continue;
        }
        m_answers.insert(
                QString::fromUtf8(QByteArray::fromBase64(f.at(1))),
                {at,
                 {QByteArray::fromHex(f.at(2)), f.at(3).toInt(), QByteArray::fromBase64(f.at(4))}});
    }
    if (stale > 0)
        compact();
}

// Writes the file anew with the answers still kept.
void IdempotencyStore::compact()
{
    QSaveFile file(m_path);
    if (!file.open(QIODevice::WriteOnly))
        return;
    file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    for (auto it = m_answers.cbegin(); it != m_answers.cend(); ++it)
        file.write(line(it->at, it.key(), it->answer));
    file.commit();
    m_expiredSinceCompact = 0;
}

std::optional<IdempotencyStore::Answer>
IdempotencyStore::find(const QString &token, const QString &key, const QDateTime &now)
{
    const qint64 seconds = now.toSecsSinceEpoch();
    if (!m_loaded)
        load(seconds);
    auto it = m_answers.find(slot(token, key));
    if (it == m_answers.end())
        return std::nullopt;
    if (seconds - it->at > KeepSeconds) {
        m_answers.erase(it);
        if (++m_expiredSinceCompact > 1000)
            compact();
        return std::nullopt;
    }
    return it->answer;
}

bool IdempotencyStore::remember(const QString &token, const QString &key, const Answer &answer,
                                const QDateTime &now)
{
    const qint64 seconds = now.toSecsSinceEpoch();
    if (!m_loaded)
        load(seconds);
    const QString s = slot(token, key);
    m_answers.insert(s, {seconds, answer});
    QFile file(m_path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Append))
        return false;
    file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    const QByteArray l = line(seconds, s, answer);
    return file.write(l) == l.size() && file.flush() && ::fsync(file.handle()) == 0;
}
