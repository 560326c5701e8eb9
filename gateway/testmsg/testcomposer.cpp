#include "testcomposer.h"

#include "core/prompter.h"

TestComposer::TestComposer(Inserter insert, Prompter &prompter, QObject *parent)
    : QObject(parent), m_insert(std::move(insert)), m_prompter(prompter)
{ }

QString TestComposer::trimSpaces(const QString &text)
{
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && text.at(begin) == QLatin1Char(' '))
        ++begin;
    while (end > begin && text.at(end - 1) == QLatin1Char(' '))
        --end;
    return text.mid(begin, end - begin);
}

QStringList TestComposer::numberLines(const QString &numbersText)
{
    QString text = trimSpaces(numbersText);
    if (text.isEmpty())
        return {};
    text.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    return text.split(QLatin1Char('\n'));
}

QString TestComposer::numberListCaption(const QString &numbersText)
{
    return QStringLiteral("号码列表(%1)").arg(numberLines(numbersText).size());
}

QString TestComposer::contentCaption(const QString &messageText)
{
    // A character is what the reader sees as one: an emoji made of a surrogate pair counts once.
    return QStringLiteral("短信内容(字数:%1)").arg(trimSpaces(messageText).toUcs4().size());
}

void TestComposer::send(const QString &numbersText, const QString &messageText)
{
    const QStringList lines = numberLines(numbersText);
    const QString message = trimSpaces(messageText);
    const qsizetype n = lines.size();
    int failed = 0;
    for (qsizetype i = 0; i < n; ++i) {
        const QString &line = lines.at(i);
        if (trimSpaces(line).isEmpty())
            continue;
        if (!m_insert(line, message))
            ++failed;
        Q_EMIT progress(qRound(double(i + 1) / n * 100));
    }
    // Rows that never reached the database must not be reported as queued.
    if (failed == 0)
        m_prompter.message(QStringLiteral("发送完毕！"));
    else
        m_prompter.message(
                QStringLiteral("发送完毕！其中%1条未能写入数据库，详见日志。").arg(failed));
}
