// Any byte stream from a modem, cut into reads of varying size: the line splitter, the
// classification of every line and the field readers must cope.
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
            // Each field reader on the lines the driver hands it.
            const AtResponse::Line l = AtResponse::classify(line);
            AtResponse::errorText(l);
            AtResponse::parameters(line);
            if (l.urc == AtResponse::Urc::NewMessageStored
                || l.urc == AtResponse::Urc::StatusStored)
                AtResponse::parseStorageIndex(line);
            else if (l.urc == AtResponse::Urc::CallerId)
                AtResponse::parseCallerId(line);
            else if (line.startsWith("+CMGS:"))
                AtResponse::parseMessageReference(line);
            else if (line.startsWith("+CMGL:"))
                AtResponse::parseListed(line);
            else if (line.startsWith("+CMGR:"))
                AtResponse::parseRead(line);
        }
    }
    return 0;
}
