#pragma once

#include <QObject>
#include <QString>

// The text of the status bar's second panel, which tells the operator how many loaded messages
// still wait in memory.
class StatusPanel : public QObject
{
    Q_OBJECT

public:
    using QObject::QObject;

    const QString &text() const { return m_text; }
    void setText(const QString &text);
    void showQueueLength(int length);

Q_SIGNALS:
    void changed(const QString &text);

private:
    QString m_text;
};
