#pragma once

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QString>
#include <memory>

// One HTTP, HTTPS or FTP request made with libcurl. libcurl blocks, so the request runs on a
// worker thread; its phases, progress and outcome come back to this object's thread as queued
// signals, in the order they happened.
struct TransferRequest
{
    QByteArray url;
    QByteArray method;               // empty: GET (HTTP) or retrieve (FTP)
    QByteArray body;                 // sent with POST and PUT
    QList<QByteArray> headers;       // extra request header lines
    QString proxy;                   // host[:port]; empty: see useEnvironmentProxy
    bool useEnvironmentProxy = true; // honour http_proxy and friends when proxy is empty
    QString userName;
    QString password;
    bool forceReload = false;     // ask caches on the way for a fresh copy
    bool failOnHttpError = false; // a 4xx/5xx status fails the transfer
    int connectTimeoutSecs = 0;   // 0: libcurl's default
    int stallTimeoutSecs = 0;     // give up when nothing arrives for this long; 0: never
    int totalTimeoutSecs = 0;     // give up after this long in all; 0: never
};

struct TransferResult
{
    bool ok = false;
    bool cancelled = false;
    QString error; // libcurl's text when !ok
    long responseCode = 0;
    QByteArray body;
    QByteArray headers;
};

class CurlTransfer : public QObject
{
    Q_OBJECT

public:
    // The phases of a request. The numbers are the state numbers of the transfer client the
    // gateway's download control stands in for, so they pass on unchanged.
    enum Phase {
        Resolving = 1,
        Resolved = 2,
        Connecting = 3,
        Connected = 4,
        Requesting = 5,
        RequestSent = 6,
        ReceivingResponse = 7,
        ResponseReceived = 8,
        Disconnecting = 9,
        Disconnected = 10,
        Failed = 11,
        Completed = 12,
    };
    Q_ENUM(Phase)

    explicit CurlTransfer(QObject *parent = nullptr);
    // Aborts a running request and waits for its thread; nothing is delivered afterwards.
    ~CurlTransfer() override;

    // False, with errorString() set, when a request is still running or this one is refused
    // (an address libcurl cannot parse, a scheme other than http, https, ftp and ftps).
    bool start(const TransferRequest &request);
    // Stops the running request; finished() follows with cancelled set.
    void cancel();
    bool isRunning() const { return m_running; }
    const QString &errorString() const { return m_error; }

    static bool isUsableUrl(const QByteArray &url, QString *error);

Q_SIGNALS:
    void phaseChanged(int phase);
    void contentTypeKnown(const QString &contentType);
    // Body bytes received so far and the total announced (0 when none was).
    void dataProgress(qint64 received, qint64 total);
    void finished(const TransferResult &result);

private:
    struct Worker;
    void join();

    std::unique_ptr<Worker> m_worker;
    quint64 m_generation = 0;
    bool m_running = false;
    QString m_error;
};
