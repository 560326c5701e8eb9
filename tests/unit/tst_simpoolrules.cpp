#include "common/inifile.h"
#include "model/engineevents.h"
#include "optout/canonicalnumber.h"
#include "optout/optoutkeywords.h"
#include "optout/optoutsettings.h"
#include "simpool/balancesettings.h"
#include "webhooks/simpoolpayload.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QTest>

// The rules of the SIM pool that decide on their own: which numbers are the same, which
// replies opt out, what amount an answer holds, and how the configuration is read.
class TestSimPoolRules : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void sameNumberInAnyForm_data();
    void sameNumberInAnyForm();
    void keywordIsTheWholeReply_data();
    void keywordIsTheWholeReply();
    void amountFromTheAnswer_data();
    void amountFromTheAnswer();
    void balanceSettingsPerDevice();
    void optOutSettingsDefaults();
    void optedOutPayload();
};

void TestSimPoolRules::sameNumberInAnyForm_data()
{
    QTest::addColumn<QString>("number");
    QTest::addColumn<QString>("country");
    QTest::addColumn<QString>("canonical");
    const QString cn = QStringLiteral("+8613800138000");
    QTest::newRow("national") << "13800138000" << "86" << cn;
    QTest::newRow("international, punctuated") << "+86 138-0013-8000" << "86" << cn;
    QTest::newRow("00 prefix") << "008613800138000" << "86" << cn;
    QTest::newRow("country code without plus") << "8613800138000" << "86" << cn;
    QTest::newRow("full-width digits") << "１３８００１３８０００" << "86" << cn;
    QTest::newRow("landline with trunk 0") << "010-1234 5678" << "86" << "+861012345678";
    QTest::newRow("foreign number stays") << "+44 7700 900123" << "86" << "+447700900123";
    QTest::newRow("no country code") << "138 0013 8000" << "" << "13800138000";
    QTest::newRow("no country code, international") << "+86 138 0013 8000" << ""
                                                    << "+8613800138000";
    QTest::newRow("short code") << "10086" << "86" << "+8610086";
}

void TestSimPoolRules::sameNumberInAnyForm()
{
    QFETCH(QString, number);
    QFETCH(QString, country);
    QFETCH(QString, canonical);
    QCOMPARE(CanonicalNumber::of(number, country), canonical);
}

void TestSimPoolRules::keywordIsTheWholeReply_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("keyword");
    QTest::newRow("T") << "T" << "T";
    QTest::newRow("lower case") << "td" << "TD";
    QTest::newRow("Chinese") << "退订" << "退订";
    QTest::newRow("blanks and line end") << "  STOP\r\n" << "STOP";
    QTest::newRow("full-width") << "ＳＴＯＰ" << "STOP";
    QTest::newRow("ideographic space") << "\u3000退订\u3000" << "退订";
    QTest::newRow("mixed case") << "Unsubscribe" << "UNSUBSCRIBE";
    QTest::newRow("inside a sentence") << "请不要退订我" << "";
    QTest::newRow("starts with T") << "T恤到了吗" << "";
    QTest::newRow("empty") << "" << "";
}

void TestSimPoolRules::keywordIsTheWholeReply()
{
    QFETCH(QString, text);
    QFETCH(QString, keyword);
    const OptOutKeywords words(OptOutSettings::defaultKeywords().split(QLatin1Char(',')));
    QCOMPARE(words.match(text), keyword);
}

void TestSimPoolRules::amountFromTheAnswer_data()
{
    QTest::addColumn<QString>("pattern");
    QTest::addColumn<QString>("text");
    QTest::addColumn<std::optional<double>>("amount");
    const std::optional<double> none;
    const QString cmcc = QStringLiteral("余额(?:为)?[:：]?\\s*(-?[0-9.,]+)\\s*元");
    QTest::newRow("China Mobile")
            << cmcc << "尊敬的客户，您好！截至12月09日16时，您的账户余额为35.20元。" << std::optional<double>(35.2);
    QTest::newRow("thousands") << cmcc << "余额：1,234.50元" << std::optional<double>(1234.5);
    QTest::newRow("in debt") << cmcc << "余额为-3.10元，请及时充值" << std::optional<double>(-3.1);
    QTest::newRow("no match is no amount") << cmcc << "系统繁忙，请稍后再试" << none;
    QTest::newRow("group without digits") << "Balance:(\\s*)" << "Balance: none" << none;
    QTest::newRow("currency in the group")
            << "balance is ([^ ]+)" << "Your balance is $12.75 valid" << std::optional<double>(12.75);
}

void TestSimPoolRules::amountFromTheAnswer()
{
    QFETCH(QString, pattern);
    QFETCH(QString, text);
    using Amount = std::optional<double>;
    QFETCH(Amount, amount);
    QCOMPARE(BalanceSettings::amountIn(QRegularExpression(pattern), text), amount);
}

void TestSimPoolRules::balanceSettingsPerDevice()
{
    QTemporaryDir dir;
    const IniFile ini(dir.filePath(QStringLiteral("Config.ini")));
    ini.write(QStringLiteral("Balance"), QStringLiteral("Code"), QStringLiteral("*100#"));
    ini.write(QStringLiteral("Balance"), QStringLiteral("Pattern"), QStringLiteral("([0-9.]+)"));
    ini.write(QStringLiteral("Balance"), QStringLiteral("Low"), QStringLiteral("10"));
    ini.write(QStringLiteral("Balance.Com2"), QStringLiteral("Code"), QStringLiteral("*101#"));
    ini.write(QStringLiteral("Balance.Com3"), QStringLiteral("Pattern"), QStringLiteral("[0-9]+"));
    ini.write(QStringLiteral("Ussd"), QStringLiteral("Timeout"), QStringLiteral("20"));
    QStringList log;
    const auto logLine = [&log](const QString &l) { log << l; };
    const BalanceSettings com1 = BalanceSettings::read(ini, QStringLiteral("Com1"), logLine);
    QCOMPARE(com1.code, QStringLiteral("*100#"));
    QVERIFY(com1.readsBalance());
    QCOMPARE(com1.low, std::optional<double>(10));
    QCOMPARE(com1.everyHours, 24.0);
    QCOMPARE(BalanceSettings::read(ini, QStringLiteral("Com2"), logLine).code,
             QStringLiteral("*101#"));
    // A pattern without a group cannot give an amount: said, and no balance is read.
    QVERIFY(!BalanceSettings::read(ini, QStringLiteral("Com3"), logLine).readsBalance());
    QCOMPARE(log.size(), 1);
    QVERIFY(log.first().startsWith(QStringLiteral("Com3口的配置项[Balance] Pattern")));
    QCOMPARE(BalanceSettings::ussdTimeoutSeconds(ini), 20);
}

void TestSimPoolRules::optOutSettingsDefaults()
{
    QTemporaryDir dir;
    const IniFile ini(dir.filePath(QStringLiteral("Config.ini")));
    OptOutSettings s = OptOutSettings::read(ini, {});
    QVERIFY(!s.enabled);
    QCOMPARE(s.keywords.match(QStringLiteral("td")), QStringLiteral("TD"));
    QVERIFY(s.optInKeywords.isEmpty());
    ini.write(QStringLiteral("OptOut"), QStringLiteral("Enabled"), QStringLiteral("1"));
    ini.write(QStringLiteral("OptOut"), QStringLiteral("CountryCode"), QStringLiteral("+86"));
    ini.write(QStringLiteral("OptOut"), QStringLiteral("Keywords"), QStringLiteral("取消, N"));
    s = OptOutSettings::read(ini, {});
    QVERIFY(s.enabled);
    QCOMPARE(s.countryCode, QStringLiteral("86"));
    QCOMPARE(s.keywords.match(QStringLiteral("n")), QStringLiteral("N"));
    QVERIFY(s.keywords.match(QStringLiteral("T")).isEmpty());
}

void TestSimPoolRules::optedOutPayload()
{
    const QDateTime at(QDate(2026, 12, 9), QTime(8, 0), Qt::UTC);
    const QJsonObject event =
            QJsonDocument::fromJson(SimPoolPayload::optedOut(QStringLiteral("+8613800138000"),
                                                             QStringLiteral("退订"),
                                                             {QStringLiteral("Com3"), {}}, at))
                    .object();
    QCOMPARE(event.value(QStringLiteral("type")).toString(), QStringLiteral("number.opted_out"));
    const QJsonObject data = event.value(QStringLiteral("data")).toObject();
    QCOMPARE(data.value(QStringLiteral("number")).toString(), QStringLiteral("+8613800138000"));
    QCOMPARE(data.value(QStringLiteral("keyword")).toString(), QStringLiteral("退订"));
    QCOMPARE(data.value(QStringLiteral("device")).toObject().value(QStringLiteral("port")).toString(),
             QStringLiteral("Com3"));
    const QJsonObject low =
            QJsonDocument::fromJson(SimPoolPayload::balanceLow({QStringLiteral("Com3"), {}}, 4.5,
                                                               10, at))
                    .object()
                    .value(QStringLiteral("data"))
                    .toObject();
    QCOMPARE(low.value(QStringLiteral("balance")).toDouble(), 4.5);
    QCOMPARE(low.value(QStringLiteral("low")).toDouble(), 10.0);
}

QTEST_GUILESS_MAIN(TestSimPoolRules)
#include "tst_simpoolrules.moc"
