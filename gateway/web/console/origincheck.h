#pragma once

#include <QByteArray>

class QHttpServerRequest;

// Refuses what a browser sends on behalf of another site: a page elsewhere may post a form to
// the console or open its live channel, and the browser would carry the operator's access with
// it. Programs that are not browsers send no Origin and pass; they need a token anyway.
namespace OriginCheck {

// Whether origin (an Origin header, "http://host:port") names the same host and port as host
// (a Host header). "null" and anything unreadable do not.
bool sameHost(const QByteArray &origin, const QByteArray &host, bool tls);
// The request came from the console's own page or from no browser at all.
bool allowed(const QHttpServerRequest &request, bool tls);

} // namespace OriginCheck
