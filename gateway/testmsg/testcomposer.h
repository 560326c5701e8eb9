#pragma once

#include <QObject>
#include <QString>
#include <QStringList>
#include <functional>

class Prompter;

// Queues one text for a list of numbers as pending rows, exactly as an application would.
// Blanks around a number stay in the row; only space characters count as blanks here.
class TestComposer : public QObject
{
    Q_OBJECT

public:
    // Inserts one pending row (number as given, text); false when the insert failed.
    using Inserter = std::function<bool(const QString &number, const QString &text)>;

    TestComposer(Inserter insert, Prompter &prompter, QObject *parent = nullptr);

    static QString trimSpaces(const QString &text);
    // The box's lines: the trimmed text split at line breaks; an empty box has none.
    static QStringList numberLines(const QString &numbersText);
    static QString numberListCaption(const QString &numbersText);
    static QString contentCaption(const QString &messageText);

    // Inserts a row for every non-empty line, reporting progress after each, then says so.
    void send(const QString &numbersText, const QString &messageText);

Q_SIGNALS:
    void progress(int percent);

private:
    Inserter m_insert;
    Prompter &m_prompter;
};
