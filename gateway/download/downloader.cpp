#include "downloader.h"

#include "common/propertybag.h"
#include "curltransfer.h"
#include "inetclient.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QMetaClassInfo>
#include <QPointer>
#include <QSaveFile>

const QString Downloader::ErrorInDownloadFile = QStringLiteral("Error : In DownloadFile");
const QString Downloader::ErrorInAsyncRead = QStringLiteral("Error : In AsyncRead");
const QString Downloader::ErrorInAsyncReadProgress = QStringLiteral("Error : In AsyncReadProgress");
const QString Downloader::NotConnected = QStringLiteral("Not Connected");
const QString Downloader::DownloadProperty = QStringLiteral("TESTER");

namespace {

void yield()
{
    QCoreApplication::processEvents();
}

// The name a target file would get; a target that names a folder is never written.
bool isFileName(const QString &name)
{
    return !name.isEmpty() && name != QLatin1String(".") && name != QLatin1String("..");
}

} // namespace

Downloader::Downloader(QObject *parent) : QObject(parent), m_inet(new InetClient(this))
{
    connect(m_inet, &InetClient::StateChanged, this,
            [this](int state) { Q_EMIT StateChanged(qint16(state)); });
}

Downloader::~Downloader()
{
    // The transfers are children and go with this object; their reads are simply forgotten.
    qDeleteAll(m_reads);
}

void Downloader::Cancel()
{
    m_inet->Cancel();
}

bool Downloader::Execute(const QVariant &URL, const QVariant &Operation, const QVariant &InputData,
                         const QVariant &InputHdrs)
{
    if (m_inet->Execute(URL, Operation, InputData, InputHdrs))
        return true;
    m_error = m_inet->errorString();
    return false;
}

bool Downloader::StillExecuting() const
{
    return m_inet->StillExecuting();
}

QVariant Downloader::DownloadFile()
{
    QPointer<Downloader> self(this);
    // The transfer client takes no new settings while it executes a request.
    if (m_inet->StillExecuting()) {
        m_error = QStringLiteral("Still executing last request");
        Q_EMIT DownloadError(ErrorInDownloadFile);
        return {};
    }
    setProtocol(GetProtocol(m_rememberedUrl).toInt());
    if (!self)
        return {};
    yield();
    if (!self)
        return {};
    AsyncRead(m_rememberedUrl, AsyncProp::ByteArray, DownloadProperty, ForceUpdate);
    if (!self)
        return {};
    yield();
    return {};
}

void Downloader::setTargetFile(const QVariant &value)
{
    m_targetFile = value;
    changed("TargetFile");
}

void Downloader::setSourceURL(const QVariant &value)
{
    m_sourceUrl = value;
    changed("SourceURL");
}

void Downloader::setFileSize(const QVariant &value)
{
    m_fileSize = value;
    changed("FileSize");
}

// Each transfer's news reaches its read, found again by the transfer, since a cancel may have
// ended the read in between.
void Downloader::follow(CurlTransfer *transfer)
{
    connect(transfer, &CurlTransfer::phaseChanged, this, [this, transfer](int phase) {
        Read *r = findRead(transfer);
        if (!r)
            return;
        switch (phase) {
        case CurlTransfer::Resolving:
            progress(r, AsyncProp::FindingResource);
            break;
        case CurlTransfer::Connecting:
            progress(r, AsyncProp::Connecting);
            break;
        case CurlTransfer::Requesting:
            progress(r, AsyncProp::SendingRequest);
            break;
        default:
            break;
        }
    });
    connect(transfer, &CurlTransfer::contentTypeKnown, this, [this, transfer](const QString &type) {
        if (Read *r = findRead(transfer)) {
            r->prop.StatusText = type;
            progress(r, AsyncProp::MimeTypeAvailable);
        }
    });
    connect(transfer, &CurlTransfer::dataProgress, this,
            [this, transfer](qint64 received, qint64 total) {
                Read *r = findRead(transfer);
                if (!r)
                    return;
                r->prop.BytesRead = received;
                r->prop.BytesMax = total;
                const bool first = !r->begun;
                r->begun = true;
                progress(r, first ? AsyncProp::BeginDownloadData : AsyncProp::DownloadingData);
            });
    connect(transfer, &CurlTransfer::finished, this,
            [this, transfer](const TransferResult &result) {
                if (Read *r = findRead(transfer))
                    complete(r, result);
            });
}

void Downloader::AsyncRead(const QString &Target, qint32 AsyncType, const QString &PropertyName,
                           const QVariant &AsyncReadOptions)
{
    const bool busy = std::any_of(m_reads.cbegin(), m_reads.cend(), [&](const Read *r) {
        return r->prop.PropertyName == PropertyName;
    });
    if (busy) {
        m_error = QStringLiteral("a read named \"%1\" is already running").arg(PropertyName);
        Q_EMIT DownloadError(ErrorInAsyncRead);
        return;
    }
    if (AsyncType != AsyncProp::ByteArray) {
        m_error = QStringLiteral("read type %1 is not supported").arg(AsyncType);
        Q_EMIT DownloadError(ErrorInAsyncRead);
        return;
    }
    TransferRequest request = m_inet->requestFor(Target.toUtf8());
    request.forceReload = (AsyncReadOptions.toInt() & ForceUpdate) != 0;
    // A server that refuses the file delivers no data.
    request.failOnHttpError = true;

    auto *read = new Read;
    read->transfer = new CurlTransfer(this);
    read->prop.AsyncType = AsyncType;
    read->prop.PropertyName = PropertyName;
    read->prop.Target = Target;
    CurlTransfer *transfer = read->transfer;
    follow(transfer);

    if (!transfer->start(request)) {
        m_error = transfer->errorString();
        delete transfer;
        delete read;
        Q_EMIT DownloadError(ErrorInAsyncRead);
        return;
    }
    m_reads.append(read);
}

bool Downloader::CancelAsyncRead(const QString &Property)
{
    bool found = false;
    const QList<Read *> reads = m_reads;
    for (Read *read : reads) {
        if (Property.isEmpty() || read->prop.PropertyName == Property) {
            removeRead(read);
            found = true;
        }
    }
    if (!found)
        m_error = QStringLiteral("no read named \"%1\" is running").arg(Property);
    return found;
}

void Downloader::progress(Read *read, int statusCode)
{
    read->prop.StatusCode = statusCode;
    QPointer<Downloader> self(this);
    const AsyncProp prop = read->prop;
    if (raise(Dispatch::Progress, [&] { Q_EMIT AsyncReadProgress(prop); }) && self)
        Q_EMIT DownloadError(ErrorInAsyncReadProgress);
}

void Downloader::complete(Read *read, const TransferResult &result)
{
    QPointer<Downloader> self(this);
    if (result.cancelled) {
        removeRead(read);
        return;
    }
    // libcurl reports a body cut short of its Content-Length or FTP size as a failure; this
    // holds the line should it ever let one through, since the file may be run as a program.
    const bool whole =
            result.ok && (read->prop.BytesMax <= 0 || result.body.size() >= read->prop.BytesMax);
    if (whole) {
        read->prop.BytesRead = result.body.size();
        if (read->prop.BytesMax == 0 && read->begun)
            read->prop.BytesMax = result.body.size();
        progress(read, AsyncProp::EndDownloadData);
        if (!self)
            return;
    } else {
        m_error = result.ok ? QStringLiteral("received %1 of the %2 bytes announced")
                                      .arg(result.body.size())
                                      .arg(read->prop.BytesMax)
                            : result.error;
    }
    AsyncProp prop = read->prop;
    prop.Value = result.body;
    removeRead(read);

    yield();
    if (!self)
        return;
    if (!whole) {
        Q_EMIT DownloadError(NotConnected);
        return;
    }
    if (prop.AsyncType == AsyncProp::ByteArray && !writeTarget(prop.Value)) {
        Q_EMIT DownloadError(NotConnected);
        return;
    }
    yield();
    if (!self)
        return;
    if (raise(Dispatch::Complete, [&] { Q_EMIT DownloadComplete(); }) && self)
        Q_EMIT DownloadError(NotConnected);
}

bool Downloader::writeTarget(const QByteArray &bytes)
{
    // The initial value 0 is no file name; neither is a path that ends in a folder.
    if (m_targetFile.typeId() != QMetaType::QString) {
        m_error = QStringLiteral("no target file");
        return false;
    }
    const QString path = m_targetFile.toString();
    const qsizetype slash = path.lastIndexOf(QLatin1Char('/'));
    if (!isFileName(path.mid(slash + 1))) {
        m_error = QStringLiteral("the target %1 names no file").arg(path);
        return false;
    }
    // Written aside and renamed over the target, so an existing file ends up holding exactly
    // the received bytes and a failed write leaves nothing behind.
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit()) {
        m_error = QStringLiteral("cannot write %1: %2").arg(path, file.errorString());
        file.cancelWriting();
        return false;
    }
    return true;
}

Downloader::Read *Downloader::findRead(const CurlTransfer *transfer)
{
    for (Read *read : std::as_const(m_reads))
        if (read->transfer == transfer)
            return read;
    return nullptr;
}

void Downloader::removeRead(Read *read)
{
    m_reads.removeOne(read);
    // The transfer may be delivering this very notification; it goes once control is back in
    // the event loop, and its destructor stops a transfer still running.
    read->transfer->cancel();
    read->transfer->deleteLater();
    delete read;
}

bool Downloader::raise(Dispatch kind, const std::function<void()> &event)
{
    // Handlers may yield, so a further event can be raised while this one runs; each keeps
    // its own failure mark.
    QPointer<Downloader> self(this);
    const Dispatch outerKind = m_dispatch;
    const bool outerFailed = m_handlerFailed;
    m_dispatch = kind;
    m_handlerFailed = false;
    event();
    if (!self)
        return false;
    const bool failed = m_handlerFailed;
    m_dispatch = outerKind;
    m_handlerFailed = outerFailed;
    return failed;
}

void Downloader::reportHandlerFailure()
{
    if (m_dispatch != Dispatch::None)
        m_handlerFailed = true;
}

QString Downloader::Password() const
{
    return m_inet->password();
}

void Downloader::setPassword(const QString &value)
{
    m_inet->setPassword(value);
    changed("Password");
}

qint32 Downloader::Protocol() const
{
    return m_inet->protocol();
}

void Downloader::setProtocol(qint32 value)
{
    m_inet->setProtocol(value);
    changed("Protocol");
}

QString Downloader::Proxy() const
{
    return m_inet->proxy();
}

void Downloader::setProxy(const QString &value)
{
    m_inet->setProxy(value);
    changed("Proxy");
}

QString Downloader::RemoteHost() const
{
    return m_inet->remoteHost();
}

void Downloader::setRemoteHost(const QString &value)
{
    m_inet->setRemoteHost(value);
    changed("RemoteHost");
}

quint16 Downloader::RemotePort() const
{
    return m_inet->remotePort();
}

void Downloader::setRemotePort(quint16 value)
{
    m_inet->setRemotePort(value);
    changed("RemotePort");
}

qint32 Downloader::RequestTimeout() const
{
    return m_inet->requestTimeout();
}

void Downloader::setRequestTimeout(qint32 value)
{
    m_inet->setRequestTimeout(value);
    changed("RequestTimeout");
}

QString Downloader::UserName() const
{
    return m_inet->userName();
}

void Downloader::setUserName(const QString &value)
{
    m_inet->setUserName(value);
    changed("UserName");
}

QString Downloader::URL() const
{
    return m_inet->url();
}

void Downloader::setURL(const QString &value)
{
    m_rememberedUrl = value;
    m_inet->setUrl(value);
    changed("URL");
}

QString Downloader::GetProtocol(const QString &sUrl)
{
    const QString url = sUrl.toUpper().trimmed();
    const bool ftp = url.contains(QLatin1String("FTP://")) || url.contains(QLatin1String("FTP."));
    yield();
    return ftp ? QStringLiteral("2") : QStringLiteral("4");
}

void Downloader::ReadProperties(const PropertyBag &bag)
{
    m_targetFile = bag.readProperty(QStringLiteral("TargetFile"), 0);
    m_sourceUrl = bag.readProperty(QStringLiteral("SourceURL"), 0);
    m_fileSize = bag.readProperty(QStringLiteral("FileSize"), 0);
    m_inet->setPassword(bag.readProperty(QStringLiteral("Password"), QString()).toString());
    m_inet->setProtocol(bag.readProperty(QStringLiteral("Protocol"), 1).toInt());
    m_inet->setProxy(bag.readProperty(QStringLiteral("Proxy"), QString()).toString());
    m_inet->setRemoteHost(bag.readProperty(QStringLiteral("RemoteHost"), QString()).toString());
    m_inet->setRemotePort(quint16(bag.readProperty(QStringLiteral("RemotePort"), 80).toUInt()));
    m_inet->setRequestTimeout(bag.readProperty(QStringLiteral("RequestTimeout"), 60).toInt());
    m_inet->setUserName(bag.readProperty(QStringLiteral("UserName"), QString()).toString());
    // Only the client's URL: DownloadFile fetches the remembered one, which a load leaves empty.
    m_inet->setUrl(bag.readProperty(QStringLiteral("URL"), QString()).toString());
}

void Downloader::WriteProperties(PropertyBag &bag) const
{
    bag.writeProperty(QStringLiteral("TargetFile"), m_targetFile, 0);
    bag.writeProperty(QStringLiteral("SourceURL"), m_sourceUrl, 0);
    bag.writeProperty(QStringLiteral("FileSize"), m_fileSize, 0);
    bag.writeProperty(QStringLiteral("Password"), m_inet->password(), QString());
    bag.writeProperty(QStringLiteral("Protocol"), m_inet->protocol(), 1);
    bag.writeProperty(QStringLiteral("Proxy"), m_inet->proxy(), QString());
    bag.writeProperty(QStringLiteral("RemoteHost"), m_inet->remoteHost(), QString());
    bag.writeProperty(QStringLiteral("RemotePort"), int(m_inet->remotePort()), 80);
    bag.writeProperty(QStringLiteral("RequestTimeout"), m_inet->requestTimeout(), 60);
    bag.writeProperty(QStringLiteral("UserName"), m_inet->userName(), QString());
    bag.writeProperty(QStringLiteral("URL"), m_inet->url(), QString());
}

QString Downloader::description(const char *member)
{
    const QMetaObject &meta = staticMetaObject;
    const int index = meta.indexOfClassInfo(member);
    if (index < 0)
        return {};
    return QString::fromUtf8(meta.classInfo(index).value());
}

void Downloader::changed(const char *name)
{
    Q_EMIT PropertyChanged(QString::fromLatin1(name));
}
