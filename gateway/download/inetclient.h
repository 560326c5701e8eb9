#pragma once

#include "curltransfer.h"

#include <QObject>
#include <QString>
#include <QVariant>
#include <optional>

// The Internet transfer client: connection settings (protocol, proxy, credentials, host, port,
// time-out, URL) and requests made with them, each reporting the client's state numbers
// (CurlTransfer::Phase) as it goes.
class InetClient : public QObject
{
    Q_OBJECT

public:
    // Protocol numbers of the client.
    enum Protocol { Unknown = 0, Default = 1, Ftp = 2, Http = 4, Https = 5 };
    // Where the proxy comes from: the system's settings (http_proxy and friends), none, or
    // the Proxy property.
    enum AccessType { UseDefault = 0, Direct = 1, NamedProxy = 2 };

    explicit InetClient(QObject *parent = nullptr);

    int accessType() const { return m_accessType; }
    void setAccessType(int type) { m_accessType = type; }
    qint32 protocol() const { return m_protocol; }
    void setProtocol(qint32 protocol) { m_protocol = protocol; }
    const QString &proxy() const { return m_proxy; }
    void setProxy(const QString &proxy) { m_proxy = proxy; }
    const QString &remoteHost() const { return m_remoteHost; }
    void setRemoteHost(const QString &host) { m_remoteHost = host; }
    qint16 remotePort() const { return m_remotePort; }
    void setRemotePort(qint16 port) { m_remotePort = port; }
    // Seconds a request may wait for the server.
    qint32 requestTimeout() const { return m_requestTimeout; }
    void setRequestTimeout(qint32 seconds) { m_requestTimeout = seconds; }
    const QString &userName() const { return m_userName; }
    void setUserName(const QString &name) { m_userName = name; }
    const QString &password() const { return m_password; }
    void setPassword(const QString &password) { m_password = password; }
    const QString &url() const { return m_url; }
    void setUrl(const QString &url) { m_url = url; }

    // Starts a request and returns at once; StateChanged reports its course and the response
    // is kept for responseBody()/responseHeaders(). An empty url means the URL property.
    // HTTP operations are methods ("GET", "HEAD", "POST", "PUT", ...), with inputData as the
    // body and inputHdrs as extra header lines separated by CR LF; FTP knows "GET" (or no
    // operation) for the file of the url and "DIR"/"LS" for a listing.
    // False, with errorString() set, when the request cannot be started.
    bool Execute(const QVariant &url, const QVariant &operation, const QVariant &inputData,
                 const QVariant &inputHdrs);
    // Fetches a URL and waits for the body, at most requestTimeout() seconds in all. The
    // event loop keeps running meanwhile (timers, sockets, painting), user input waits.
    std::optional<QByteArray> OpenURL(const QString &url);
    void Cancel();
    bool StillExecuting() const { return m_transfer->isRunning(); }

    // The settings as a request, for other readers that share them.
    TransferRequest requestFor(const QByteArray &url) const;

    const QByteArray &responseBody() const { return m_body; }
    const QByteArray &responseHeaders() const { return m_headers; }
    long responseCode() const { return m_responseCode; }
    const QString &errorString() const { return m_error; }

Q_SIGNALS:
    void StateChanged(int state);
    // A request started by Execute has ended; the result is in errorString()/responseBody().
    void requestDone(bool ok);

private:
    bool fail(const QString &message);

    CurlTransfer *m_transfer;
    int m_accessType = UseDefault;
    qint32 m_protocol = Default;
    QString m_proxy;
    QString m_remoteHost;
    qint16 m_remotePort = 80;
    qint32 m_requestTimeout = 60;
    QString m_userName;
    QString m_password;
    QString m_url;
    QByteArray m_body;
    QByteArray m_headers;
    long m_responseCode = 0;
    QString m_error;
};
