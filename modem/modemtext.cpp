#include "modemtext.h"

#include "modemerrors.h"

namespace ModemText {

QString firstAnswer(const AtResult &r, const QByteArray &prefix)
{
    for (QByteArray line : r.lines) {
        if (line.startsWith(prefix))
            line = line.mid(prefix.size());
        line = line.trimmed();
        if (line.startsWith('"') && line.endsWith('"') && line.size() >= 2)
            line = line.mid(1, line.size() - 2);
        if (!line.isEmpty())
            return QString::fromLatin1(line);
    }
    return {};
}

QString ownNumber(const AtResult &r)
{
    static const QByteArray prefix("+CNUM:");
    for (const QByteArray &line : r.lines) {
        if (!line.startsWith(prefix))
            continue;
        // The name before the number may be empty, unquoted or hold a comma of its own.
        QList<QByteArray> fields{QByteArray()};
        bool quoted = false;
        for (const char c : line.mid(prefix.size())) {
            if (c == '"')
                quoted = !quoted;
            else if (c == ',' && !quoted)
                fields.append(QByteArray());
            else
                fields.last().append(c);
        }
        if (fields.size() >= 2 && !fields.at(1).trimmed().isEmpty())
            return QString::fromLatin1(fields.at(1).trimmed());
    }
    return {};
}

QString describe(const AtResult &r)
{
    switch (r.status) {
    case AtResult::Status::Ok:
        return {};
    case AtResult::Status::Timeout:
        return QStringLiteral("短信猫未及时应答");
    case AtResult::Status::Closed:
        return QStringLiteral("串口已关闭");
    case AtResult::Status::Error:
        break;
    }
    const QString line = r.errorString();
    if (r.finalKind != AtResponse::Kind::CmsError || r.errorCode < 0)
        return line;
    const QString meaning = ModemErrors::cmsMeaning(r.errorCode);
    return meaning.isEmpty() ? line : line + QStringLiteral("（") + meaning + QStringLiteral("）");
}

} // namespace ModemText
