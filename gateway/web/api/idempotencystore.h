#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QHash>
#include <QString>
#include <optional>

// The answers given to requests that carried an Idempotency-Key, per token, for 24 hours, so a
// client that retries after a lost answer gets the first answer and queues nothing twice. They
// are appended to a file of the program folder (flushed to disk before the answer goes out), so
// a restart of the gateway keeps them.
class IdempotencyStore
{
public:
    struct Answer
    {
        QByteArray bodyHash; // of the first request, to tell a reused key from a retry
        int status = 0;
        QByteArray body;
    };

    static constexpr qint64 KeepSeconds = 24 * 3600;
    static constexpr int MaxKeyLength = 255;

    explicit IdempotencyStore(QString path);

    static QString fileIn(const QString &programDir);
    static QByteArray hashOf(const QByteArray &body);

    std::optional<Answer> find(const QString &token, const QString &key, const QDateTime &now);
    // False when the answer could not be made durable; the caller has queued already, so the
    // answer still goes out, but a retry after a restart would queue again.
    bool remember(const QString &token, const QString &key, const Answer &answer,
                  const QDateTime &now);

private:
    struct Stored
    {
        qint64 at = 0;
        Answer answer;
    };

    void load(qint64 now);
    void compact();
    static QString slot(const QString &token, const QString &key);

    QString m_path;
    QHash<QString, Stored> m_answers;
    bool m_loaded = false;
    int m_expiredSinceCompact = 0;
};
