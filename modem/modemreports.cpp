#include "modemreports.h"

#include "modeminbox.h"
#include "pdu/pdudecoder.h"

#include <QLoggingCategory>

Q_DECLARE_LOGGING_CATEGORY(lcModem)

ModemReports::ModemReports(const ModemSettings &settings, ModemInbox &inbox, QObject *parent)
    : QObject(parent), m_settings(settings), m_inbox(inbox)
{ }

ModemStatusReport ModemReports::takeReport()
{
    return m_reports.isEmpty() ? ModemStatusReport() : m_reports.takeFirst();
}

void ModemReports::onStored(const QByteArray &memory, int index)
{
    if (!m_channel)
        return;
    m_inbox.selectMemory(memory);
    AtCommand read;
    read.text = "AT+CMGR=" + QByteArray::number(index);
    read.prefixes = {"+CMGR:"};
    read.pduAfterLine = true;
    read.timeoutMs = m_settings.commandMs * 3;
    m_channel->send(read, [this, index](const AtResult &r) {
        if (r.ok() && r.lines.size() >= 2)
            onRouted(r.lines[0], r.lines[1], index);
    });
}

void ModemReports::onRouted(const QByteArray &header, const QByteArray &pduHex, int storageIndex)
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
        m_inbox.deleteStored({storageIndex});
    if (!pdu || pdu->type != SmsPdu::Type::StatusReport) {
        qCWarning(lcModem) << "unreadable delivery report:" << (pdu ? QString() : error);
        return;
    }
    ModemStatusReport report;
    report.reference = pdu->messageReference;
    report.recipient = pdu->address;
    report.status = pdu->status;
    report.dischargeTime = pdu->dischargeTime;
    m_reports.append(report);
    Q_EMIT statusReportAvailable();
}
