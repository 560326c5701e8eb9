#pragma once

#include <QSet>
#include <QString>
#include <QStringList>

// The words that make a received message an opt-out (or an opt-in): the whole text, trimmed,
// is one of them, in any case, with full-width letters and digits read as their ASCII forms
// ("ｓｔｏｐ", "Ｔ"), so "T", "td", "退订" and " STOP " match and "T恤到了吗" does not.
class OptOutKeywords
{
public:
    OptOutKeywords() = default;
    explicit OptOutKeywords(const QStringList &words);

    // The keyword as configured that the text is, or empty.
    QString match(const QString &text) const;
    bool isEmpty() const { return m_words.isEmpty(); }

    static QString fold(const QString &text);

private:
    QHash<QString, QString> m_words; // folded -> as configured
};
