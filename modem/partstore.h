#pragma once

#include <QByteArray>
#include <QByteArrayList>
#include <QHash>
#include <QList>
#include <QString>

// Parts of long messages kept on disk instead of in the modem's storage while their set is
// incomplete, so that parts whose other parts never come cannot fill the SIM. One file a part,
// flushed to the disk before the part is deleted from storage, so a part survives a crash of
// the program or of the machine.
class PartStore
{
public:
    struct Part
    {
        qint64 id = 0;
        QByteArray pduHex;
        qint64 receivedMs = 0; // since the epoch
    };

    void setFolder(const QString &folder) { m_folder = folder; }
    const QString &folder() const { return m_folder; }
    bool isEnabled() const { return !m_folder.isEmpty(); }

    // Every part in the folder, in the order they were added. Files that cannot be read are
    // left where they are.
    QList<Part> load();
    // 0 when the part could not be written (it then stays where it is).
    qint64 add(const QByteArray &pduHex, qint64 receivedMs, QString *error);
    void remove(qint64 id);

    // Parts of a message that has been handed on. A copy of one that shows up again (its
    // deletion from storage never confirmed before a crash) is only deleted. Remembered for a
    // day.
    void markDone(const QByteArrayList &pdus);
    bool isDone(const QByteArray &pduHex) const;

private:
    QString pathOf(qint64 id) const;
    QString donePath() const { return m_folder + QStringLiteral("/done"); }
    static QByteArray hashOf(const QByteArray &pduHex);
    void loadDone();

    static constexpr qint64 DoneKeptMs = 24LL * 3600 * 1000;
    QHash<QByteArray, qint64> m_done; // PDU hash -> when

    QString m_folder;
    qint64 m_nextId = 1;
};
