#include "download/downloadprogress.h"

#include "common/clock.h"

#include <QTest>

namespace {

class ManualClock final : public Clock
{
public:
    QDateTime now() const override { return m_now; }
    void advanceMs(qint64 ms) { m_now = m_now.addMSecs(ms); }
    void set(const QDateTime &t) { m_now = t; }

private:
    QDateTime m_now{QDate(2024, 3, 1), QTime(10, 0)};
};

} // namespace

class TstDownloadProgress : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void amountText_data()
    {
        QTest::addColumn<qint64>("bytes");
        QTest::addColumn<QString>("text");
        QTest::newRow("zero") << qint64(0) << QStringLiteral("已经下载 : 0 bytes");
        QTest::newRow("1000 is still bytes")
                << qint64(1000) << QStringLiteral("已经下载 : 1000 bytes");
        QTest::newRow("1001 is kb") << qint64(1001) << QStringLiteral("已经下载 : 1.00 kb");
        QTest::newRow("1000000 is still kb")
                << qint64(1000000) << QStringLiteral("已经下载 : 1000.00 kb");
        QTest::newRow("2.5 million, no blank before mb")
                << qint64(2500000) << QStringLiteral("已经下载 : 2.50mb");
        QTest::newRow("beyond 32 bits")
                << qint64(5000000000) << QStringLiteral("已经下载 : 5000.00mb");
    }
    void amountText()
    {
        QFETCH(qint64, bytes);
        QFETCH(QString, text);
        QCOMPARE(DownloadProgress::amountText(bytes), text);
    }

    void percentAndCaption_data()
    {
        QTest::addColumn<qint64>("read");
        QTest::addColumn<qint64>("max");
        QTest::addColumn<int>("percent");
        QTest::addColumn<QString>("caption");
        QTest::newRow("29 of 100 falls below 29") << qint64(29) << qint64(100) << 28 << "28%";
        QTest::newRow("3 of 10 is 30, no word") << qint64(3) << qint64(10) << 30 << "30%";
        QTest::newRow("31 has the word") << qint64(31) << qint64(100) << 31 << "31% 完成";
        QTest::newRow("all") << qint64(7) << qint64(7) << 100 << "100% 完成";
        QTest::newRow("more than announced") << qint64(12) << qint64(10) << 100 << "100% 完成";
        QTest::newRow("negative total") << qint64(5) << qint64(-10) << 0 << "0%";
    }
    void percentAndCaption()
    {
        QFETCH(qint64, read);
        QFETCH(qint64, max);
        QFETCH(int, percent);
        QFETCH(QString, caption);
        QCOMPARE(DownloadProgress::percent(read, max), percent);
        QCOMPARE(DownloadProgress::caption(percent), caption);
    }

    void unknownSizeGivesNoPercentageNoEstimate()
    {
        ManualClock clock;
        DownloadProgress progress(clock);
        auto view = progress.report(500, 0, QString());
        QCOMPARE(view.header, QStringLiteral("进程繁忙，请稍候……"));
        QCOMPARE(view.timeLine, QStringLiteral("已经下载 : 500 bytes"));
        QVERIFY(!view.caption);
        QCOMPARE(view.barUnits, 0);
        clock.advanceMs(5000);
        view = progress.report(5000, 0, QStringLiteral("正在下载..."));
        QCOMPARE(view.timeLine, QStringLiteral("已经下载 : 5.00 kb"));
        QVERIFY(!view.caption);
    }

    void firstSizedReportOnlyStartsTheClock()
    {
        ManualClock clock;
        DownloadProgress progress(clock);
        auto view = progress.report(10, 100, QStringLiteral("开始下载"));
        QCOMPARE(view.timeLine, QStringLiteral("已经下载 : 10 bytes"));
        QCOMPARE(*view.caption, QStringLiteral("10%"));
        QCOMPARE(view.barUnits, 10);
        // 20 s later at 40 %: the whole would take 50 s, 30 s remain.
        clock.advanceMs(20000);
        view = progress.report(40, 100, QStringLiteral("正在下载..."));
        QCOMPARE(view.timeLine, QStringLiteral("时间 : 00:00:30"));
        QCOMPARE(*view.caption, QStringLiteral("40% 完成"));
        QCOMPARE(view.barUnits, 40);
    }

    void noEstimateAtZeroPercent()
    {
        ManualClock clock;
        DownloadProgress progress(clock);
        progress.report(0, 1000, QString());
        clock.advanceMs(3000);
        const auto view = progress.report(5, 1000, QString());
        QCOMPARE(*view.caption, QStringLiteral("0%"));
        QCOMPARE(view.timeLine, QStringLiteral("已经下载 : 5 bytes"));
    }

    void estimateAcrossMidnight()
    {
        ManualClock clock;
        clock.set(QDateTime(QDate(2024, 3, 1), QTime(23, 59, 50)));
        DownloadProgress progress(clock);
        progress.report(1, 100, QString());
        clock.advanceMs(20000); // 00:00:10 the next day
        const auto view = progress.report(50, 100, QString());
        QCOMPARE(view.timeLine, QStringLiteral("时间 : 00:00:20"));
    }

    void ftpBarGrowsEveryTenReportsAndWraps()
    {
        ManualClock clock;
        DownloadProgress progress(clock);
        progress.setFtp(true);
        QList<int> widths;
        for (int i = 1; i <= 1002; ++i) {
            const auto view = progress.report(i, 0, QString());
            if (i == 9 || i == 10 || i == 25 || i == 1000 || i == 1001 || i == 1002)
                widths.append(view.barUnits);
        }
        QCOMPARE(widths, (QList<int>{0, 1, 2, 100, 0, 0}));
    }

    void ftpBarIgnoresThePercentageButKeepsTheCaption()
    {
        ManualClock clock;
        DownloadProgress progress(clock);
        progress.setFtp(true);
        const auto view = progress.report(80, 100, QString());
        QCOMPARE(*view.caption, QStringLiteral("80% 完成"));
        QCOMPARE(view.barUnits, 0);
    }

    void trayTipHoldsAtMost63Characters()
    {
        const QString shortPath = QStringLiteral("/opt/velmora/update/Velmora_Update");
        QCOMPARE(DownloadProgress::trayTip(shortPath), shortPath);
        const QString longPath = QStringLiteral("/") + QString(100, QLatin1Char('a'));
        QCOMPARE(DownloadProgress::trayTip(longPath).size(), 63);
        QVERIFY(longPath.startsWith(DownloadProgress::trayTip(longPath)));
    }
};

QTEST_GUILESS_MAIN(TstDownloadProgress)
#include "tst_downloadprogress.moc"
