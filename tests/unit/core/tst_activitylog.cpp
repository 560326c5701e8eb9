#include "core/activitylog.h"
#include "manualclock.h"

#include <QSignalSpy>
#include <QTest>

class tst_ActivityLog : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void linesCarryTheTimeStamp()
    {
        ManualClock clock(QDateTime(QDate(2026, 1, 2), QTime(3, 4, 5)));
        ActivityLog log(clock);
        log.setFirstLine(QStringLiteral("应用程序开始……"));
        clock.set(QDateTime(QDate(2026, 12, 31), QTime(23, 59, 58)));
        log.WriteLog(QStringLiteral("系统服务启动……"));
        log.WriteLog(QString());
        QCOMPARE(log.text(),
                 QStringLiteral("01-02 03:04:05 > 应用程序开始……\r\n"
                                "12-31 23:59:58 > 系统服务启动……\r\n12-31 23:59:58 > "));
    }

    void aLineADayLaterAtTheSameTimeShowsTheNewDate()
    {
        ManualClock clock(QDateTime(QDate(2026, 1, 2), QTime(3, 4, 5)));
        ActivityLog log(clock);
        log.setFirstLine(QStringLiteral("a"));
        clock.advance(24 * 3600);
        log.WriteLog(QStringLiteral("b"));
        QVERIFY(log.text().endsWith(QStringLiteral("\r\n01-03 03:04:05 > b")));
    }

    void clearsOnlyPast1000Lines()
    {
        ManualClock clock;
        ActivityLog log(clock);
        QSignalSpy resets(&log, &ActivityLog::textReset);
        log.setFirstLine(QStringLiteral("first"));
        for (int i = 2; i <= 1001; ++i)
            log.WriteLog(QString::number(i));
        QCOMPARE(log.lineCount(), 1001);
        QCOMPARE(resets.count(), 1);
        log.WriteLog(QStringLiteral("next"));
        QCOMPARE(resets.count(), 2);
        QCOMPARE(log.text(),
                 QStringLiteral("03-15 14:07:09 > 行日志已清除……\r\n03-15 14:07:09 > next"));
        QCOMPARE(log.lineCount(), 2);
    }

    void embeddedLineBreaksCountAsLines()
    {
        ManualClock clock;
        ActivityLog log(clock);
        log.setFirstLine(QStringLiteral("a"));
        for (int i = 0; i < 499; ++i)
            log.WriteLog(QStringLiteral("b"));
        log.WriteLog(QStringLiteral("x\r\ny\r\nz")); // 500 + 3 = 502 lines
        QCOMPARE(log.lineCount(), 503);
        for (int i = 0; i < 498; ++i)
            log.WriteLog(QStringLiteral("c"));
        QCOMPARE(log.lineCount(), 1001);
        log.WriteLog(QStringLiteral("d"));
        QCOMPARE(log.lineCount(), 2);
    }
};

QTEST_GUILESS_MAIN(tst_ActivityLog)
#include "tst_activitylog.moc"
