#pragma once

#include "apierror.h"
#include "ratelimiter.h"
#include "tokenstore.h"

#include <variant>

class QHttpServerRequest;

// Who may ask what: a bearer token from the program folder's token file, and no more than the
// configured rate of requests a second for each token.
class ApiAccess
{
public:
    explicit ApiAccess(const QString &programDir);

    // The token's entry, or the 401 or 429 to answer. Queueing needs a send or operator
    // token; reading takes any.
    std::variant<TokenStore::Entry, ApiError> authorize(const QHttpServerRequest &request,
                                                        bool queues = false);
    void setRate(int perSecond) { m_limiter.setRate(perSecond); }

    // A header's value, its name matched without regard to case.
    static QByteArray header(const QHttpServerRequest &request, const QByteArray &name);

private:
    TokenStore m_tokens;
    RateLimiter m_limiter;
};
