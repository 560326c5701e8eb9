#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QString>

// One event on its way to one receiver.
struct WebhookEntry
{
    QString file; // the entry's name in the outbox
    QString id;   // webhook-id: the same on every try, so receivers drop what they already have
    QString url;
    QDateTime created;
    QByteArray body;
};

// The events not yet taken by their receivers, one file each in a folder of the program
// folder that only the gateway's user can read (the payloads hold message texts). An entry is
// on the disk, flushed, before anyone is told it was made, so a kill or a power cut loses none;
// it goes when its receiver has it. A cut between the two can only repeat an event, which the
// id lets receivers drop.
class WebhookOutbox
{
public:
    explicit WebhookOutbox(QString folder);

    const QString &folder() const { return m_folder; }
    // Makes the folder when it is missing; false with the reason in *error.
    bool prepare(QString *error);
    // Writes the entry and sets its file name; false with the reason in *error.
    bool add(WebhookEntry &entry, QString *error);
    void remove(const WebhookEntry &entry);
    // Every entry, oldest first. A file that cannot be read (cut off while written) goes.
    QList<WebhookEntry> load();

private:
    bool syncFolder();

    QString m_folder;
    quint64 m_serial = 0;
};
