// Any octets as the stream a client sends the SMPP server: cut into PDUs as the server cuts
// it, each body read as every PDU the server decodes, its text in every coding and its times.
// What decodes as a deliver_sm is written again and read once more.
#include "smppbodies.h"
#include "smpppdu.h"
#include "smpptext.h"

#include <QDateTime>

#include <cstddef>
#include <cstdint>

namespace {

void submitFields(const Smpp::SubmitSm &s)
{
    const QDateTime now = QDateTime::fromSecsSinceEpoch(1765000000);
    SmppText::parseTime(s.scheduleDeliveryTime, now);
    SmppText::parseTime(s.validityPeriod, now);
    std::optional<SmppText::Part> part;
    QByteArray data;
    if (SmppText::split(s, &part, &data))
        SmppText::decode(s.dataCoding, data);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    QByteArray buffer(reinterpret_cast<const char *>(data), qsizetype(size));
    Smpp::Pdu pdu;
    while (Smpp::takeFrame(buffer, &pdu, 4096) == Smpp::Frame::Complete) {
        Smpp::decodeBind(pdu.body);
        for (bool multi : {false, true}) {
            auto submit = Smpp::decodeSubmit(pdu.body, multi);
            if (auto *s = std::get_if<Smpp::SubmitSm>(&submit))
                submitFields(*s);
        }
        auto deliver = Smpp::decodeDeliver(pdu.body);
        if (auto *d = std::get_if<Smpp::DeliverSm>(&deliver))
            Smpp::decodeDeliver(Smpp::encodeDeliver(*d));
        for (quint8 coding : {0, 1, 3, 8})
            SmppText::decode(coding, pdu.body);
    }
    return 0;
}
