#pragma once

#include <QByteArray>
#include <QString>

// How one modem is opened and driven; filled by the control from its parameters.
struct ModemSettings
{
    QString portName; // device path, e.g. from SerialPortNames::resolve()
    int baudRate = 115200;
    bool alwaysUcs2 = false;
    // <mode> of AT+CNMI (1..3) with <mt> 1: messages stored and announced by +CMTI. 0 asks
    // for no indications; storage is then polled.
    int indicationMode = 2;
    int probeMs = 2000;         // how long a silent port is given to answer AT
    int commandMs = 3000;       // per initialisation command
    int sendPartMs = 30000;     // per +CMGS, from the command to its final result
    int pollMs = 5000;          // storage poll without indications
    bool statusReports = false; // TP-SRR in every SUBMIT, reports routed as +CDS/+CDSI
    int refusalRetryMs = 1000;  // wait before the one retry of a transiently refused part
    int simBusyMs = 20000;      // how long a SIM still busy after power-on is waited for
    // Incomplete concatenated messages are handed on as they are after this long.
    qint64 partsMaxAgeMs = 10LL * 60 * 1000;
    // Where parts of long messages wait off the SIM; empty: they wait in storage.
    QString partsFolder;
    // First pause before a message the caller could not keep is offered again; doubles
    // with every further refusal up to keptRetryMaxMs.
    int keptRetryMs = 30000;
    int keptRetryMaxMs = 10 * 60 * 1000;
};

// Where the modem keeps received messages, as the initialisation found it.
struct ModemStorage
{
    QByteArray readMemory;    // selected for reading, as of the last command queued
    QByteArray storageMemory; // where the modem stores new messages
    bool meUsable = false;    // the modem's own memory can be listed
    bool ackDirect = false;   // +CMT needs +CNMA (+CSMS service 1)
};
