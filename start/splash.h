#pragma once

#include "componentinstaller.h"

#include <QWidget>

class QLabel;
class QTimer;

// The launcher's one window. Its timer does all the work in two ticks three seconds apart: the
// first puts the components in place and has them registered, the second closes the window and
// starts the gateway.
class Splash : public QWidget
{
    Q_OBJECT

public:
    Splash(ComponentInstaller installer, QString launcherDir,
           ComponentInstaller::Starter gatewayStarter, QWidget *parent = nullptr);

    static constexpr int TickMs = 3000;

Q_SIGNALS:
    // The launcher's work is over: 0 when the gateway was started, 1 after a failure.
    void finished(int exitCode, const QString &error);

private:
    void TmrLoad_Timer();
    void stop(int exitCode, const QString &error);

    ComponentInstaller m_installer;
    QString m_launcherDir;
    ComponentInstaller::Starter m_gatewayStarter;
    bool m_componentsDone = false;
    QLabel *m_imgLoad;
    QLabel *m_label1;
    QLabel *m_lblemail;
    QLabel *m_lbltoome;
    QTimer *m_tmrLoad;
};
