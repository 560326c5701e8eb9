#pragma once

#include <QByteArray>

// What ATZ and AT&F put back: the settings a modem has after power-on.
struct SimSettings
{
    bool echo = true;
    int cmee = 0;
    int cmgf = 0;
    QByteArray cscs = "GSM";
    int cnmiMode = 0;
    int cnmiMt = 0;
    int cnmiDs = 0;
    int cregMode = 0;
    bool clip = false;

    // A +CME ERROR in the form AT+CMEE asked for.
    QByteArray cmeError(int code) const
    {
        if (cmee == 0)
            return "ERROR";
        if (cmee == 2)
            return code == 10 ? "+CME ERROR: SIM not inserted" : "+CME ERROR: unknown";
        return "+CME ERROR: " + QByteArray::number(code);
    }
};
