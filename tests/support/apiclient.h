#pragma once

#include <QEventLoop>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QTimer>

// A blocking HTTP client for tests of the gateway's server, which runs on the same thread: it
// turns the event loop until the answer is in.
class ApiClient
{
public:
    struct Reply
    {
        int status = 0;
        QByteArray body;
        QHash<QByteArray, QByteArray> headers; // names in lower case
        QJsonDocument json() const { return QJsonDocument::fromJson(body); }
        QByteArray errorCode() const
        {
            return json()
                    .object()
                    .value(QStringLiteral("error"))
                    .toObject()
                    .value(QStringLiteral("code"))
                    .toString()
                    .toLatin1();
        }
    };

    explicit ApiClient(QString base) : m_base(std::move(base)) { }

    QByteArray token;

    Reply get(const QString &path, const QList<QPair<QByteArray, QByteArray>> &headers = {})
    {
        return send("GET", path, {}, headers);
    }
    Reply post(const QString &path, const QByteArray &body,
               const QList<QPair<QByteArray, QByteArray>> &headers = {},
               const QByteArray &type = "application/json")
    {
        auto all = headers;
        if (!type.isEmpty())
            all.append({"Content-Type", type});
        return send("POST", path, body, all);
    }

    Reply send(const QByteArray &verb, const QString &path, const QByteArray &body,
               const QList<QPair<QByteArray, QByteArray>> &headers)
    {
        QNetworkRequest request(QUrl(m_base + path));
        if (!token.isEmpty())
            request.setRawHeader("Authorization", "Bearer " + token);
        for (const auto &h : headers)
            request.setRawHeader(h.first, h.second);
        QNetworkReply *reply = m_manager.sendCustomRequest(request, verb, body);
        QObject::connect(reply, &QNetworkReply::sslErrors, reply,
                         [reply] { reply->ignoreSslErrors(); });
        QEventLoop loop;
        QObject::connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
        QTimer::singleShot(10000, &loop, &QEventLoop::quit);
        loop.exec();
        Reply out;
        out.status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
        out.body = reply->readAll();
        for (const auto &h : reply->rawHeaderPairs())
            out.headers.insert(h.first.toLower(), h.second);
        reply->deleteLater();
        return out;
    }

private:
    QString m_base;
    QNetworkAccessManager m_manager;
};
