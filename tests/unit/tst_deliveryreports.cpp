#include "messaging/deliveryreports.h"

#include <QDateTime>
#include <QTest>
#include <QTimeZone>

// Matching a delivery report to the message it is about, and its time as the tables hold it.
class TestDeliveryReports : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void numbersMatchByTheirNationalTail_data();
    void numbersMatchByTheirNationalTail();
    void dischargeTimeIsLocalTime();
};

void TestDeliveryReports::numbersMatchByTheirNationalTail_data()
{
    QTest::addColumn<QString>("row");
    QTest::addColumn<QString>("report");
    QTest::addColumn<bool>("same");
    QTest::newRow("international report, national row") << "13900001111"
                                                        << "+8613900001111" << true;
    QTest::newRow("access code and trunk zero") << "013900001111"
                                                << "008613900001111" << true;
    QTest::newRow("another subscriber") << "13900001111"
                                        << "+8613900002222" << false;
    QTest::newRow("empty recipient") << "13900001111"
                                     << "" << false;
}

void TestDeliveryReports::numbersMatchByTheirNationalTail()
{
    QFETCH(QString, row);
    QFETCH(QString, report);
    QFETCH(bool, same);
    QCOMPARE(DeliveryReports::sameNumber(row, report), same);
}

void TestDeliveryReports::dischargeTimeIsLocalTime()
{
    // 10:20:30 at UTC+8 (32 quarter hours) is 02:20:30 UTC.
    const QDateTime utc(QDate(2024, 3, 15), QTime(2, 20, 30), QTimeZone::utc());
    QCOMPARE(DeliveryReports::deliveryTime(QStringLiteral("240315102030+32")),
             utc.toLocalTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")));
    QCOMPARE(DeliveryReports::deliveryTime(QStringLiteral("240315102030-04")),
             utc.addSecs(9 * 3600).toLocalTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")));
}

QTEST_GUILESS_MAIN(TestDeliveryReports)
#include "tst_deliveryreports.moc"
