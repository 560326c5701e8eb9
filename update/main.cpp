#include "common/installlayout.h"
#include "getupdate.h"

#include <QApplication>
#include <QProcess>

#include <cstdio>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);

    // The updater runs from <installation folder>/update.
    const QString installFolder = InstallLayout::parentWithSlash(InstallLayout::programDir());
    GetUpdate window(PayloadWriter(ProgramResources(), installFolder), installFolder,
                     [](const QString &program) { return QProcess::startDetached(program, {}); });
    QObject::connect(&window, &GetUpdate::finished, &app, [](int exitCode, const QString &error) {
        if (!error.isEmpty())
            std::fprintf(stderr, "Velmora_Update: %s\n", qPrintable(error));
        QCoreApplication::exit(exitCode);
    });
    window.show();
    return app.exec();
}
