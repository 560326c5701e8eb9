#include "inetclient.h"

#include <QEventLoop>
#include <QPointer>
#include <QRegularExpression>

InetClient::InetClient(QObject *parent) : QObject(parent), m_transfer(new CurlTransfer(this))
{
    connect(m_transfer, &CurlTransfer::phaseChanged, this, &InetClient::StateChanged);
    connect(m_transfer, &CurlTransfer::finished, this, [this](const TransferResult &result) {
        m_body = result.body;
        m_headers = result.headers;
        m_responseCode = result.responseCode;
        m_error = result.error;
        Q_EMIT requestDone(result.ok);
    });
}

TransferRequest InetClient::requestFor(const QByteArray &url) const
{
    TransferRequest request;
    request.url = url;
    if (m_accessType != Direct)
        request.proxy = m_proxy;
    request.useEnvironmentProxy = m_accessType == UseDefault;
    request.userName = m_userName;
    request.password = m_password;
    if (m_requestTimeout > 0) {
        request.connectTimeoutSecs = m_requestTimeout;
        request.stallTimeoutSecs = m_requestTimeout;
    }
    return request;
}

bool InetClient::Execute(const QVariant &url, const QVariant &operation, const QVariant &inputData,
                         const QVariant &inputHdrs)
{
    if (m_transfer->isRunning())
        return fail(QStringLiteral("Still executing last request"));
    QString target = url.toString();
    if (target.isEmpty())
        target = m_url;
    else
        m_url = target;
    const QStringList words =
            operation.toString().simplified().split(QLatin1Char(' '), Qt::SkipEmptyParts);
    const QByteArray verb = words.value(0).toUpper().toLatin1();
    const bool ftp = target.trimmed().startsWith(QLatin1String("ftp"), Qt::CaseInsensitive);

    TransferRequest request = requestFor(target.toUtf8());
    if (ftp) {
        if (verb == "DIR" || verb == "LS") {
            QString dir = words.value(1);
            if (!dir.isEmpty())
                request.url = (target.section(QLatin1Char('/'), 0, 2) + QLatin1Char('/')
                               + dir.remove(QRegularExpression(QStringLiteral("^/+"))))
                                      .toUtf8();
            if (!request.url.endsWith('/'))
                request.url += '/';
        } else if (!verb.isEmpty() && verb != "GET") {
            return fail(QStringLiteral("unsupported FTP operation \"%1\"").arg(words.value(0)));
        }
    } else {
        request.method = verb;
        request.body = inputData.toByteArray();
        const QStringList lines =
                inputHdrs.toString().split(QStringLiteral("\r\n"), Qt::SkipEmptyParts);
        for (const QString &line : lines)
            request.headers.append(line.toUtf8());
    }
    m_body.clear();
    m_headers.clear();
    m_responseCode = 0;
    if (!m_transfer->start(request))
        return fail(m_transfer->errorString());
    return true;
}

std::optional<QByteArray> InetClient::OpenURL(const QString &url)
{
    if (m_transfer->isRunning()) {
        fail(QStringLiteral("Still executing last request"));
        return std::nullopt;
    }
    TransferRequest request = requestFor(url.toUtf8());
    request.totalTimeoutSecs = m_requestTimeout;
    std::optional<QByteArray> body;
    bool done = false;
    QEventLoop loop;
    QPointer<InetClient> self(this);
    const auto connection =
            connect(m_transfer, &CurlTransfer::finished, &loop, [&](const TransferResult &result) {
                if (result.ok)
                    body = result.body;
                done = true;
                loop.quit();
            });
    // Should the client go away meanwhile, its transfer goes with it and nothing would end the
    // wait otherwise.
    connect(m_transfer, &QObject::destroyed, &loop, &QEventLoop::quit);
    if (!m_transfer->start(request)) {
        disconnect(connection);
        fail(m_transfer->errorString());
        return std::nullopt;
    }
    if (!done)
        loop.exec(QEventLoop::ExcludeUserInputEvents);
    if (self)
        disconnect(connection);
    return body;
}

void InetClient::Cancel()
{
    m_transfer->cancel();
}

bool InetClient::fail(const QString &message)
{
    m_error = message;
    return false;
}
