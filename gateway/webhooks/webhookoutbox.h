#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QHash>
#include <QList>
#include <QString>

// One event on its way to one receiver.
struct WebhookEntry
{
    QString file; // the outbox file that holds it
    int index = 0; // its place in that file
    QString id;   // webhook-id: follows from what happened, so every try and every replay keeps it
    QString url;
    QDateTime created;
    QByteArray body;

    // Unique in the outbox, and sorting in the order the entries were made.
    QString key() const { return file + QLatin1Char('#') + QString::number(index).rightJustified(6, QLatin1Char('0')); }
};

// The events not yet taken by their receivers, in a folder of the program folder that only the
// gateway's user can read (the payloads hold message texts). The events of one turn of the
// engine's loop go into one file, flushed to the disk once, before the changes they tell of are
// made final; a file goes when its receivers have every event in it. A kill or a power cut
// therefore loses none; it can only repeat events, which their ids let receivers drop.
class WebhookOutbox
{
public:
    explicit WebhookOutbox(QString folder);

    const QString &folder() const { return m_folder; }
    // Makes the folder when it is missing; false with the reason in *error.
    bool prepare(QString *error);
    // Writes the entries into one file and sets their file and index; false with the reason
    // in *error.
    bool add(QList<WebhookEntry> &entries, QString *error);
    // The entry was delivered or given up; its file goes with the last of its entries.
    void remove(const WebhookEntry &entry);
    // Every entry, oldest first. A file that cannot be read (cut off while written) goes.
    QList<WebhookEntry> load();

private:
    bool syncFolder();

    QString m_folder;
    quint64 m_serial = 0;
    // The entries each file still holds for a receiver.
    QHash<QString, int> m_left;
};
