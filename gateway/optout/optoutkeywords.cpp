#include "optoutkeywords.h"

OptOutKeywords::OptOutKeywords(const QStringList &words)
{
    for (const QString &word : words) {
        const QString folded = fold(word);
        if (!folded.isEmpty())
            m_words.insert(folded, word.trimmed());
    }
}

QString OptOutKeywords::fold(const QString &text)
{
    // Compatibility normalisation turns full-width forms and the ideographic space into their
    // plain forms; trimming then also takes what phones append (line ends, U+3000).
    return text.normalized(QString::NormalizationForm_KC).trimmed().toCaseFolded();
}

QString OptOutKeywords::match(const QString &text) const
{
    return m_words.value(fold(text));
}
