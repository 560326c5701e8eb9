#include "core/ui/singleinstance.h"

#include <QSignalSpy>
#include <QTest>
#include <QUuid>

class tst_SingleInstance : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void secondInstanceIsRefusedAndRaisesTheFirst()
    {
        const QString name =
                QStringLiteral("velmora-test-") + QUuid::createUuid().toString(QUuid::Id128);
        SingleInstance first(name);
        QVERIFY(first.acquire());
        QSignalSpy raised(&first, &SingleInstance::raiseRequested);

        SingleInstance second(name);
        QVERIFY(!second.acquire());
        QVERIFY(second.askRunningToRaise());
        QTRY_COMPARE(raised.count(), 1);
    }

    void freedWhenTheFirstEnds()
    {
        const QString name =
                QStringLiteral("velmora-test-") + QUuid::createUuid().toString(QUuid::Id128);
        {
            SingleInstance first(name);
            QVERIFY(first.acquire());
        }
        SingleInstance again(name);
        QVERIFY(again.acquire());
    }
};

QTEST_GUILESS_MAIN(tst_SingleInstance)
#include "tst_singleinstance.moc"
