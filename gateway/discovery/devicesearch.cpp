#include "devicesearch.h"

#include "common/inifile.h"
#include "core/devicetable.h"
#include "core/logsink.h"
#include "core/settings.h"
#include "modemapi/modemcontrol.h"

#include <QTimer>

DeviceSearch::DeviceSearch(const Parts &parts, PortLister listSerialPorts, QObject *parent)
    : QObject(parent), m_parts(parts), m_listSerialPorts(std::move(listSerialPorts))
{ }

int DeviceSearch::portNumberOf(const QString &text)
{
    QString rest = text;
    rest.remove(QStringLiteral("com"), Qt::CaseSensitive);
    qsizetype digits = 0;
    while (digits < rest.size() && rest.at(digits).isDigit())
        ++digits;
    return rest.left(digits).toInt();
}

QString DeviceSearch::probe(int port)
{
    ModemControl *control = m_parts.probe;
    if (!control)
        return {};
    return control->AtuoTestGSMModem(short(port), short(port + 1)).trimmed();
}

void DeviceSearch::run(bool useRange, const QString &fromText, const QString &toText)
{
    Q_EMIT progress(0);
    m_running = true;
    m_ports.clear();
    m_done = 0;
    m_collected.clear();
    if (useRange) {
        const int first = portNumberOf(fromText);
        const int last = portNumberOf(toText);
        for (int p = first; p <= last; ++p)
            m_ports << p;
    } else {
        const QStringList pieces = m_listSerialPorts().toLower().split(QLatin1Char('-'));
        for (const QString &piece : pieces) {
            if (!piece.trimmed().isEmpty())
                m_ports << portNumberOf(piece);
        }
    }
    QTimer::singleShot(0, this, &DeviceSearch::next);
}

void DeviceSearch::next()
{
    if (m_done >= m_ports.size()) {
        apply(m_collected);
        m_running = false;
        Q_EMIT finished();
        return;
    }
    m_collected += probe(m_ports.at(m_done++));
    Q_EMIT progress(qRound(double(m_done) / double(m_ports.size()) * 100));
    QTimer::singleShot(0, this, &DeviceSearch::next);
}

void DeviceSearch::apply(const QString &collected)
{
    if (collected.trimmed().isEmpty()) {
        m_parts.log.WriteLog(QStringLiteral("未搜索到可用GSM/GPRS设备"));
        // Finding nothing (all modems busy or unplugged for a moment) must not wipe a working
        // configuration; the operator can still delete devices by hand.
        m_parts.log.WriteLog(QStringLiteral("设备列表和配置文件保持不变"));
        return;
    }
    const QStringList entries = collected.split(QLatin1Char(';'));
    const qsizetype found = entries.size() - 1;
    m_parts.log.WriteLog(QStringLiteral("搜索到") + QString::number(found)
                         + QStringLiteral("个可用GSM/GPRS设备"));
    m_parts.devices.clear();
    QStringList ports;
    QStringList rates;
    for (qsizetype i = 0; i < found; ++i) {
        const QStringList fields = entries.at(i).split(QLatin1Char(','));
        const QString port = fields.value(0);
        const QString rate = fields.value(1);
        ports << port;
        rates << rate;
        m_parts.devices.appendDevice(DeviceTable::fresh(port, rate));
    }
    WriteDeviceList(IniFile(m_parts.configPath), ports.join(QLatin1Char(',')),
                    rates.join(QLatin1Char(',')),
                    [this](const QString &line) { m_parts.log.WriteLog(line); });
}
