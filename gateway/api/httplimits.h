#pragma once

#include <QStringList>

// What one HTTP connection may hold and how long it may stay, for the status page and the API
// alike: a process with a thousand idle sockets has no descriptors left for its modems.
struct HttpLimits
{
    int maxConnections = 100;
    int idleSeconds = 30;
    qsizetype maxRequestLine = 8 * 1024;
    qsizetype maxHeaders = 16 * 1024;
    qsizetype maxBody = 64 * 1024;
    // The Host values a request may name; empty takes any. A server on a loopback address
    // takes only its own names, so a web page cannot reach it through a name it rebound to
    // 127.0.0.1.
    QStringList allowedHosts;
};
