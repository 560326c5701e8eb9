#pragma once

#include <QList>
#include <QString>

class QCoreApplication;

// The simulator's command line (README.md lists it).
struct SimOptions
{
    QString portsDir;
    int count = 1;
    int first = 1;
    qulonglong numberBase = 0;
    QString control;
    QString model;
    int storage = 255;
    // The first command after this long without input, or after an ESC, is lost; 0: never.
    int ignoreFirstAfterMs = 0;
    // After a program opens a port, the modem's first answer comes this late; 0: at once.
    int firstAnswerDelayMs = 0;
    // Modems that answer nothing from the start.
    QList<int> silentPorts;

    // False, with the reason printed, when the simulator cannot start with this command line.
    bool parse(const QCoreApplication &app);

    // "3,8,10-12" as 3, 8, 10, 11, 12; false on anything else.
    static bool parsePorts(const QString &text, QList<int> *ports);
};
