#include "messaging/rowscreen.h"
#include "storage/policytime.h"

#include <QTest>

// What an application writes into a row's number and times, as the gateway reads it before any
// modem is given the row.
class tst_RowScreen : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void timesInEveryFormTheApplicationsWrite_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QDateTime>("time");
        const QDate day(2026, 3, 16);
        const QDateTime six(day, QTime(6, 0));
        const auto utc = [](const QDateTime &t) { return t.toLocalTime(); };
        QTest::newRow("classic") << "2026-03-16 06:00:00" << six;
        QTest::newRow("with T") << "2026-03-16T06:00:00" << six;
        QTest::newRow("minutes only") << "2026-03-16T06:00" << six;
        QTest::newRow("blanks around") << "  2026-03-16 06:00:00 " << six;
        QTest::newRow("fraction") << "2026-03-16T06:00:00.250"
                                  << QDateTime(day, QTime(6, 0, 0, 250));
        QTest::newRow("long fraction") << "2026-03-16 06:00:00,123456"
                                       << QDateTime(day, QTime(6, 0, 0, 123));
        QTest::newRow("bare date") << "2026-03-16" << day.startOfDay();
        QTest::newRow("end of day") << "2026-03-16T24:00:00" << day.addDays(1).startOfDay();
        QTest::newRow("Z") << "2026-03-16T06:00:00Z"
                           << utc(QDateTime(day, QTime(6, 0), Qt::UTC));
        QTest::newRow("offset") << "2026-03-16T06:00:00+08:00"
                                << utc(QDateTime(day, QTime(6, 0),
                                                 Qt::OffsetFromUTC, 8 * 3600));
        QTest::newRow("negative offset, no colon")
                << "2026-03-16 06:00:00-0530"
                << utc(QDateTime(day, QTime(6, 0), Qt::OffsetFromUTC, -19800));
        QTest::newRow("offset in hours") << "2026-03-16T06:00+01"
                                         << utc(QDateTime(day, QTime(6, 0),
                                                          Qt::OffsetFromUTC, 3600));
    }
    void timesInEveryFormTheApplicationsWrite()
    {
        QFETCH(QString, text);
        QFETCH(QDateTime, time);
        const std::optional<QDateTime> parsed = PolicyTime::parse(text);
        QVERIFY(parsed);
        QCOMPARE(parsed->toMSecsSinceEpoch(), time.toMSecsSinceEpoch());
    }

    void textsThatAreNoTime_data()
    {
        QTest::addColumn<QString>("text");
        for (const char *bad : {"soon", "2026-13-01", "2026-02-30 06:00:00", "2026-03-16 25:00:00",
                                "2026-03-16 06:61:00", "16.03.2026", "2026-03-16T", "2026-3-16",
                                "2026-03-16 06:00:00+25:00", "2026-03-16 06:00:00 extra",
                                "2026-03-16T24:00:01"})
            QTest::newRow(bad) << QString::fromLatin1(bad);
    }
    void textsThatAreNoTime()
    {
        QFETCH(QString, text);
        QVERIFY(!PolicyTime::parse(text));
    }

    void emptyAndTypedValues()
    {
        QVERIFY(PolicyTime::fromValue(QVariant()).has_value());
        QVERIFY(!PolicyTime::fromValue(QVariant())->isValid());
        QVERIFY(!PolicyTime::parse(QStringLiteral("   "))->isValid());
        const QDateTime t(QDate(2026, 3, 16), QTime(6, 0));
        QCOMPARE(*PolicyTime::fromValue(t), t);
        // A server's zero date is no time, not an absent one.
        QVERIFY(!PolicyTime::fromValue(QVariant(QDateTime())));
        QCOMPARE(*PolicyTime::fromValue(QDate(2026, 3, 16)), QDate(2026, 3, 16).startOfDay());
    }

    void rowsNoModemShouldBeGiven_data()
    {
        QTest::addColumn<QString>("number");
        QTest::addColumn<QString>("invalidTime");
        QTest::addColumn<QString>("reason");
        QTest::addColumn<QString>("sentTo");
        QTest::newRow("plain") << "13800138000" << "" << "" << "13800138000";
        QTest::newRow("dashes, dots, blanks") << "+86 138-0013.8000" << "" << ""
                                              << "+8613800138000";
        QTest::newRow("injection") << "139'); dele" << "" << "invalid number" << "";
        QTest::newRow("plus inside") << "138+00" << "" << "invalid number" << "";
        QTest::newRow("too short") << "12" << "" << "invalid number" << "";
        QTest::newRow("too long") << "123456789012345678901" << "" << "invalid number" << "";
        QTest::newRow("other digits") << "١٣٨٠٠١٣٨٠٠٠" << "" << "invalid number" << "";
        QTest::newRow("empty") << "" << "" << "invalid number" << "";
        QTest::newRow("bad time") << "13800138000" << "ValidUntil=soon" << "invalid time" << "";
    }
    void rowsNoModemShouldBeGiven()
    {
        QFETCH(QString, number);
        QFETCH(QString, invalidTime);
        QFETCH(QString, reason);
        QFETCH(QString, sentTo);
        QueuedMessage row;
        row.SysNo = QStringLiteral("17");
        row.CellNumber = number;
        row.invalidTime = invalidTime;
        const std::optional<RowRefusal> refusal = RowScreen::check(row);
        if (reason.isEmpty()) {
            QVERIFY(!refusal);
            QCOMPARE(row.CellNumber, sentTo);
            return;
        }
        QVERIFY(refusal);
        QCOMPARE(refusal->reason, reason);
        QVERIFY(refusal->logLine.startsWith(QStringLiteral("短信(SysNo=17)未发送：")));
        QVERIFY(refusal->logLine.contains(invalidTime.isEmpty() ? number : invalidTime));
    }
};

QTEST_GUILESS_MAIN(tst_RowScreen)
#include "tst_rowscreen.moc"
