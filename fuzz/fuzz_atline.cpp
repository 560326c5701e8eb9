// Any byte stream from a modem, cut into reads of varying size: the line splitter, the
// classification of every line and each field reader must cope.
#include "at/atlinesplitter.h"
#include "at/atresponse.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 1)
        return 0;
    const qsizetype chunk = qsizetype(data[0] % 17) + 1;
    const QByteArrayView stream(reinterpret_cast<const char *>(data + 1), qsizetype(size - 1));
    AtLineSplitter splitter;
    QByteArray line;
    for (qsizetype at = 0; at < stream.size(); at += chunk) {
        splitter.setExpectPrompt((at / chunk) % 3 == 0);
        splitter.feed(stream.sliced(at, qMin(chunk, stream.size() - at)));
        while (splitter.next(&line)) {
            const AtResponse::Line l = AtResponse::classify(line);
            AtResponse::errorText(l);
            AtResponse::parameters(line);
            AtResponse::parseStorageIndex(line);
            AtResponse::parseCallerId(line);
            AtResponse::parseMessageReference(line);
            AtResponse::parseListed(line);
            AtResponse::parseRead(line);
        }
    }
    return 0;
}
