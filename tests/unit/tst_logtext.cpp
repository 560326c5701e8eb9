#include "common/logtext.h"
#include "common/textcodec.h"

#include <QTest>

// What a received text may carry into a log line or a statement.
class TestLogText : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void controlsAreEscaped_data()
    {
        QTest::addColumn<QString>("message");
        QTest::addColumn<QString>("logged");
        QTest::newRow("plain and Chinese stay") << "Com3口成功收到短信-139:你好 \\ ok"
                                                << "Com3口成功收到短信-139:你好 \\ ok";
        QTest::newRow("line breaks") << "a\r\nb\nc"
                                     << "a\\r\\nb\\nc";
        QTest::newRow("terminal escape") << "x\x1b[2Jy"
                                         << "x\\x1B[2Jy";
        QTest::newRow("vertical tab, DEL")
                << QString("a\vb") + QChar(0x7F) << QStringLiteral("a\\x0Bb\\x7F");
        QTest::newRow("C1 next line") << QString(QChar(0x85)) + "z"
                                      << "\\x85z";
        QTest::newRow("Unicode separators")
                << QString(QChar(0x2028)) + QChar(0x2029) << "\\u2028\\u2029";
    }
    void controlsAreEscaped()
    {
        QFETCH(QString, message);
        QTEST(loggableText(message), "logged");
    }

    void loneSurrogatesAreReplaced()
    {
        const QChar high(char16_t(0xD800));
        const QChar low(char16_t(0xDC00));
        const QString bad(QChar::ReplacementCharacter);
        QCOMPARE(withoutLoneSurrogates(QString(high) + "'"), bad + "'");
        QCOMPARE(withoutLoneSurrogates(QString(low) + high), bad + bad);
        QCOMPARE(withoutLoneSurrogates(QStringLiteral("😀") + high), QStringLiteral("😀") + bad);
        QCOMPARE(withoutLoneSurrogates(QString(high) + low), QString(high) + low);
    }
};

QTEST_GUILESS_MAIN(TestLogText)
#include "tst_logtext.moc"
