#include "common/failurenotice.h"
#include "common/installlayout.h"
#include "componentinstaller.h"
#include "launcherpaths.h"
#include "splash.h"

#include <QApplication>
#include <QProcess>

int main(int argc, char *argv[])
{
    FailureNotice::chooseDisplay();
    QApplication app(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);

    const ComponentInstaller::Starter startDetached = [](const QString &program,
                                                         const QStringList &arguments) {
        return QProcess::startDetached(program, arguments);
    };
    const QString launcherDir = LauncherPaths::withTrailingSlash(InstallLayout::programDir());
    ComponentInstaller installer(ProgramResources(), InstallLayout::systemDir(),
                                 LauncherPaths::findRegsvr32(launcherDir), startDetached);
    Splash splash(std::move(installer), launcherDir, startDetached);
    QObject::connect(&splash, &Splash::finished, &app, [](int exitCode, const QString &error) {
        if (!error.isEmpty())
            FailureNotice::report(QStringLiteral("start"), error);
        QCoreApplication::exit(exitCode);
    });
    splash.show();
    return app.exec();
}
