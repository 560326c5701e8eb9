#include "common/failurenotice.h"
#include "common/installlayout.h"
#include "getupdate.h"

#include <QApplication>
#include <QProcess>

int main(int argc, char *argv[])
{
    FailureNotice::chooseDisplay();
    QApplication app(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);

    // The updater runs from <installation folder>/update.
    const QString installFolder = InstallLayout::parentWithSlash(InstallLayout::programDir());
    GetUpdate window(PayloadWriter(ProgramResources(), installFolder), installFolder,
                     [](const QString &program) { return QProcess::startDetached(program, {}); });
    QObject::connect(&window, &GetUpdate::finished, &app, [](int exitCode, const QString &error) {
        if (!error.isEmpty())
            FailureNotice::report(QStringLiteral("Velmora_Update"), error);
        QCoreApplication::exit(exitCode);
    });
    window.show();
    return app.exec();
}
