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
