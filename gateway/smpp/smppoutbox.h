#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QString>

// A deliver_sm waiting for a session of its token to take it.
struct SmppDelivery
{
    QString file;
    QString token;
    QDateTime created;
    QByteArray body; // the deliver_sm body as it goes out
};

// The receipts and received messages not yet acknowledged, one file each in a folder only the
// gateway's user can read. An entry is on the disk, synced, before it is offered, and goes only
// when a client answered it, so a kill loses none: it can only be offered twice.
class SmppOutbox
{
public:
    explicit SmppOutbox(QString folder) : m_folder(std::move(folder)) { }

    const QString &folder() const { return m_folder; }
    bool prepare(QString *error);
    // Writes the entry and names its file; false with the reason in *error.
    bool add(SmppDelivery &entry, QString *error);
    void remove(const SmppDelivery &entry);
    // Every entry, oldest first; a file that cannot be read goes.
    QList<SmppDelivery> load();

private:
    QString m_folder;
    quint64 m_serial = 0;
};

// Makes a folder for files that hold message texts: only the owner may enter it.
bool makePrivateFolder(const QString &path, QString *error);
