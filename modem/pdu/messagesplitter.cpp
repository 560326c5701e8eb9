#include "messagesplitter.h"

#include "gsmalphabet.h"
#include "userdatacodec.h"

namespace MessageSplitter {
namespace {

// Units of one character at position i (septets in 7-bit, UTF-16 code units in UCS2) and the
// number of QChars it spans.
struct Step
{
    int units;
    int chars;
};

Step stepAt(const QString &text, qsizetype i, SmsAlphabet alphabet)
{
    if (alphabet == SmsAlphabet::Gsm7) {
        const int s = GsmAlphabet::septetsFor(text[i].unicode());
        return {s == 0 ? 1 : s, 1};
    }
    if (text[i].isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate())
        return {2, 2};
    return {1, 1};
}

} // namespace

QList<UserData> split(const QString &text, const Options &options)
{
    const SmsAlphabet alphabet =
            (options.coding == Coding::Automatic && GsmAlphabet::canEncode(text))
            ? SmsAlphabet::Gsm7
            : SmsAlphabet::Ucs2;
    const bool gsm = alphabet == SmsAlphabet::Gsm7;
    const int single = gsm ? 160 : 70;
    const int total = gsm ? GsmAlphabet::septetCount(text) : int(text.size());

    QList<UserData> parts;
    if (total <= single) {
        parts.append(UserData{alphabet, {}, text, {}});
        return parts;
    }

    const int headerUnits = options.sixteenBitReference ? (gsm ? 8 : 4) : (gsm ? 7 : 3);
    const int perPart = single - headerUnits;
    QStringList pieces;
    qsizetype start = 0;
    int units = 0;
    for (qsizetype i = 0; i < text.size();) {
        const Step s = stepAt(text, i, alphabet);
        if (units + s.units > perPart) {
            pieces.append(text.mid(start, i - start));
            start = i;
            units = 0;
        }
        units += s.units;
        i += s.chars;
    }
    pieces.append(text.mid(start));
    if (pieces.size() > MaxParts)
        return {};

    const int reference =
            options.sixteenBitReference ? (options.reference & 0xFFFF) : (options.reference & 0xFF);
    for (int n = 0; n < pieces.size(); ++n) {
        parts.append(UserData{alphabet,
                              UserDataCodec::concatHeader(reference, int(pieces.size()), n + 1,
                                                          options.sixteenBitReference),
                              pieces[n],
                              {}});
    }
    return parts;
}

} // namespace MessageSplitter
