// What the gateway reads back from its own folder, as a damaged disk, an editor or another
// program may have left it: Config.ini, a connection string, the token file, the idempotency
// file, a spool entry and the receive journal. The first byte picks the reader, the rest is the
// file. Each must read what it can and never crash.
#include "api/idempotencystore.h"
#include "api/tokenstore.h"
#include "common/inifile.h"
#include "messaging/receivejournal.h"
#include "messaging/spool.h"
#include "storage/connectionstring.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <cstddef>
#include <cstdint>

namespace {

const QTemporaryDir &folder()
{
    static const QTemporaryDir dir;
    return dir;
}

QString put(const QString &name, const QByteArray &content)
{
    const QString path = folder().filePath(name);
    QFile file(path);
    if (file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        file.write(content);
        // The token file is read only when no one else may read it.
        file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    }
    return path;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 1)
        return 0;
    const QByteArray input(reinterpret_cast<const char *>(data + 1), qsizetype(size - 1));
    switch (data[0] % 6) {
    case 0: {
        const IniFile ini(put(QStringLiteral("Config.ini"), input));
        ini.holdsText();
        for (const char *key : {"HttpPort", "HttpAddress", "ConnectionString", "DeviceCount"})
            ini.read(QStringLiteral("Service"), QLatin1String(key), QString());
        ini.read(QStringLiteral("Device1"), QStringLiteral("Port"), QString());
        break;
    }
    case 1: {
        ConnectionString cs;
        QString error;
        if (ConnectionString::parse(QString::fromUtf8(input), &cs, &error))
            cs.connectOptions(10);
        break;
    }
    case 2: {
        TokenStore tokens(put(QStringLiteral("tokens"), input));
        tokens.entries();
        tokens.authenticate(QByteArrayLiteral("vm_0123456789abcdef"));
        break;
    }
    case 3: {
        IdempotencyStore store(put(QStringLiteral("idempotency"), input));
        store.find(QStringLiteral("app"), QStringLiteral("key-1"),
                   QDateTime::fromSecsSinceEpoch(1700000000));
        break;
    }
    case 4: {
        const QString spoolFolder = folder().filePath(QStringLiteral("spool"));
        QDir(spoolFolder).removeRecursively();
        QDir().mkpath(spoolFolder);
        put(QStringLiteral("spool/1.json"), input);
        Spool spool(spoolFolder);
        spool.load();
        break;
    }
    default: {
        ReceiveJournal journal(put(QStringLiteral("received.journal"), input));
        journal.load();
        journal.contains(QStringLiteral("13800138000|1"));
        break;
    }
    }
    return 0;
}
