#include "manualclock.h"
#include "webhookreceiverprocess.h"

#include "common/inifile.h"
#include "model/engineevents.h"
#include "webhooks/webhookdispatcher.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QSet>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTest>

// Webhooks posted to a receiver written with Python's standard library that verifies every
// signature as the Standard Webhooks libraries do; a receiver that never answers sits beside it.
class TestWebhooks : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void everyEventArrivesSignedPastAHangingReceiver();
    void onlyTheConfiguredEventsGo();
    void retriesBackOffWithTheSameId();
    void givenUpAfterTheRetryPeriodWithALogLine();
    void outboxOutlivesARestartAndOnlyItsUserReadsIt();
    void unusableSettingsAreLoggedAndSendNothing();
    void anEventToldAgainKeepsItsId();
};

namespace {

constexpr int Wait = 20000;
const QString Secret = QStringLiteral("whsec_MfKQ9r8GKYqrTwjUPD8ILPZIo2LaLaSw");

struct Receiver : WebhookReceiverProcess
{
    explicit Receiver(quint16 port = 0) : WebhookReceiverProcess(Secret, port) { }
};

QJsonObject data(const QJsonObject &post)
{
    return QJsonDocument::fromJson(post.value(QStringLiteral("body")).toString().toUtf8()).object();
}

WebhookSettings settingsFor(const QStringList &urls)
{
    QTemporaryDir dir;
    IniFile ini(dir.filePath(QStringLiteral("Config.ini")));
    ini.write(QStringLiteral("Webhooks"), QStringLiteral("Url"), urls.join(QLatin1Char(',')));
    ini.write(QStringLiteral("Webhooks"), QStringLiteral("Secret"), Secret);
    return WebhookSettings::read(ini, [](const QString &) {});
}

// An engine's events and a dispatcher on a program folder.
struct Rig
{
    explicit Rig(const Clock &clock, const QString &folder)
        : dispatcher(events, folder, clock, [this](const QString &line) { log << line; })
    { }
    EngineEvents events;
    QStringList log;
    WebhookDispatcher dispatcher;
};

const QDateTime At(QDate(2026, 3, 15), QTime(14, 7, 9), Qt::UTC);

void emitAll(EngineEvents &events)
{
    Q_EMIT events.messageSent(17, QStringLiteral("+8613800138000"), {"Com3", "+8613900000001"}, At);
    Q_EMIT events.messageFailed(18, QStringLiteral("13800138001"), {"Com4", {}},
                                QStringLiteral("+CMS ERROR: 500"), At);
    Q_EMIT events.messageDelivered(17, QStringLiteral("+8613800138000"), 0, At);
    Q_EMIT events.messageReceived(42, QStringLiteral("10086"), QStringLiteral("余额 12.5 元"),
                                  {"Com3", {}}, At);
}

// The ids of emitAll's events.
const QSet<QString> AllIds{QStringLiteral("sms-17-sent"), QStringLiteral("sms-18-failed"),
                           QStringLiteral("sms-17-report-0"), QStringLiteral("smsrecv-42")};

} // namespace

void TestWebhooks::everyEventArrivesSignedPastAHangingReceiver()
{
    Receiver receiver;
    QTcpServer hanging; // takes the connection, never answers
    QVERIFY(hanging.listen(QHostAddress::LocalHost));
    QTemporaryDir folder;
    Rig rig(SystemClock::instance(), folder.path());
    const QString silent = QStringLiteral("http://127.0.0.1:%1/").arg(hanging.serverPort());
    rig.dispatcher.configure(settingsFor({silent, receiver.url()}));
    emitAll(rig.events);

    QTRY_COMPARE_WITH_TIMEOUT(receiver.count(), 4, Wait);
    // Posted side by side, they may arrive in any order.
    QHash<QString, QJsonObject> byType;
    for (const QJsonObject &post : receiver.posts()) {
        QVERIFY2(post.value(QStringLiteral("valid")).toBool(),
                 qPrintable(post.value("body").toString()));
        byType.insert(data(post).value(QStringLiteral("type")).toString(),
                      data(post).value(QStringLiteral("data")).toObject());
    }
    QCOMPARE(byType.size(), 4);
    const QJsonObject sent = byType.value(QStringLiteral("message.sent"));
    QCOMPARE(sent.value(QStringLiteral("id")).toInteger(), 17);
    QCOMPARE(sent.value(QStringLiteral("number")).toString(), QStringLiteral("+8613800138000"));
    QCOMPARE(sent.value(QStringLiteral("device")).toObject().value("simNumber").toString(),
             QStringLiteral("+8613900000001"));
    QCOMPARE(sent.value(QStringLiteral("at")).toString(),
             QStringLiteral("2026-03-15T14:07:09.000Z"));
    QCOMPARE(byType.value(QStringLiteral("message.received")).value("text").toString(),
             QStringLiteral("余额 12.5 元"));
    QCOMPARE(byType.value(QStringLiteral("message.received")).value("id").toInteger(), 42);
    QCOMPARE(byType.value(QStringLiteral("message.delivered")).value("status").toString(),
             QStringLiteral("delivered"));
    QCOMPARE(byType.value(QStringLiteral("message.failed")).value("reason").toString(),
             QStringLiteral("+CMS ERROR: 500"));
    // The four to the silent receiver are still out; nothing was given up.
    QCOMPARE(rig.dispatcher.counters().delivered, 4u);
    QCOMPARE(rig.dispatcher.counters().outbox, 4);
}

void TestWebhooks::onlyTheConfiguredEventsGo()
{
    Receiver receiver;
    QTemporaryDir folder;
    Rig rig(SystemClock::instance(), folder.path());
    WebhookSettings settings = settingsFor({receiver.url()});
    settings.events = {QStringLiteral("message.received")};
    rig.dispatcher.configure(settings);
    emitAll(rig.events);
    QTRY_COMPARE_WITH_TIMEOUT(rig.dispatcher.counters().delivered, 1u, Wait);
    QCOMPARE(data(receiver.posts().value(0)).value("type").toString(),
             QStringLiteral("message.received"));
    QCOMPARE(rig.dispatcher.counters().outbox, 0);
}

void TestWebhooks::retriesBackOffWithTheSameId()
{
    Receiver receiver;
    receiver.answer(503);
    QTemporaryDir folder;
    ManualClock clock(QDateTime::currentDateTime());
    Rig rig(clock, folder.path());
    rig.dispatcher.configure(settingsFor({receiver.url()}));
    Q_EMIT rig.events.messageSent(5, QStringLiteral("13800138000"), {}, At);
    QTRY_COMPARE_WITH_TIMEOUT(rig.dispatcher.counters().failed, 1u, Wait);
    // Tries follow after 1 s, 2 s and 4 s, and not before.
    qsizetype posts = 1;
    for (int wait : {1, 2, 4}) {
        clock.advance(wait - 1);
        rig.dispatcher.deliverDue();
        QTest::qWait(200);
        QCOMPARE(receiver.count(), posts);
        clock.advance(1);
        rig.dispatcher.deliverDue();
        ++posts;
        QTRY_COMPARE_WITH_TIMEOUT(rig.dispatcher.counters().failed, quint64(posts), Wait);
        QCOMPARE(receiver.count(), posts);
    }
    receiver.answer(200);
    clock.advance(8);
    rig.dispatcher.deliverDue();
    QTRY_COMPARE_WITH_TIMEOUT(rig.dispatcher.counters().delivered, 1u, Wait);
    QSet<QString> ids;
    for (const QJsonObject &post : receiver.posts())
        ids << post.value(QStringLiteral("id")).toString();
    QCOMPARE(ids.size(), 1);
    QCOMPARE(rig.dispatcher.counters().outbox, 0);

    WebhookSettings capped;
    QCOMPARE(WebhookDispatcher::backoffSeconds(12, capped), 2048);
    QCOMPARE(WebhookDispatcher::backoffSeconds(13, capped), 3600);
    QCOMPARE(WebhookDispatcher::backoffSeconds(400, capped), 3600);
}

void TestWebhooks::givenUpAfterTheRetryPeriodWithALogLine()
{
    Receiver receiver;
    receiver.answer(500);
    QTemporaryDir folder;
    ManualClock clock(QDateTime::currentDateTime());
    Rig rig(clock, folder.path());
    WebhookSettings settings = settingsFor({receiver.url()});
    settings.retryForSeconds = 60;
    rig.dispatcher.configure(settings);
    Q_EMIT rig.events.messageSent(5, QStringLiteral("13800138000"), {}, At);
    QTRY_COMPARE_WITH_TIMEOUT(rig.dispatcher.counters().failed, 1u, Wait);
    clock.advance(60);
    rig.dispatcher.deliverDue();
    QCOMPARE(rig.dispatcher.counters().dropped, 1u);
    QCOMPARE(rig.dispatcher.counters().outbox, 0);
    QCOMPARE(rig.log.size(), 1);
    QVERIFY2(rig.log.first().contains(QLatin1String("HTTP 500")), qPrintable(rig.log.first()));
    QVERIFY(QDir(WebhookDispatcher::outboxFolder(folder.path())).entryList(QDir::Files).isEmpty());
}

void TestWebhooks::outboxOutlivesARestartAndOnlyItsUserReadsIt()
{
    QTemporaryDir folder;
    QTcpServer closed; // a port that was in use and is free now: nobody listens
    QVERIFY(closed.listen(QHostAddress::LocalHost));
    const quint16 port = closed.serverPort();
    closed.close();
    const QString url = QStringLiteral("http://127.0.0.1:%1/hook").arg(port);
    {
        Rig rig(SystemClock::instance(), folder.path());
        rig.dispatcher.configure(settingsFor({url}));
        emitAll(rig.events);
        // On the disk before the engine makes the changes final, not a turn later.
        QCOMPARE(rig.dispatcher.counters().outbox, 0);
        Q_EMIT rig.events.committing();
        QCOMPARE(rig.dispatcher.counters().outbox, 4);
    }
    const QString outbox = WebhookDispatcher::outboxFolder(folder.path());
    QCOMPARE(QFileInfo(outbox).permissions() & 0x0077, QFileDevice::Permissions());
    // The events of one turn share one file, flushed once.
    const QStringList files = QDir(outbox).entryList(QDir::Files);
    QCOMPARE(files.size(), 1);
    for (const QString &file : files)
        QCOMPARE(QFileInfo(outbox + QLatin1Char('/') + file).permissions()
                         & (QFileDevice::ReadGroup | QFileDevice::ReadOther),
                 QFileDevice::Permissions());

    // The receiver is back at the same address when the gateway starts again.
    Receiver receiver(port);
    Rig rig(SystemClock::instance(), folder.path());
    rig.dispatcher.configure(settingsFor({url}));
    QTRY_COMPARE_WITH_TIMEOUT(receiver.count(), 4, Wait);
    QSet<QString> arrived;
    for (const QJsonObject &post : receiver.posts()) {
        QVERIFY(post.value(QStringLiteral("valid")).toBool());
        arrived << post.value(QStringLiteral("id")).toString();
    }
    QCOMPARE(arrived, AllIds);
    QTRY_COMPARE_WITH_TIMEOUT(rig.dispatcher.counters().outbox, 0, Wait);
    QVERIFY(QDir(outbox).entryList(QDir::Files).isEmpty());
}

void TestWebhooks::unusableSettingsAreLoggedAndSendNothing()
{
    QTemporaryDir dir;
    IniFile ini(dir.filePath(QStringLiteral("Config.ini")));
    ini.write(QStringLiteral("Webhooks"), QStringLiteral("Url"),
              QStringLiteral("ftp://example.com/, http://127.0.0.1:9/x"));
    ini.write(QStringLiteral("Webhooks"), QStringLiteral("Secret"), QStringLiteral("hunter2"));
    ini.write(QStringLiteral("Webhooks"), QStringLiteral("Events"),
              QStringLiteral("message.sent,message.lost"));
    QStringList log;
    const WebhookSettings s = WebhookSettings::read(ini, [&](const QString &l) { log << l; });
    QCOMPARE(s.urls, QStringList{QStringLiteral("http://127.0.0.1:9/x")});
    QVERIFY(!s.enabled());
    QCOMPARE(s.events, QSet<QString>{QStringLiteral("message.sent")});
    QCOMPARE(log.size(), 3);
}

void TestWebhooks::anEventToldAgainKeepsItsId()
{
    // Told once by a gateway that was killed before its receiver had it, and again by the
    // next start: the receiver sees one id per message, whichever copies arrive.
    Receiver receiver;
    QTemporaryDir folder;
    {
        Rig killed(SystemClock::instance(), folder.path());
        killed.dispatcher.configure(settingsFor({QStringLiteral("http://127.0.0.1:9/never")}));
        emitAll(killed.events);
    }
    Rig rig(SystemClock::instance(), folder.path());
    rig.dispatcher.configure(settingsFor({receiver.url()}));
    emitAll(rig.events);
    QTRY_COMPARE_WITH_TIMEOUT(rig.dispatcher.counters().delivered, 4u, Wait);
    QSet<QString> ids;
    for (const QJsonObject &post : receiver.posts())
        ids << post.value(QStringLiteral("id")).toString();
    QCOMPARE(ids, AllIds);
    // The events of the first run were meant for a receiver no longer named: dropped, logged.
    QCOMPARE(rig.dispatcher.counters().dropped, 4u);
    QTRY_COMPARE_WITH_TIMEOUT(rig.dispatcher.counters().outbox, 0, Wait);
    QVERIFY(QDir(WebhookDispatcher::outboxFolder(folder.path())).entryList(QDir::Files).isEmpty());
}

QTEST_GUILESS_MAIN(TestWebhooks)
#include "tst_webhooks.moc"
