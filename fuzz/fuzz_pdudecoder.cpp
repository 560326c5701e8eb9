// Any octets as a PDU, with and without the service-centre address, and as hexadecimal text.
// What decodes is encoded again and decoded once more, so the encoder meets the decoder's
// strangest results too.
#include "pdu/pdudecoder.h"
#include "pdu/pduencoder.h"

#include <QDateTime>

#include <cstddef>
#include <cstdint>

namespace {

void again(const SmsPdu &pdu)
{
    QString error;
    const auto deliver =
            PduEncoder::deliver(pdu.address, pdu.userData, QDateTime(), pdu.serviceCentre);
    PduDecoder::decode(deliver.octets, &error);
    const auto submit = PduEncoder::submit(pdu.address, pdu.userData);
    PduDecoder::decode(submit.octets, &error);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArrayView bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    QString error;
    if (const auto pdu = PduDecoder::decode(bytes, &error, true))
        again(*pdu);
    if (const auto pdu = PduDecoder::decode(bytes, &error, false))
        again(*pdu);
    PduDecoder::decodeHex(bytes, &error);
    return 0;
}
