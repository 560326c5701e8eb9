#include "textcodec.h"

#include <QStringDecoder>
#include <QStringEncoder>

DecodedText decodeText(const QByteArray &bytes)
{
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = utf8(bytes);
    if (!utf8.hasError())
        return {text, TextEncoding::Utf8};
    return {decodeGbk(bytes), TextEncoding::Gbk};
}

QString decodeGbk(const QByteArray &bytes)
{
    QStringDecoder gbk("GBK");
    if (!gbk.isValid())
        return QString::fromLatin1(bytes);
    return gbk(bytes);
}

QByteArray encodeText(const QString &text, TextEncoding encoding)
{
    if (encoding == TextEncoding::Gbk) {
        QStringEncoder gbk("GBK");
        if (gbk.isValid())
            return gbk(text);
    }
    return text.toUtf8();
}

QString withoutLoneSurrogates(QString text)
{
    const qsizetype n = text.size();
    for (qsizetype i = 0; i < n; ++i) {
        const QChar c = text.at(i);
        if (!c.isSurrogate())
            continue;
        if (c.isHighSurrogate() && i + 1 < n && text.at(i + 1).isLowSurrogate()) {
            ++i;
            continue;
        }
        text[i] = QChar::ReplacementCharacter;
    }
    return text;
}
