#pragma once

#include "asyncprop.h"

#include <QList>
#include <QObject>
#include <QString>
#include <QVariant>
#include <functional>

class CurlTransfer;
class InetClient;
class PropertyBag;
struct TransferResult;

// Fetches one file from an HTTP, HTTPS or FTP URL into a local file and reports progress, state
// changes, completion and errors as events. Connection settings live in the transfer client it
// holds (Inet1); the download itself is an asynchronous read whose progress and completion
// arrive as queued notifications on this object's thread.
//
// Events run synchronously; a host whose handler of AsyncReadProgress or DownloadComplete
// fails calls reportHandlerFailure() before returning, and the control reports that failure
// the way it reports its own.
class Downloader : public QObject
{
    Q_OBJECT
    Q_CLASSINFO("Cancel", "Method used to cancel the request currently being executed")
    Q_CLASSINFO("Execute", "Issue a request to the remote computer")
    Q_CLASSINFO("StillExecuting", "Returns whether this control is currently busy")
    Q_CLASSINFO("CancelAsyncRead", "Cancel an asynchronous data request.")
    Q_CLASSINFO("Password", "Password to use for authentication")
    Q_CLASSINFO("Protocol", "Protocol to use for this URL")
    Q_CLASSINFO("Proxy", "Proxy server to use when accessing the net")
    Q_CLASSINFO("RemoteHost", "Returns/Sets the remote computer")
    Q_CLASSINFO("RemotePort", "Returns/Sets the internet port to be used on the remote computer")
    Q_CLASSINFO("RequestTimeout", "Gets/Sets number of seconds to wait for request to complete")
    Q_CLASSINFO("UserName", "User name to use for authentication")
    Q_CLASSINFO("URL", "Returns/Sets the URL used by this control")
    Q_CLASSINFO("StateChanged", "StateChanged event")
    Q_PROPERTY(QVariant TargetFile READ TargetFile WRITE setTargetFile)
    Q_PROPERTY(QVariant SourceURL READ SourceURL WRITE setSourceURL)
    Q_PROPERTY(QVariant FileSize READ FileSize WRITE setFileSize)
    Q_PROPERTY(QString Password READ Password WRITE setPassword)
    Q_PROPERTY(qint32 Protocol READ Protocol WRITE setProtocol)
    Q_PROPERTY(QString Proxy READ Proxy WRITE setProxy)
    Q_PROPERTY(QString RemoteHost READ RemoteHost WRITE setRemoteHost)
    Q_PROPERTY(quint16 RemotePort READ RemotePort WRITE setRemotePort)
    Q_PROPERTY(qint32 RequestTimeout READ RequestTimeout WRITE setRequestTimeout)
    Q_PROPERTY(QString UserName READ UserName WRITE setUserName)
    Q_PROPERTY(QString URL READ URL WRITE setURL)
    Q_PROPERTY(bool StillExecuting READ StillExecuting)

public:
    // The texts DownloadError carries.
    static const QString ErrorInDownloadFile;      // "Error : In DownloadFile"
    static const QString ErrorInAsyncRead;         // "Error : In AsyncRead"
    static const QString ErrorInAsyncReadProgress; // "Error : In AsyncReadProgress"
    static const QString NotConnected;             // "Not Connected"

    // The name every read started by DownloadFile carries.
    static const QString DownloadProperty; // "TESTER"
    // AsyncRead option: fetch from the server, not from a cache on the way.
    static constexpr int ForceUpdate = 16;

    explicit Downloader(QObject *parent = nullptr);
    // Discards every read still in progress; nothing is written afterwards.
    ~Downloader() override;

    void Cancel();
    // Hands the request to the transfer client; false, with errorString(), when it refuses.
    bool Execute(const QVariant &URL = {}, const QVariant &Operation = {},
                 const QVariant &InputData = {}, const QVariant &InputHdrs = {});
    bool StillExecuting() const;
    // Starts the download of the URL last given to setURL() into TargetFile and returns at
    // once.
    QVariant DownloadFile();

    QVariant TargetFile() const { return m_targetFile; }
    void setTargetFile(const QVariant &value);
    QVariant SourceURL() const { return m_sourceUrl; }
    void setSourceURL(const QVariant &value);
    QVariant FileSize() const { return m_fileSize; }
    void setFileSize(const QVariant &value);

    void AsyncRead(const QString &Target, qint32 AsyncType, const QString &PropertyName = {},
                   const QVariant &AsyncReadOptions = {});
    // Cancels the reads carrying that name (every read for an empty name); false when none is
    // running.
    bool CancelAsyncRead(const QString &Property = {});

    QString Password() const;
    void setPassword(const QString &value);
    qint32 Protocol() const;
    void setProtocol(qint32 value);
    QString Proxy() const;
    void setProxy(const QString &value);
    QString RemoteHost() const;
    void setRemoteHost(const QString &value);
    quint16 RemotePort() const;
    void setRemotePort(quint16 value);
    qint32 RequestTimeout() const;
    void setRequestTimeout(qint32 value);
    QString UserName() const;
    void setUserName(const QString &value);
    QString URL() const;
    void setURL(const QString &value);

    // "2" for an FTP address, "4" for any other text.
    QString GetProtocol(const QString &sUrl);

    void ReadProperties(const PropertyBag &bag);
    void WriteProperties(PropertyBag &bag) const;

    // Called by a host from inside its AsyncReadProgress or DownloadComplete handler when that
    // handler failed.
    void reportHandlerFailure();

    // The description text of a member, empty for members without one.
    static QString description(const char *member);
    const QString &errorString() const { return m_error; }
    InetClient &transferClient() { return *m_inet; }

Q_SIGNALS:
    void AsyncReadProgress(const AsyncProp &AsyncProp);
    void DownloadError(const QString &sError);
    void DownloadComplete();
    void StateChanged(qint16 State);
    // A property was set; the host saves its properties again.
    void PropertyChanged(const QString &name);

private:
    struct Read
    {
        CurlTransfer *transfer = nullptr;
        AsyncProp prop;
        bool begun = false;
    };
    enum class Dispatch { None, Progress, Complete };

    void progress(Read *read, int statusCode);
    // Raises an event; true when the host's handler reported a failure.
    bool raise(Dispatch kind, const std::function<void()> &event);
    void follow(CurlTransfer *transfer);
    void complete(Read *read, const TransferResult &result);
    Read *findRead(const CurlTransfer *transfer);
    void removeRead(Read *read);
    bool writeTarget(const QByteArray &bytes);
    void changed(const char *name);

    InetClient *m_inet;
    QVariant m_targetFile = 0;
    QVariant m_sourceUrl = 0;
    QVariant m_fileSize = 0;
    QString m_rememberedUrl;
    QList<Read *> m_reads;
    Dispatch m_dispatch = Dispatch::None;
    bool m_handlerFailed = false;
    QString m_error;
};
