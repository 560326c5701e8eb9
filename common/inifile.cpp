#include "inifile.h"

#include "textcodec.h"

#include <QFile>
#include <QSaveFile>
#include <QStringList>

namespace {

struct Lines
{
    QStringList lines;
    QString newline = QStringLiteral("\n");
    TextEncoding encoding = TextEncoding::Utf8;
    bool endsWithNewline = true;
};

Lines loadLines(const QString &path)
{
    Lines result;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return result;
    const DecodedText decoded = decodeText(file.readAll());
    result.encoding = decoded.encoding;
    QString text = decoded.text;
    if (text.startsWith(QChar(0xFEFF)))
        text.remove(0, 1);
    if (text.contains(QLatin1String("\r\n")))
        result.newline = QStringLiteral("\r\n");
    if (text.isEmpty())
        return result;
    result.endsWithNewline = text.endsWith(QLatin1Char('\n'));
    if (result.endsWithNewline)
        text.chop(result.newline.size() == 2 && text.endsWith(QLatin1String("\r\n")) ? 2 : 1);
    result.lines = text.split(result.newline);
    return result;
}

bool saveLines(const QString &path, const Lines &content, QString *error)
{
    QString text = content.lines.join(content.newline);
    if (!content.lines.isEmpty())
        text += content.newline;
    QSaveFile file(path);
    file.setDirectWriteFallback(true);
    const bool saved = file.open(QIODevice::WriteOnly)
            && file.write(encodeText(text, content.encoding)) >= 0 && file.commit();
    if (!saved && error)
        *error = file.errorString();
    return saved;
}

// The section name of a header line, or a null string for any other line.
QString sectionOf(const QString &line)
{
    const QString trimmed = line.trimmed();
    if (!trimmed.startsWith(QLatin1Char('[')))
        return {};
    const qsizetype close = trimmed.indexOf(QLatin1Char(']'));
    if (close < 0)
        return {};
    return trimmed.mid(1, close - 1).trimmed();
}

bool isComment(const QString &line)
{
    const QString trimmed = line.trimmed();
    return trimmed.startsWith(QLatin1Char(';')) || trimmed.startsWith(QLatin1Char('#'));
}

QString keyOf(const QString &line)
{
    if (isComment(line))
        return {};
    const qsizetype eq = line.indexOf(QLatin1Char('='));
    if (eq < 0)
        return {};
    return line.left(eq).trimmed();
}

bool sameName(const QString &a, const QString &b)
{
    return a.compare(b, Qt::CaseInsensitive) == 0;
}

struct Location
{
    qsizetype sectionLine = -1; // header line, -1 when the section is absent
    qsizetype sectionEnd = -1;  // one past the last line of the section
    qsizetype keyLine = -1;
};

Location locate(const QStringList &lines, const QString &section, const QString &key)
{
    Location at;
    for (qsizetype i = 0; i < lines.size(); ++i) {
        const QString name = sectionOf(lines[i]);
        if (name.isNull())
            continue;
        if (at.sectionLine >= 0) {
            at.sectionEnd = i;
            break;
        }
        if (sameName(name, section))
            at.sectionLine = i;
    }
    if (at.sectionLine < 0)
        return at;
    if (at.sectionEnd < 0)
        at.sectionEnd = lines.size();
    for (qsizetype i = at.sectionLine + 1; i < at.sectionEnd; ++i) {
        if (sameName(keyOf(lines[i]), key)) {
            at.keyLine = i;
            break;
        }
    }
    return at;
}

QString cleanValue(QString value)
{
    value = value.trimmed();
    if (value.size() >= 2) {
        const QChar first = value.front();
        if ((first == QLatin1Char('"') || first == QLatin1Char('\'')) && value.back() == first)
            value = value.mid(1, value.size() - 2);
    }
    return value.left(IniFile::MaxValueLength);
}

} // namespace

IniFile::IniFile(QString path) : m_path(std::move(path)) { }

QString IniFile::read(const QString &section, const QString &key, const QString &defaultValue) const
{
    const Lines content = loadLines(m_path);
    const Location at = locate(content.lines, section, key);
    if (at.keyLine < 0)
        return defaultValue.left(MaxValueLength);
    const QString &line = content.lines[at.keyLine];
    return cleanValue(line.mid(line.indexOf(QLatin1Char('=')) + 1));
}

bool IniFile::write(const QString &section, const QString &key, const QString &value,
                    QString *error) const
{
    Lines content = loadLines(m_path);
    const Location at = locate(content.lines, section, key);
    const QString entry = key + QLatin1Char('=') + value;
    if (at.keyLine >= 0) {
        content.lines[at.keyLine] = entry;
    } else if (at.sectionLine >= 0) {
        // New keys go after the section's last non-blank line, so blank separators stay below.
        qsizetype insertAt = at.sectionEnd;
        while (insertAt > at.sectionLine + 1 && content.lines[insertAt - 1].trimmed().isEmpty())
            --insertAt;
        content.lines.insert(insertAt, entry);
    } else {
        content.lines << QLatin1Char('[') + section + QLatin1Char(']') << entry;
    }
    return saveLines(m_path, content, error);
}

bool IniFile::remove(const QString &section, const QString &key) const
{
    Lines content = loadLines(m_path);
    const Location at = locate(content.lines, section, key);
    if (at.keyLine < 0)
        return true;
    content.lines.removeAt(at.keyLine);
    return saveLines(m_path, content, nullptr);
}

bool IniFile::holdsText() const
{
    QFile file(m_path);
    if (!file.open(QIODevice::ReadOnly))
        return true;
    const QByteArray bytes = file.readAll();
    // UTF-16 puts a NUL beside every ASCII character; no UTF-8 or GBK text holds one.
    if (bytes.contains('\0'))
        return false;
    const QString text = decodeText(bytes).text;
    for (const QChar c : text) {
        const char16_t u = c.unicode();
        if (u == QChar::ReplacementCharacter || (u < 0x20 && u != '\t' && u != '\n' && u != '\r')
            || u == 0x7F)
            return false;
    }
    return true;
}
