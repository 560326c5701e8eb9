// The load of pending rows into memory: one tick over N rows with one device.
//   bench_messaging_load [sqlite|postgresql|mysql] [rows]
#include "gatewayharness.h"
#include "testdatabase.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTextStream>

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    const QString engine = args.value(1, QStringLiteral("sqlite"));
    const int rows = args.value(2, QStringLiteral("100000")).toInt();
    QTextStream out(stdout);
    TestDatabase tdb(engine);
    QString error;
    if (!tdb.create(QStringLiteral("bench_load"), &error) || !tdb.insertPending(rows)) {
        out << "prepare: " << error << Qt::endl;
        return 1;
    }
    GatewayHarness h(tdb.connectionString(), QStringLiteral("1"));
    h.start();
    QElapsedTimer t;
    t.start();
    h.poll();
    const double seconds = double(t.nsecsElapsed()) / 1e9;
    out << "load " << engine << ": " << rows << " pending rows into memory in "
        << QString::number(seconds, 'f', 3) << " s (queue " << h.gw->flow().queueLength() << ")"
        << Qt::endl;
    return h.gw->flow().queueLength() == rows - 1 ? 0 : 2;
}
