#pragma once

#include <QObject>
#include <QString>
#include <QTimer>

class EngineHistory;

// Keeps the charts' day in a file of the program folder: read back when the gateway starts,
// written once a minute and when it ends, so a restart or an upgrade does not blank them.
class HistoryFile : public QObject
{
    Q_OBJECT

public:
    HistoryFile(EngineHistory &history, QString path);
    ~HistoryFile() override;

    // Writes the rings now; false when the file could not be replaced.
    bool save();

private:
    EngineHistory &m_history;
    QString m_path;
    QTimer m_timer;
};
