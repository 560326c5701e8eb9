#include "apiaccess.h"

#include <QHttpServerRequest>

ApiAccess::ApiAccess(const QString &programDir) : m_tokens(TokenStore::fileIn(programDir)) { }

QByteArray ApiAccess::header(const QHttpServerRequest &request, const QByteArray &name)
{
    for (const auto &h : request.headers()) {
        if (h.first.compare(name, Qt::CaseInsensitive) == 0)
            return h.second;
    }
    return {};
}

std::variant<TokenStore::Entry, ApiError> ApiAccess::authorize(const QHttpServerRequest &request,
                                                               bool queues)
{
    const QByteArray value = header(request, QByteArrayLiteral("Authorization")).trimmed();
    const QByteArray scheme = value.left(7);
    if (scheme.compare("Bearer ", Qt::CaseInsensitive) != 0)
        return ApiError{401, "unauthorized", QStringLiteral("Authorization: Bearer <token> is needed")};
    const auto entry = m_tokens.authenticate(value.mid(7).trimmed());
    if (!entry)
        return ApiError{401, "unauthorized", QStringLiteral("invalid or revoked token")};
    if (queues && entry->role == TokenStore::Role::Read)
        return ApiError{401, "unauthorized", QStringLiteral("a read token cannot queue messages")};
    if (const int wait = m_limiter.take(entry->name); wait > 0) {
        ApiError e{429, "rate_limited",
                   QStringLiteral("at most %1 requests a second per token").arg(m_limiter.rate())};
        e.retryAfter = wait;
        return e;
    }
    return *entry;
}
