#pragma once

#include <QByteArray>
#include <QStringList>
#include <functional>

// What one HTTP connection may hold and how long it may stay, for the status page and the API
// alike: a process with a thousand idle sockets has no descriptors left for its modems.
struct HttpLimits
{
    int maxConnections = 100;
    // One client address may hold no more than this, so that one local account or one host
    // cannot take every connection from the others.
    int maxPerAddress = 20;
    int idleSeconds = 30;
    // A request's head must be whole this long after its first byte, and its body must come at
    // least minBodyRate bytes a second after the same grace: a client that trickles a byte now
    // and then is cut off however often it sends.
    int headSeconds = 10;
    int minBodyRate = 1024;
    qsizetype maxRequestLine = 8 * 1024;
    qsizetype maxHeaders = 16 * 1024;
    qsizetype maxBody = 64 * 1024;
    // The Host values a request may name; empty takes any. A server on a loopback address
    // takes only its own names, so a web page cannot reach it through a name it rebound to
    // 127.0.0.1.
    QStringList allowedHosts;
    // The whole HTTP answer to GET /healthz, for a connection that comes when every slot is
    // taken: a monitor must still learn whether the gateway sends. Unset: such a connection is
    // refused like any other.
    std::function<QByteArray()> health;
    // Connections past the cap read for /healthz alone at once; beyond them, refused.
    int maxHealthOnly = 16;
};
