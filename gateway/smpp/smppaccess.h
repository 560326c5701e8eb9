#pragma once

#include "api/ratelimiter.h"
#include "api/tokenstore.h"

#include <QString>
#include <QStringList>
#include <optional>

// The one place the SMPP server meets the HTTP API's pieces: its tokens, its per-token rate
// and its check of numbers, so that both front ends let in and refuse the same.
class SmppAccess
{
public:
    struct Grant
    {
        QString token;
        bool transmits = false; // role send or operator
        bool reads = false;     // role read or operator: received messages
    };

    explicit SmppAccess(const QString &programDir);

    // system_id is the token's name, password the token; nullopt for any mismatch.
    std::optional<Grant> authenticate(const QByteArray &systemId, const QByteArray &password);
    // The names of the tokens that get received messages now.
    QStringList readers();
    void setRate(int perSecond) { m_limiter.setRate(perSecond); }
    // false when the token is past its rate.
    bool take(const QString &token) { return m_limiter.take(token) == 0; }

    static std::optional<QString> number(const QString &text);
    // Whether the driver can send the text at all (not too many parts).
    static bool sendable(const QString &text);

private:
    TokenStore m_tokens;
    RateLimiter m_limiter;
};
