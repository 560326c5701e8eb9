#include "failurecode.h"

#include "modemapi/cmserror.h"

#include <array>
#include <utility>

namespace FailureCode {

int cmsCodeOfSend(const QString &refusal, const QString &reason)
{
    bool ok = false;
    const int code = refusal.trimmed().toInt(&ok);
    if (ok && code >= 0)
        return code;
    return CmsError::codeOf(reason);
}

QString ofSend(const QString &refusal, const QString &reason)
{
    const int code = cmsCodeOfSend(refusal, reason);
    return code >= 0 ? QStringLiteral("cms:") + QString::number(code) : QStringLiteral("send");
}

bool sendCutOff(const QString &refusal, const QString &reason)
{
    // The driver's words for a port that closed, or went away, under the message.
    return refusal.trimmed().isEmpty()
            && (reason.startsWith(QStringLiteral("串口已关闭"))
                || reason.startsWith(QStringLiteral("串口已断开")));
}

QString ofOpen(const QString &lastError)
{
    // The driver's own words, which are never translated; the first match wins, so the more
    // particular phrases come first.
    static const std::array<std::pair<QLatin1String, QLatin1String>, 8> phrases{{
            {QLatin1String("permission denied"), QLatin1String("permission")},
            {QLatin1String("by another program"), QLatin1String("locked")},
            {QLatin1String("system console"), QLatin1String("locked")},
            {QLatin1String("does not exist"), QLatin1String("noport")},
            {QLatin1String("no serial port"), QLatin1String("noport")},
            {QLatin1String("no modem answers"), QLatin1String("timeout")},
            {QLatin1String("no answer"), QLatin1String("timeout")},
            {QLatin1String("sim "), QLatin1String("sim")},
    }};
    const QString text = lastError.toLower();
    for (const auto &[phrase, code] : phrases) {
        if (text.contains(phrase))
            return code;
    }
    return QStringLiteral("open");
}

} // namespace FailureCode
