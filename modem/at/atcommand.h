#pragma once

#include "atresponse.h"

#include <QByteArray>
#include <QByteArrayList>
#include <QString>

// One command for AtChannel. Response lines belong to the command when they start with one of
// its prefixes or, for commands that answer with a bare text (AT+CGMM), when plainLines is set
// and the line is neither unsolicited nor vendor chatter.
struct AtCommand
{
    QByteArray text; // without the closing CR
    QByteArrayList prefixes;
    bool plainLines = false;
    // Sent after the "> " prompt and closed with Ctrl-Z (AT+CMGS in PDU mode).
    QByteArray payload;
    int timeoutMs = 5000;
    // A PDU line follows each response line (AT+CMGR, AT+CMGL in PDU mode).
    bool pduAfterLine = false;
};

struct AtResult
{
    enum class Status { Ok, Error, Timeout, Closed };

    Status status = Status::Closed;
    int errorCode = -1;
    AtResponse::Kind finalKind = AtResponse::Kind::Error;
    QByteArray finalLine;
    QByteArrayList lines;
    // The payload went to the device after the prompt (AT+CMGS); without it the modem never
    // had the message.
    bool payloadWritten = false;

    bool ok() const { return status == Status::Ok; }
    QString errorString() const;
};
