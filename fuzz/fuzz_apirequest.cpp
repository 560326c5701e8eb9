// What an application sends the HTTP API: the send request's body, the numbers in it, the query
// values of a read and the Idempotency-Key. The first byte picks the reader, the rest is the
// input. Whatever is accepted must be what the table may hold.
#include "api/requestvalues.h"
#include "api/sendrequest.h"
#include "model/phonenumber.h"

#include <QRegularExpression>
#include <cstddef>
#include <cstdint>
#include <cstdlib>

namespace {

// A number as the row holds it: an optional "+" and 3 to 20 digits.
bool storedNumber(const QString &number)
{
    static const QRegularExpression shape(QStringLiteral("^\\+?[0-9]{3,20}$"));
    return shape.match(number).hasMatch();
}

void check(bool ok)
{
    if (!ok)
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 1)
        return 0;
    const QByteArray input(reinterpret_cast<const char *>(data + 1), qsizetype(size - 1));
    switch (data[0] % 4) {
    case 0: {
        const auto parsed = SendRequest::parse(input);
        if (const auto *request = std::get_if<SendRequest>(&parsed)) {
            check(!request->messages.isEmpty()
                  && request->messages.size() <= SendRequest::MaxNumbers);
            check(request->list || request->messages.size() == 1);
            for (const OutgoingMessage &m : request->messages) {
                check(storedNumber(m.number));
                check(!m.text.isEmpty());
            }
        } else {
            check(std::get<ApiError>(parsed).status >= 400);
        }
        break;
    }
    case 1:
        if (const auto number = PhoneNumber::normalize(QString::fromUtf8(input)))
            check(storedNumber(*number));
        break;
    case 2: {
        const QUrlQuery query(QString::fromUtf8(input));
        if (const auto limit = RequestValues::queryNumber(query, QStringLiteral("limit"), 100, 1,
                                                          1000))
            check(*limit >= 1 && *limit <= 1000);
        if (const auto after = RequestValues::queryNumber(query, QStringLiteral("after"), 0, 0,
                                                          LLONG_MAX))
            check(*after >= 0);
        break;
    }
    default:
        if (RequestValues::validKey(input, 255))
            check(!input.isEmpty() && input.size() <= 255 && !input.contains(' '));
        RequestValues::isJson(input);
        break;
    }
    return 0;
}
