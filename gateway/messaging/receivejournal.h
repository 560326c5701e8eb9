#pragma once

#include <QHash>
#include <QList>
#include <QSet>
#include <QString>
#include <QStringList>

// Received messages that are stored but perhaps not yet deleted from their modem, by the
// identity the modem control gives them. A message read again after a crash between its store
// and its deletion is found here and only deleted, not stored a second time. Each change is one
// line appended to a file before the modem may delete the message.
class ReceiveJournal
{
public:
    explicit ReceiveJournal(QString path);

    void load();
    bool contains(const QString &key) const { return m_keys.contains(key); }
    // Noted before the message is stored, with the HandleTime its smsrecv row gets: a crash may
    // come after the database took it and before add(), so a message read again with this mark
    // is looked for before it is stored, by that time as well as its number and text.
    bool markPending(const QString &key, const QString &handleTime, QString *error);
    bool isPending(const QString &key) const { return m_pending.contains(key); }
    // The HandleTime noted with the mark; empty for a mark written without one.
    QString pendingTime(const QString &key) const { return m_pending.value(key); }
    bool add(const QString &key, QString *error);
    // The modem confirmed these deletions: they can no longer be read again.
    void remove(const QStringList &keys);
    qsizetype size() const { return m_keys.size(); }

private:
    bool append(const QByteArray &lines, QString *error);
    void compact();

    // Bounds the file when deletions are never confirmed (a modem taken away for good).
    static constexpr qsizetype MaxKeys = 10000;
    QString m_path;
    QSet<QString> m_keys;
    QHash<QString, QString> m_pending;
    QList<QString> m_order;
    qsizetype m_lines = 0;
};
