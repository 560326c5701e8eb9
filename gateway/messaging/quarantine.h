#pragma once

#include <QByteArray>
#include <QString>

// Received content the gateway cannot store, set aside for the operator: one file each, in a
// folder of its own, flushed to the disk before the modem deletes what it came from.
class Quarantine
{
public:
    explicit Quarantine(QString folder) : m_folder(std::move(folder)) { }

    const QString &folder() const { return m_folder; }
    // Writes a new file named from stem (made unique); its path, or empty with *error.
    QString put(const QString &stem, const QByteArray &content, QString *error);

private:
    QString m_folder;
};
