#pragma once

#include "smppbodies.h"

#include <QByteArray>
#include <QDateTime>
#include <QHash>
#include <QString>

// A row submitted over SMPP whose client asked for a receipt.
struct SmppWatch
{
    QString token;
    quint8 registeredDelivery = 0;
    QDateTime submitted;
    Smpp::Address source;      // the client's, where the receipt goes
    Smpp::Address destination; // the handset's, where the receipt comes from
    QString text;              // the start of the text, for the receipt's text: field
};

// The rows that still owe a receipt, by SysNo, in a journal of the program folder: a receipt
// is owed across a restart too. Lines are appended and synced before the submit is answered;
// the journal is written afresh, without what was settled, at every load.
class SmppSubmitted
{
public:
    explicit SmppSubmitted(QString path) : m_path(std::move(path)) { }
    ~SmppSubmitted();

    // Reads the journal; watches older than the cut-off are forgotten.
    bool load(const QDateTime &cutOff, QString *error);
    // Kept in memory and appended; on the disk after sync().
    void add(qint64 id, const SmppWatch &watch);
    bool sync();
    const SmppWatch *find(qint64 id) const;
    // The receipt was made: no other is owed.
    void settle(qint64 id);
    qsizetype size() const { return m_watches.size(); }

private:
    void append(const QByteArray &line);
    bool rewrite(QString *error);

    QString m_path;
    QHash<qint64, SmppWatch> m_watches;
    int m_fd = -1;
    bool m_dirty = false;
    qint64 m_lines = 0;
};
