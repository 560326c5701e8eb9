#include "consoleactions.h"

#include "consolelive.h"
#include "origincheck.h"

#include "api/apiaccess.h"
#include "api/apiresponse.h"
#include "model/engineapi.h"
#include "model/phonenumber.h"

#include <QHttpServerRequest>
#include <QJsonArray>
#include <QJsonDocument>
#include <QPointer>

namespace {

QHttpServerResponse done(QJsonObject body = {})
{
    body.insert(QStringLiteral("ok"), true);
    return ApiResponse::json(body);
}

QHttpServerResponse invalid(const QString &message, const QString &field = {})
{
    return ApiResponse::error(ApiError::invalid("invalid_field", message, field));
}

// The ids of a requeue, each a positive whole number, none twice; empty when any is not.
QList<qint64> rowIds(const QJsonValue &value)
{
    QList<qint64> ids;
    const QJsonArray list = value.toArray();
    for (const QJsonValue &v : list) {
        const qint64 id = v.toInteger(-1);
        if (!v.isDouble() || id <= 0 || double(id) != v.toDouble() || ids.contains(id))
            return {};
        ids << id;
    }
    return ids;
}

// The log line names the rows; a long selection by its first ones and its count.
QString idList(const QList<qint64> &ids)
{
    constexpr qsizetype Shown = 20;
    QStringList out;
    for (const qint64 id : ids.mid(0, Shown))
        out << QString::number(id);
    QString text = out.join(QStringLiteral(","));
    if (ids.size() > Shown)
        text += QStringLiteral("…(共%1行)").arg(ids.size());
    return text;
}

} // namespace

ConsoleActions::ConsoleActions(EngineApi &engine, ApiAccess &access, ConsoleLive &live)
    : m_engine(engine), m_access(access), m_live(live)
{ }

QHttpServerResponse ConsoleActions::handle(const QString &action, const QHttpServerRequest &request,
                                           bool tls)
{
    if (!OriginCheck::allowed(request, tls))
        return ApiResponse::error({403, "cross_site", QStringLiteral("不接受来自其他网站的请求")});
    auto who = m_access.authorize(request);
    if (auto *e = std::get_if<ApiError>(&who))
        return ApiResponse::error(*e);
    const TokenStore::Entry &entry = std::get<TokenStore::Entry>(who);
    if (entry.role != TokenStore::Role::Operator)
        return ApiResponse::error({403, "forbidden", QStringLiteral("控制台操作需要operator令牌")});
    QJsonParseError error{};
    const QJsonDocument doc = request.body().trimmed().isEmpty()
            ? QJsonDocument(QJsonObject())
            : QJsonDocument::fromJson(request.body(), &error);
    if (error.error != QJsonParseError::NoError || !doc.isObject())
        return ApiResponse::error(
                ApiError::badRequest("malformed_json", QStringLiteral("请求体须为JSON对象")));
    return perform(action, doc.object(), entry.name);
}

void ConsoleActions::log(const QString &who, const QString &what)
{
    m_engine.writeLog(QStringLiteral("控制台操作(令牌 %1): %2").arg(who, what));
}

QHttpServerResponse ConsoleActions::perform(const QString &action, const QJsonObject &body,
                                            const QString &who)
{
    // A start reads the settings again and may put the server on another port, which replaces
    // the server answering this request: the engine is told once the answer is out of its hands.
    EngineApi &engine = m_engine;
    if (action == QLatin1String("start")) {
        log(who, QStringLiteral("启动服务"));
        QMetaObject::invokeMethod(
                &m_live, [&engine] { engine.start(); }, Qt::QueuedConnection);
    } else if (action == QLatin1String("stop")) {
        log(who, QStringLiteral("停止服务"));
        QMetaObject::invokeMethod(
                &m_live, [&engine] { engine.stop(); }, Qt::QueuedConnection);
    } else if (action == QLatin1String("reload")) {
        log(who, QStringLiteral("重新加载配置"));
        QMetaObject::invokeMethod(
                &m_live, [&engine] { engine.reload(); }, Qt::QueuedConnection);
    } else if (action == QLatin1String("test")) {
        return testMessage(body, who);
    } else if (action == QLatin1String("device-out") || action == QLatin1String("device-in")
               || action == QLatin1String("recheck")) {
        return device(action, body, who);
    } else if (action == QLatin1String("requeue")) {
        return requeue(body, who);
    } else {
        return ApiResponse::error({404, "not_found", QStringLiteral("没有这个操作")});
    }
    return done();
}

QHttpServerResponse ConsoleActions::testMessage(const QJsonObject &body, const QString &who)
{
    const QString given = body.value(QLatin1String("number")).toString().trimmed();
    const QString text = body.value(QLatin1String("text")).toString();
    if (given.isEmpty())
        return invalid(QStringLiteral("请填写手机号码"), QStringLiteral("number"));
    // The same check as the API's: a row goes to the table only with a number a modem can dial.
    const std::optional<QString> checked = PhoneNumber::normalize(given);
    if (!checked)
        return invalid(QStringLiteral("号码须为3至20位数字，可带前导+"), QStringLiteral("number"));
    const QString &number = *checked;
    if (text.isEmpty())
        return invalid(QStringLiteral("请填写短信内容"), QStringLiteral("text"));
    log(who, QStringLiteral("发送测试短信到 %1").arg(number));
    const qint64 id = m_engine.queueTestMessageId(number, text);
    if (id < 0)
        return ApiResponse::error({503, "unavailable", QStringLiteral("测试短信未能写入数据库")});
    m_live.watchTest(id, number);
    return done({{QStringLiteral("id"), id}});
}

QHttpServerResponse ConsoleActions::device(const QString &action, const QJsonObject &body,
                                           const QString &who)
{
    const QString port = body.value(QLatin1String("port")).toString().trimmed();
    const QList<DeviceStatus> devices = m_engine.status().devices;
    const bool known = std::any_of(devices.cbegin(), devices.cend(),
                                   [&port](const DeviceStatus &d) { return d.port == port; });
    if (port.isEmpty() || !known)
        return ApiResponse::error(
                {404, "no_device", QStringLiteral("没有这个设备"), QStringLiteral("port")});
    const QString name = QStringLiteral("Com") + port;
    if (action == QLatin1String("recheck")) {
        log(who, QStringLiteral("重新检测 %1").arg(name));
        QPointer<ConsoleLive> live(&m_live);
        m_engine.recheckDevice(port, [live, port](const QStringList &report) {
            if (live)
                live->broadcast("recheck",
                                {{QStringLiteral("port"), port},
                                 {QStringLiteral("lines"), QJsonArray::fromStringList(report)}});
        });
        return done();
    }
    const bool in = action == QLatin1String("device-in");
    log(who, (in ? QStringLiteral("恢复使用 %1") : QStringLiteral("停止使用 %1")).arg(name));
    if (!m_engine.setDeviceInService(port, in))
        return ApiResponse::error(
                {404, "no_device", QStringLiteral("没有这个设备"), QStringLiteral("port")});
    return done();
}

QHttpServerResponse ConsoleActions::requeue(const QJsonObject &body, const QString &who)
{
    const QList<qint64> ids = rowIds(body.value(QLatin1String("ids")));
    if (ids.isEmpty() || ids.size() > MaxRequeue)
        return invalid(QStringLiteral("ids 须为1至%1个不重复的SysNo").arg(MaxRequeue),
                       QStringLiteral("ids"));
    log(who, QStringLiteral("重新排队 SysNo %1").arg(idList(ids)));
    QString error;
    const int moved = m_engine.requeueRows(ids, &error);
    if (moved < 0)
        return ApiResponse::error({503, "unavailable", error});
    return done({{QStringLiteral("moved"), moved}});
}
