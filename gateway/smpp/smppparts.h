#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QHash>
#include <QMap>
#include <QString>

// The parts of messages clients split themselves, held until the last one comes so that the
// whole text makes one row. A part that is answered is on the disk first, so a kill between
// two parts loses nothing; the part that completes a message stays in memory only, and is
// answered with the row.
class SmppParts
{
public:
    enum class Result { Held, Complete, Failed };

    explicit SmppParts(QString folder) : m_folder(std::move(folder)) { }

    // Reads what was held before a restart; messages begun before cutOff are dropped.
    bool load(const QDateTime &cutOff, QString *error);
    // Adds a part of the message key. Complete gives the user data of all parts in order and
    // the data coding of the first in *joined and *dataCoding; the held parts stay until
    // forget(). Failed: the parts could not be saved, or disagree in their count.
    Result add(const QString &key, int total, int number, quint8 dataCoding,
               const QByteArray &data, const QDateTime &now, QByteArray *joined,
               quint8 *dataCoding1);
    // The message made its row.
    void forget(const QString &key);
    qsizetype size() const { return m_messages.size(); }

private:
    struct Message
    {
        int total = 0;
        QDateTime begun;
        QMap<int, QPair<quint8, QByteArray>> parts;
    };

    QString pathOf(const QString &key) const;
    bool save(const QString &key, const Message &message);

    QString m_folder;
    QHash<QString, Message> m_messages;
};
