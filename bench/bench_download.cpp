// Throughput of the Downloader over loopback: a file of 64 MiB from a local HTTP server into a
// file, three times, with the CPU time the event-loop thread spends on progress and completion.
#include "download/downloader.h"

#include "updates/downloadtestserver.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#include <cstdio>
#include <ctime>

namespace {

double threadCpuMs()
{
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return ts.tv_sec * 1000.0 + ts.tv_nsec / 1e6;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    if (qEnvironmentVariableIsEmpty("VELMORA_SOURCE_DIR"))
        qputenv("VELMORA_SOURCE_DIR", VELMORA_SOURCE);
    if (qEnvironmentVariableIsEmpty("VELMORA_TEST_PYTHON"))
        qputenv("VELMORA_TEST_PYTHON", VELMORA_PYTHON);

    constexpr qint64 Size = 64 * 1024 * 1024;
    QTemporaryDir served;
    QTemporaryDir target;
    {
        QFile f(served.filePath("payload.bin"));
        if (!f.open(QIODevice::WriteOnly))
            return 1;
        const QByteArray block(1024 * 1024, '\x5a');
        for (qint64 written = 0; written < Size; written += block.size())
            f.write(block);
    }
    DownloadTestServer server;
    if (!server.start(DownloadTestServer::Http, served.path())) {
        std::fprintf(stderr, "server: %s\n", qPrintable(server.error()));
        return 1;
    }

    for (int run = 1; run <= 3; ++run) {
        Downloader downloader;
        downloader.setURL(server.url("payload.bin"));
        downloader.setTargetFile(target.filePath("payload.bin"));
        int records = 0;
        bool done = false;
        QObject::connect(&downloader, &Downloader::AsyncReadProgress, &app,
                         [&](const AsyncProp &) { ++records; });
        QObject::connect(&downloader, &Downloader::DownloadComplete, &app, [&] { done = true; });
        QObject::connect(&downloader, &Downloader::DownloadError, &app, [&](const QString &e) {
            std::fprintf(stderr, "error: %s\n", qPrintable(e));
            done = true;
        });
        QElapsedTimer wall;
        wall.start();
        const double cpu0 = threadCpuMs();
        downloader.DownloadFile();
        while (!done)
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        const double seconds = wall.nsecsElapsed() / 1e9;
        std::printf("run %d: %.1f MB/s, %d progress records, event-loop CPU %.1f ms, file %lld "
                    "bytes\n",
                    run, Size / 1e6 / seconds, records, threadCpuMs() - cpu0,
                    QFile(target.filePath("payload.bin")).size());
    }
    return 0;
}
