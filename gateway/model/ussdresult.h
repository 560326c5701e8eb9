#pragma once

#include <QDateTime>
#include <QString>

// One USSD request of the gateway and, once it ended, its outcome, as the API and the console
// show it.
struct UssdResult
{
    enum class Status { Pending, Answered, Failed };

    qint64 id = 0;
    QString port; // the configured port number, "3"
    QString code;
    Status status = Status::Pending;
    // The network's session state (+CUSD <m>): 0 done, 1 a reply is awaited (continue with
    // this id as the session), 2 ended by the network; -1 when no answer came.
    int state = -1;
    QString text;
    // Why it failed: "timeout", "unsupported", "refused", "closed", "busy", "not_open".
    QString error;
    QDateTime askedAt;
    QDateTime answeredAt;
    // The request this one continues; 0 for a fresh code.
    qint64 session = 0;

    static QString statusName(Status s)
    {
        switch (s) {
        case Status::Pending:
            return QStringLiteral("pending");
        case Status::Answered:
            return QStringLiteral("answered");
        case Status::Failed:
            return QStringLiteral("failed");
        }
        return {};
    }
};
