#include "sendrequest.h"

#include "model/phonenumber.h"

#include "pdu/messagesplitter.h"
#include "pdu/storabletext.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QStringDecoder>

#include <cmath>

namespace {

const QString ToKey = QStringLiteral("to");
const QString TextKey = QStringLiteral("text");
const QString PriorityKey = QStringLiteral("priority");
const QString SendAfterKey = QStringLiteral("sendAfter");
const QString ValidUntilKey = QStringLiteral("validUntil");

std::variant<QStringList, ApiError> numbers(const QJsonValue &to, bool *list)
{
    QJsonArray items;
    *list = to.isArray();
    if (to.isString())
        items.append(to);
    else if (to.isArray())
        items = to.toArray();
    else
        return ApiError::invalid("invalid_type", QStringLiteral("to must be a string or a list of strings"),
                                 ToKey);
    if (items.isEmpty() || items.size() > SendRequest::MaxNumbers)
        return ApiError::invalid("invalid_count",
                                 QStringLiteral("to must hold 1 to %1 numbers").arg(SendRequest::MaxNumbers),
                                 ToKey);
    QStringList out;
    for (qsizetype i = 0; i < items.size(); ++i) {
        const QString field = *list ? QStringLiteral("to[%1]").arg(i) : ToKey;
        if (!items.at(i).isString())
            return ApiError::invalid("invalid_type", QStringLiteral("a number must be a string"), field);
        const auto number = PhoneNumber::normalize(items.at(i).toString());
        if (!number)
            return ApiError::invalid("invalid_number",
                                     QStringLiteral("a number must be 3 to 20 digits, with an optional leading +"), field);
        out << *number;
    }
    return out;
}

std::variant<QString, ApiError> text(const QJsonValue &value)
{
    if (value.isUndefined())
        return ApiError::invalid("missing_field", QStringLiteral("text is missing"), TextKey);
    if (!value.isString())
        return ApiError::invalid("invalid_type", QStringLiteral("text must be a string"), TextKey);
    const QString t = value.toString();
    if (t.isEmpty())
        return ApiError::invalid("empty_text", QStringLiteral("text is empty"), TextKey);
    if (!storableText(t))
        return ApiError::invalid("invalid_text", QStringLiteral("text holds a NUL character or an unpaired surrogate"),
                                 TextKey);
    if (SendRequest::parts(t) == 0)
        return ApiError::invalid("text_too_long",
                                 QStringLiteral("text needs more than %1 messages").arg(SendRequest::MaxParts),
                                 TextKey);
    return t;
}

std::variant<std::optional<int>, ApiError> priority(const QJsonValue &value)
{
    if (value.isUndefined() || value.isNull())
        return std::optional<int>();
    const double n = value.toDouble();
    if (!value.isDouble() || n != std::trunc(n) || n < SendRequest::MinPriority
        || n > SendRequest::MaxPriority)
        return ApiError::invalid("invalid_priority",
                                 QStringLiteral("priority must be a whole number from %1 to %2")
                                         .arg(SendRequest::MinPriority)
                                         .arg(SendRequest::MaxPriority),
                                 PriorityKey);
    return std::optional<int>(int(n));
}

// A date and time with seconds, in ISO 8601; local time without an offset, as the tables
// hold their times. Parts of a second are dropped: the columns keep whole seconds.
std::variant<QDateTime, ApiError> time(const QJsonValue &value, const QString &key)
{
    if (value.isUndefined() || value.isNull())
        return QDateTime();
    const QString text = value.toString();
    QDateTime t = QDateTime::fromString(text, Qt::ISODateWithMs);
    if (!value.isString() || text.size() < 19 || !t.isValid())
        return ApiError::invalid(
                "invalid_time",
                QStringLiteral("%1 must be an ISO 8601 date and time, such as 2026-03-16T06:00:00+08:00").arg(key),
                key);
    t = t.toLocalTime();
    t.setTime(QTime(t.time().hour(), t.time().minute(), t.time().second()));
    return t;
}

struct Schedule
{
    std::optional<int> priority;
    QDateTime sendAfter;
    QDateTime validUntil;
};

std::variant<Schedule, ApiError> schedule(const QJsonObject &o)
{
    Schedule s;
    auto p = priority(o.value(PriorityKey));
    if (auto *e = std::get_if<ApiError>(&p))
        return *e;
    s.priority = std::get<std::optional<int>>(p);
    auto after = time(o.value(SendAfterKey), SendAfterKey);
    if (auto *e = std::get_if<ApiError>(&after))
        return *e;
    s.sendAfter = std::get<QDateTime>(after);
    auto until = time(o.value(ValidUntilKey), ValidUntilKey);
    if (auto *e = std::get_if<ApiError>(&until))
        return *e;
    s.validUntil = std::get<QDateTime>(until);
    // Such a row could only ever expire.
    if (s.sendAfter.isValid() && s.validUntil.isValid() && s.validUntil <= s.sendAfter)
        return ApiError::invalid("invalid_time", QStringLiteral("validUntil must be later than sendAfter"),
                                 ValidUntilKey);
    return s;
}

std::variant<QJsonObject, ApiError> object(const QByteArray &body)
{
    // QJsonDocument would replace bad UTF-8 with U+FFFD in silence.
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    [[maybe_unused]] const QString decoded = decoder.decode(body);
    if (decoder.hasError())
        return ApiError::badRequest("invalid_utf8", QStringLiteral("the body is not UTF-8"));
    QJsonParseError parseError;
    const QJsonDocument doc = QJsonDocument::fromJson(body, &parseError);
    if (parseError.error != QJsonParseError::NoError)
        return ApiError::badRequest("malformed_json",
                                    QStringLiteral("malformed JSON at offset %1: %2")
                                            .arg(parseError.offset)
                                            .arg(parseError.errorString()));
    if (!doc.isObject())
        return ApiError::badRequest("malformed_json", QStringLiteral("the body must be a JSON object"));
    return doc.object();
}

} // namespace

int SendRequest::parts(const QString &text)
{
    return int(MessageSplitter::split(text).size());
}

std::variant<SendRequest, ApiError> SendRequest::parse(const QByteArray &body)
{
    auto parsed = object(body);
    if (auto *e = std::get_if<ApiError>(&parsed))
        return *e;
    const QJsonObject o = std::get<QJsonObject>(parsed);
    for (auto it = o.begin(); it != o.end(); ++it) {
        if (!QStringList{ToKey, TextKey, PriorityKey, SendAfterKey, ValidUntilKey}.contains(
                    it.key()))
            return ApiError::invalid("unknown_field", QStringLiteral("unknown field %1").arg(it.key()),
                                     it.key());
    }
    if (!o.contains(ToKey))
        return ApiError::invalid("missing_field", QStringLiteral("to is missing"), ToKey);
    SendRequest request;
    auto to = numbers(o.value(ToKey), &request.list);
    if (auto *e = std::get_if<ApiError>(&to))
        return *e;
    auto t = text(o.value(TextKey));
    if (auto *e = std::get_if<ApiError>(&t))
        return *e;
    auto when = schedule(o);
    if (auto *e = std::get_if<ApiError>(&when))
        return *e;
    const Schedule &s = std::get<Schedule>(when);
    for (const QString &number : std::get<QStringList>(to))
        request.messages.append(
                {number, std::get<QString>(t), s.priority, s.sendAfter, s.validUntil});
    return request;
}
