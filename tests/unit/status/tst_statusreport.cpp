#include "api/apiviews.h"
#include "api/healthonly.h"
#include "messaging/messagelookup.h"
#include "model/enginestatus.h"
#include "status/processfigures.h"
#include "status/statusreport.h"

#include <QDateTime>
#include <QTest>

// The page, the metrics and the health check made from a status snapshot alone.
class tst_StatusReport : public QObject
{
    Q_OBJECT

    static EngineStatus running()
    {
        EngineStatus s;
        s.running = true;
        s.databaseUp = true;
        DeviceStatus idle;
        idle.port = QStringLiteral("3");
        idle.rate = QStringLiteral("9600");
        idle.link = LinkState::Idle;
        idle.sent = 5;
        idle.failed = 2;
        idle.received = 4;
        idle.rssi = 23;
        idle.ber = 99;
        idle.registration = 5;
        DeviceStatus lost;
        lost.port = QStringLiteral("4");
        lost.link = LinkState::Failed;
        lost.rssi = 99;
        s.devices = {idle, lost};
        return s;
    }

    static QStringList lines(const QByteArray &text)
    {
        return QString::fromUtf8(text).split(QLatin1Char('\n'));
    }

private Q_SLOTS:
    void devicesAreCountedFromTheirNumbers()
    {
        const QStringList m = lines(StatusReport::metrics(running(), ProcessFigures{}));
        for (const char *line : {"velmora_messages_sent_total{device=\"0\",port=\"Com3\"} 5",
                                 "velmora_messages_failed_total{device=\"0\",port=\"Com3\"} 2",
                                 "velmora_messages_received_total{device=\"0\",port=\"Com3\"} 4",
                                 "velmora_device_signal{device=\"0\",port=\"Com3\"} 23",
                                 "velmora_device_registered{device=\"0\",port=\"Com3\"} 1",
                                 "velmora_device_up{device=\"0\",port=\"Com3\"} 1",
                                 "velmora_device_up{device=\"1\",port=\"Com4\"} 0",
                                 "velmora_devices_up 1", "velmora_can_send 1"})
            QVERIFY2(m.contains(QLatin1String(line)), line);
        // A modem that does not know its signal, or never said, has no sample.
        QVERIFY(!m.join(QLatin1Char('\n')).contains(QLatin1String("signal{device=\"1\"")));
        QVERIFY(!m.join(QLatin1Char('\n')).contains(QLatin1String("registered{device=\"1\"")));
    }

    void aLabelCannotForgeALine()
    {
        EngineStatus s = running();
        s.sharedQueue = true;
        s.handedByGateway = {{QStringLiteral("east\"}\nvelmora_database_up 0\n\\"), 2}};
        s.devices[0].port = QStringLiteral("3\"\n");
        const QStringList m = lines(StatusReport::metrics(s, ProcessFigures{}));
        QVERIFY(m.contains(QStringLiteral(
                "velmora_rows_handed{gateway=\"east\\\"}\\nvelmora_database_up 0\\n\\\\\"} 2")));
        QVERIFY(m.contains(
                QStringLiteral("velmora_device_up{device=\"0\",port=\"Com3\\\"\\n\"} 1")));
        QVERIFY(!m.contains(QStringLiteral("velmora_database_up 0")));
        QCOMPARE(StatusReport::labelValue(QStringLiteral("a\\b\"c\nd")),
                 QStringLiteral("a\\\\b\\\"c\\nd"));
    }

    void healthSaysWhyNothingIsSent()
    {
        EngineStatus s = running();
        QCOMPARE(StatusReport::unavailable(s), QString());
        s.cannotSend = QStringLiteral("配置了GatewayName，但表SMS没有Gateway列");
        QCOMPARE(StatusReport::unavailable(s), s.cannotSend);
        QVERIFY(lines(StatusReport::metrics(s, {})).contains(QStringLiteral("velmora_can_send 0")));
        QVERIFY(lines(StatusReport::metrics(s, {}))
                        .contains(QStringLiteral("velmora_database_up 1")));
        s.databaseUp = false;
        QCOMPARE(StatusReport::unavailable(s), QStringLiteral("数据库未连接"));
        s.running = false;
        QCOMPARE(StatusReport::unavailable(s), QStringLiteral("服务已停止"));
    }

    void processAndBuildAreDescribed()
    {
        const ProcessFigures p = ProcessFigures::read();
        QVERIFY(p.cpuSeconds >= 0);
        QVERIFY(p.residentBytes > 0);
        QVERIFY(p.openFds > 0);
        const double now = double(QDateTime::currentSecsSinceEpoch());
        QVERIFY(p.startTimeSeconds > now - 86400 && p.startTimeSeconds <= now + 1);
        const QString m = QString::fromUtf8(StatusReport::metrics(running(), p));
        for (const char *name : {"\nvelmora_build_info{version=\"", "\nprocess_cpu_seconds_total ",
                                 "\nprocess_resident_memory_bytes ", "\nprocess_open_fds ",
                                 "\nprocess_start_time_seconds "})
            QVERIFY2(m.contains(QLatin1String(name)), name);
        // What the kernel did not tell is left out rather than shown as a number.
        QVERIFY(!QString::fromUtf8(StatusReport::metrics(running(), ProcessFigures{}))
                         .contains(QLatin1String("process_")));
    }

    void thePageShowsTheWindowsTexts()
    {
        EngineStatus s = running();
        const QString page = QString::fromUtf8(
                StatusReport::page(s, {QStringLiteral("12-06 04:47:10 > <b>x</b>")}));
        QVERIFY(page.contains(QStringLiteral("<td>Com3</td><td>9600</td><td></td><td>5/7</td>"
                                             "<td>4</td><td>空闲</td>"
                                             "<td>信号: 23,99; 网络注册: 已注册(漫游); 运营商: -"
                                             "</td>")));
        QVERIFY(page.contains(QStringLiteral("<td>连接失败,等候再试</td>")));
        QVERIFY(page.contains(QStringLiteral("&lt;b&gt;x&lt;/b&gt;")));
        QVERIFY(!page.contains(QStringLiteral("id=\"handed\"")));
        // A received text's line break does not start a new line of the log.
        const QString received = QString::fromUtf8(StatusReport::page(
                s, {QStringLiteral("12-06 04:47:11 > 收到短信:a\nb"), QStringLiteral("next")}));
        QVERIFY(received.contains(QStringLiteral("收到短信:a ⏎ b\nnext")));
        s.sharedQueue = true;
        s.handedByGateway = {{QStringLiteral("east"), 3}};
        QVERIFY(QString::fromUtf8(StatusReport::page(s, {}))
                        .contains(QStringLiteral("<p id=\"handed\">已认领未完成:east:3</p>")));
    }

    // Without a token the page tells how the gateway does and nothing that names a device, a
    // number, a text or a SIM.
    void theHealthPageNamesNothing()
    {
        EngineStatus s = running();
        s.devices[0].operatorName = QStringLiteral("CHINA MOBILE");
        const QString page = QString::fromUtf8(StatusReport::healthPage(s));
        QVERIFY(page.contains(QStringLiteral("服务运行中")));
        QVERIFY(page.contains(QStringLiteral("<p id=\"devices\">已连接设备:%1/2</p>")
                                      .arg(s.devicesUp())));
        QVERIFY(page.contains(QStringLiteral("id=\"queue\"")));
        for (const char *named : {"Com3", "Com4", "CHINA MOBILE", "9600", "<table", "id=\"log\""})
            QVERIFY2(!page.contains(QLatin1String(named)), named);
    }

    // The tables' times as each driver gives them come out as ISO 8601 with the local offset,
    // the same text Qt's own conversion makes.
    void tableTimesComeOutAsIsoWithTheirOffset()
    {
        const auto qtIso = [](const QDateTime &t) {
            return t.toOffsetFromUtc(t.offsetFromUtc()).toString(Qt::ISODate);
        };
        for (const char *text : {"2026-12-09 10:00:00", "2026-12-09T23:59:59", "2026-02-28 00:00:01.5",
                                 "2026-07-01 12:30:45.123456", "2026-12-09T10:00:00+08:00",
                                 "2026-12-09T02:00:00Z"}) {
            const QDateTime t = MessageLookup::timeValue(QString::fromLatin1(text));
            QVERIFY2(t.isValid(), text);
            const QJsonObject row = ApiViews::received({1, {}, {}, t});
            QCOMPARE(row[QLatin1String("receivedAt")].toString(), qtIso(t));
        }
        QCOMPARE(MessageLookup::timeValue(QStringLiteral("2026-02-28 00:00:01.5")).time().msec(), 500);
        QCOMPARE(MessageLookup::timeValue(QStringLiteral("2026-12-09T10:00:00+08:00")).offsetFromUtc(),
                 8 * 3600);
        for (const char *text : {"", "2026-13-09 10:00:00", "2026-12-09 1O:00:00",
                                 "2026-02-30 10:00:00"})
            QVERIFY2(!MessageLookup::timeValue(QString::fromLatin1(text)).isValid(), text);
        QVERIFY(ApiViews::received({1, {}, {}, {}})[QLatin1String("receivedAt")].isNull());
    }

    void pastTheCapOnlyTheHealthCheckIsAnswered()
    {
        HttpLimits limits;
        QVERIFY(HealthOnly::answer("GET /healthz HTTP/1.1\r\n\r\n", limits)
                        .startsWith("HTTP/1.1 503"));
        limits.health = [] { return QByteArray("HEALTH"); };
        for (const char *head : {"GET /healthz HTTP/1.1\r\nHost: x\r\n\r\n",
                                 "GET /healthz?probe=1 HTTP/1.0\r\n\r\n"})
            QCOMPARE(HealthOnly::answer(head, limits), QByteArray("HEALTH"));
        for (const char *head : {"POST /healthz HTTP/1.1\r\n\r\n", "GET /healthzz HTTP/1.1\r\n\r\n",
                                 "GET /api/v1/devices HTTP/1.1\r\n\r\n", "GET /healthz\r\n\r\n",
                                 "", "\r\n\r\n"}) {
            const QByteArray answer = HealthOnly::answer(head, limits);
            QVERIFY2(answer.startsWith("HTTP/1.1 503") && answer.contains("too_many_connections"),
                     head);
        }
    }

    // One device rests at its daily limit, the other sends; the page, the metrics and the API
    // say so from the same snapshot, and without the policy nothing of it shows.
    void theSendingPolicyIsShown()
    {
        EngineStatus s = running();
        QVERIFY(!QString::fromUtf8(StatusReport::metrics(s, ProcessFigures{}))
                         .contains(QLatin1String("quota")));
        QVERIFY(!ApiViews::device(s.devices.at(0)).contains(QLatin1String("quota")));
        const QDateTime reset(QDate(2026, 12, 7), QTime(8, 0));
        DeviceQuota resting{3, 100, 250, 40, 0, 100, 0, 0, reset, reset};
        s.devices[0].quota = resting;
        s.devices[1].quota = DeviceQuota{0, 7, 9, 2, 0, 100, 0, 0, {}, reset};
        const QStringList m = lines(StatusReport::metrics(s, ProcessFigures{}));
        for (const char *line :
             {"velmora_device_quota_used{device=\"0\",port=\"Com3\",period=\"day\"} 100",
              "velmora_device_quota_used{device=\"1\",port=\"Com4\",period=\"month\"} 9",
              "velmora_device_quota_used{device=\"0\",port=\"Com3\",period=\"recipients\"} 40",
              "velmora_device_quota_limit{device=\"0\",port=\"Com3\",period=\"day\"} 100",
              "velmora_device_resting{device=\"0\",port=\"Com3\"} 1",
              "velmora_device_resting{device=\"1\",port=\"Com4\"} 0"})
            QVERIFY2(m.contains(QLatin1String(line)), line);
        // A period without a limit has no limit sample.
        QVERIFY(!m.join(QLatin1Char('\n'))
                         .contains(QLatin1String(
                                 "limit{device=\"0\",port=\"Com3\",period=\"hour\"")));
        const QString page = QString::fromUtf8(StatusReport::page(s, {}));
        QVERIFY(page.contains(QStringLiteral("<td>空闲，休息至08:00</td>")));
        QVERIFY(page.contains(QStringLiteral("<td>连接失败,等候再试</td>")));
        const QJsonObject quota =
                ApiViews::device(s.devices.at(0))[QLatin1String("quota")].toObject();
        QCOMPARE(quota[QLatin1String("used")][QLatin1String("day")].toInt(), 100);
        QCOMPARE(quota[QLatin1String("limits")][QLatin1String("day")].toInt(), 100);
        QVERIFY(quota[QLatin1String("limits")][QLatin1String("hour")].isNull());
        QCOMPARE(
                QDateTime::fromString(quota[QLatin1String("restingUntil")].toString(), Qt::ISODate),
                reset);
        QVERIFY(ApiViews::device(
                        s.devices.at(1))[QLatin1String("quota")][QLatin1String("restingUntil")]
                        .isNull());
    }
};

QTEST_GUILESS_MAIN(tst_StatusReport)
#include "tst_statusreport.moc"
