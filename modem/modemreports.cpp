// Delivery reports (SMS-STATUS-REPORT, TS 23.040 §9.2.2.3): routed as +CDS with the PDU, or
// stored and announced by +CDSI, then read and deleted.
#include "modem.h"

#include "pdu/pdudecoder.h"

#include <QLoggingCategory>

Q_DECLARE_LOGGING_CATEGORY(lcModem)

Modem::StatusReport Modem::takeStatusReport()
{
    return m_reports.isEmpty() ? StatusReport() : m_reports.takeFirst();
}

void Modem::readStatusReport(const QByteArray &memory, int index)
{
    if (!m_channel)
        return;
    if (!memory.isEmpty() && memory != m_readMemory) {
        AtCommand select;
        select.text = "AT+CPMS=\"" + memory + "\"";
        select.prefixes = {"+CPMS:"};
        select.timeoutMs = m_settings.commandMs;
        m_channel->send(select);
        m_readMemory = memory;
    }
    AtCommand read;
    read.text = "AT+CMGR=" + QByteArray::number(index);
    read.prefixes = {"+CMGR:"};
    read.pduAfterLine = true;
    read.timeoutMs = m_settings.commandMs * 3;
    m_channel->send(read, [this, index](const AtResult &r) {
        if (r.ok() && r.lines.size() >= 2)
            storeStatusReport(r.lines[0], r.lines[1], index);
    });
}

void Modem::storeStatusReport(const QByteArray &header, const QByteArray &pduHex, int storageIndex)
{
    // The header's last field is the TPDU length; a PDU of exactly that many octets has no
    // service-centre address in front (some modems leave it out of +CDS).
    const QByteArrayList fields = AtResponse::parameters(header);
    bool lengthOk = false;
    const int tpduLength = fields.isEmpty() ? -1 : fields.last().trimmed().toInt(&lengthOk);
    const bool withServiceCentre = !lengthOk || pduHex.trimmed().size() / 2 != tpduLength;
    QString error;
    const auto pdu = PduDecoder::decodeHex(pduHex, &error, withServiceCentre);
    if (storageIndex >= 0)
        deleteStored({storageIndex});
    if (!pdu || pdu->type != SmsPdu::Type::StatusReport) {
        qCWarning(lcModem) << "unreadable delivery report:" << (pdu ? QString() : error);
        return;
    }
    StatusReport report;
    report.reference = pdu->messageReference;
    report.recipient = pdu->address;
    report.status = pdu->status;
    report.dischargeTime = pdu->dischargeTime;
    m_reports.append(report);
    Q_EMIT statusReportAvailable();
}
