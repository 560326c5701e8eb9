#pragma once

#include "payloadwriter.h"

#include <QWidget>
#include <functional>

class QLabel;
class QProgressBar;
class QTimer;

// The updater's window: two seconds after it appears it writes the payload, moving its bar, and
// starts the gateway of the installation folder.
class GetUpdate : public QWidget
{
    Q_OBJECT

public:
    using Starter = std::function<bool(const QString &program)>;

    GetUpdate(PayloadWriter writer, QString installFolder, Starter starter,
              QWidget *parent = nullptr);

    static constexpr int StartDelayMs = 2000;

Q_SIGNALS:
    // The updater's work is over: 0 when the gateway was started, 1 after a failure.
    void finished(int exitCode, const QString &error);

private:
    void Timer1_Timer();
    void UpdateFiles();

    PayloadWriter m_writer;
    QString m_installFolder;
    Starter m_starter;
    QLabel *m_label1;
    QProgressBar *m_progressBar1;
    QTimer *m_timer1;
};
