#pragma once

#include "apierror.h"

#include "model/outgoingmessage.h"

#include <QByteArray>
#include <QList>
#include <variant>

// The body of POST /api/v1/messages, checked down to each number and the text, so that
// nothing the table should not hold ever reaches it.
struct SendRequest
{
    // A list of numbers gets a list of answers, a single number a single answer.
    bool list = false;
    QList<OutgoingMessage> messages;

    static constexpr int MaxNumbers = 1000;
    // The driver sends a text in at most this many concatenated messages.
    static constexpr int MaxParts = 255;
    // The optional priority: higher goes first, 0 when absent.
    static constexpr int MinPriority = -1000;
    static constexpr int MaxPriority = 1000;

    static std::variant<SendRequest, ApiError> parse(const QByteArray &body);
    // The parts the driver makes of the text; 0 when it cannot send it at all.
    static int parts(const QString &text);
};
