#include "versioncheck.h"

#include "core/logsink.h"
#include "inetclient.h"

#include "common/textcodec.h"
#include "version.h"

#include <QCryptographicHash>
#include <QFile>
#include <QRegularExpression>
#include <QVersionNumber>

const QString VersionCheck::ProgramVersion = QStringLiteral("V1.0.0");

VersionCheck::VersionCheck(LogSink &log, DownloadWindowFactory openDownloadWindow, QObject *parent)
    : QObject(parent), m_log(log), m_openDownloadWindow(std::move(openDownloadWindow))
{ }

QString VersionCheck::updateServer()
{
    const QString fromEnv = qEnvironmentVariable("VELMORA_UPDATE_SERVER");
    if (!fromEnv.isEmpty())
        return fromEnv;
    return QStringLiteral(VELMORA_UPDATE_SERVER);
}

QString VersionCheck::versionFileUrl(const QString &server)
{
    QString base = server;
    while (base.endsWith(QLatin1Char('/')))
        base.chop(1);
    return base + QStringLiteral("/update/GVer.txt");
}

QStringList VersionCheck::splitFields(const QString &body)
{
    if (body.isEmpty())
        return {};
    return body.split(QLatin1Char('$'), Qt::KeepEmptyParts);
}

bool VersionCheck::sortsBefore(const QString &a, const QString &b)
{
    return QString::compare(a, b, Qt::CaseSensitive) < 0;
}

namespace {

std::optional<QVersionNumber> parseVersion(const QString &text)
{
    // Nine digits a number at most, so every one fits the int a version number holds.
    static const QRegularExpression form(
            QRegularExpression::anchoredPattern(QStringLiteral("V([0-9]{1,9}(\\.[0-9]{1,9})*)")));
    const QRegularExpressionMatch match = form.match(text);
    if (!match.hasMatch())
        return std::nullopt;
    return QVersionNumber::fromString(match.captured(1)).normalized();
}

} // namespace

bool VersionCheck::isNewerVersion(const QString &offered, const QString &current)
{
    const std::optional<QVersionNumber> a = parseVersion(offered);
    const std::optional<QVersionNumber> b = parseVersion(current);
    return a && b && QVersionNumber::compare(*a, *b) > 0;
}

std::optional<QByteArray> VersionCheck::expectedSha256(const QStringList &fields)
{
    static const QRegularExpression hex(QStringLiteral("^[0-9A-Fa-f]{64}$"));
    const QString field = fields.value(3).trimmed();
    if (!hex.match(field).hasMatch())
        return std::nullopt;
    return QByteArray::fromHex(field.toLatin1());
}

bool VersionCheck::fileHasSha256(const QString &path, const QByteArray &sha256)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    QCryptographicHash hash(QCryptographicHash::Sha256);
    if (!hash.addData(&file))
        return false;
    return hash.result() == sha256;
}

void VersionCheck::run()
{
    InetClient inet;
    // The system's own connection settings, a proxy configured there included.
    inet.setAccessType(InetClient::UseDefault);
    inet.setRequestTimeout(m_timeoutSecs);
    const std::optional<QByteArray> body = inet.OpenURL(versionFileUrl(updateServer()));
    const QStringList fields = splitFields(body ? decodeText(*body).text : QString());
    if (fields.size() < 3) {
        m_log.WriteLog(QStringLiteral("无法连接升级服务器，请检查你的网络状态或联系软件作者！"));
        return;
    }
    const QString offered = fields.at(1);
    const QString url = fields.at(2);
    if (isNewerVersion(offered, ProgramVersion)) {
        m_log.WriteLog(QStringLiteral("准备从版本Ver") + ProgramVersion
                       + QStringLiteral("升级到版本") + offered);
        m_openDownloadWindow(url, expectedSha256(fields).value_or(QByteArray()));
    } else {
        m_log.WriteLog(QStringLiteral("无需升级，已经是最新版本"));
    }
}
