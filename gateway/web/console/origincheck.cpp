#include "origincheck.h"

#include "api/apiaccess.h"

#include <QUrl>

namespace {

int defaultPort(const QString &scheme)
{
    return scheme == QLatin1String("https") || scheme == QLatin1String("wss") ? 443 : 80;
}

} // namespace

namespace OriginCheck {

bool sameHost(const QByteArray &origin, const QByteArray &host, bool tls)
{
    const QUrl from(QString::fromLatin1(origin.trimmed()), QUrl::StrictMode);
    const QString scheme = from.scheme().toLower();
    if (!from.isValid() || from.host().isEmpty() || !from.path().isEmpty()
        || (scheme != QLatin1String("http") && scheme != QLatin1String("https")))
        return false;
    // The Host header has no scheme: the server's own decides the default port.
    const QUrl to(
            QStringLiteral("%1://%2").arg(tls ? QStringLiteral("https") : QStringLiteral("http"),
                                          QString::fromLatin1(host.trimmed())),
            QUrl::StrictMode);
    if (!to.isValid() || to.host().isEmpty() || (scheme == QLatin1String("https")) != tls)
        return false;
    return from.host().compare(to.host(), Qt::CaseInsensitive) == 0
            && from.port(defaultPort(scheme)) == to.port(defaultPort(to.scheme()));
}

bool allowed(const QHttpServerRequest &request, bool tls)
{
    const QByteArray site =
            ApiAccess::header(request, QByteArrayLiteral("Sec-Fetch-Site")).trimmed();
    if (!site.isEmpty() && site != "same-origin" && site != "none")
        return false;
    const QByteArray origin = ApiAccess::header(request, QByteArrayLiteral("Origin"));
    if (origin.isEmpty())
        return true;
    return sameHost(origin, ApiAccess::header(request, QByteArrayLiteral("Host")), tls);
}

} // namespace OriginCheck
