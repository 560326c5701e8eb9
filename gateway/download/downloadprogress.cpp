#include "downloadprogress.h"

#include "common/clock.h"

#include <QTime>

#include <cmath>

DownloadProgress::DownloadProgress(const Clock &clock) : m_clock(clock) { }

DownloadProgress::View DownloadProgress::report(qint64 bytesRead, qint64 bytesMax,
                                                const QString &header)
{
    View view;
    view.header = header.isEmpty() ? QStringLiteral("进程繁忙，请稍候……") : header;
    view.timeLine = amountText(bytesRead);
    double bar = 0;
    if (bytesMax != 0) {
        const int p = percent(bytesRead, bytesMax);
        bar = p;
        view.caption = caption(p);
        if (!m_timingStarted) {
            m_timingStarted = true;
            m_startTime = m_clock.now();
        } else if (p > 0) {
            // Measured on the clock, not as a time of day, so a download past midnight
            // still gives a sound estimate.
            const double elapsed = double(m_startTime.msecsTo(m_clock.now()));
            const double total = (100.0 / p) * elapsed;
            view.timeLine = QStringLiteral("时间 : ") + remainingText(qint64(total - elapsed));
        }
    }
    if (m_isFtp) {
        ++m_ftpTicker;
        if (m_ftpTicker > 1000)
            m_ftpTicker = 0;
        bar = m_ftpTicker / 10.0;
    }
    view.barUnits = int(bar);
    return view;
}

QString DownloadProgress::headerForStatus(int statusCode)
{
    switch (statusCode) {
    case 1:
        return QStringLiteral("查找目标");
    case 2:
        return QStringLiteral("正在连接");
    case 4:
        return QStringLiteral("开始下载");
    case 5:
        return QStringLiteral("正在下载...");
    case 6:
        return QStringLiteral("下载完成");
    case 11:
        return QStringLiteral("发送请求");
    case 13:
        return QStringLiteral("MIME type");
    default:
        return {};
    }
}

std::optional<QString> DownloadProgress::headerForState(int state)
{
    switch (state) {
    case 0:
        return QStringLiteral("没有此状态信息");
    case 1:
        return QStringLiteral("正在查找远程服务器IP");
    case 2:
        return QStringLiteral("已经找到远程服务器IP");
    case 3:
        return QStringLiteral("正在连接服务器");
    case 4:
        return QStringLiteral("连接服务器成功");
    case 5:
        return QStringLiteral("发送请求");
    case 6:
        return QStringLiteral("发送请求成功");
    case 7:
        return QStringLiteral("Receiving response from remote server");
    case 8:
        return QStringLiteral("接受数据");
    case 9:
        return QStringLiteral("正在断开连接");
    case 10:
        return QStringLiteral("断开连接成功");
    case 11:
        return QStringLiteral("远程对话失败");
    default:
        return std::nullopt;
    }
}

QString DownloadProgress::amountText(qint64 bytesRead)
{
    const QString prefix = QStringLiteral("已经下载 : ");
    if (bytesRead > 1000000)
        return prefix + QString::number(double(bytesRead) / 1000000, 'f', 2) + QStringLiteral("mb");
    if (bytesRead > 1000)
        return prefix + QString::number(double(bytesRead) / 1000, 'f', 2) + QStringLiteral(" kb");
    return prefix + QString::number(bytesRead) + QStringLiteral(" bytes");
}

int DownloadProgress::percent(qint64 bytesRead, qint64 bytesMax)
{
    // In this order, so 29 of 100 gives 28 as the product falls just below 29.
    double p = (double(bytesRead) / double(bytesMax)) * 100;
    if (p < 0)
        p = 0;
    if (p > 100)
        p = 100;
    return int(std::trunc(p));
}

QString DownloadProgress::caption(int percent)
{
    if (percent > 30)
        return QString::number(percent) + QStringLiteral("% 完成");
    return QString::number(percent) + QStringLiteral("%");
}

QString DownloadProgress::remainingText(qint64 remainingMs)
{
    constexpr qint64 Day = 24 * 3600;
    qint64 seconds = std::llround(double(remainingMs) / 1000.0) % Day;
    if (seconds < 0)
        seconds += Day;
    return QTime(0, 0).addSecs(int(seconds)).toString(QStringLiteral("hh:mm:ss"));
}

QString DownloadProgress::trayTip(const QString &targetPath)
{
    return targetPath.left(63);
}
