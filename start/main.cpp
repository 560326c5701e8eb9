#include "common/failurenotice.h"
#include "common/installlayout.h"
#include "componentinstaller.h"
#include "launcherpaths.h"
#include "splash.h"

#include <QApplication>
#include <QProcess>

namespace {

// A registration loads one library and writes one line; a tool still busy after this hangs.
constexpr int RegistrationTimeoutMs = 30000;

} // namespace

int main(int argc, char *argv[])
{
    FailureNotice::chooseDisplay();
    QApplication app(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);

    const ComponentInstaller::Starter startDetached = [](const QString &program,
                                                         const QStringList &arguments) {
        return QProcess::startDetached(program, arguments);
    };
    // Registration is waited for: its outcome decides whether a component needs repair.
    const ComponentInstaller::Runner runToEnd = [](const QString &program,
                                                   const QStringList &arguments) {
        QProcess process;
        process.setProcessChannelMode(QProcess::ForwardedChannels);
        process.start(program, arguments);
        return process.waitForFinished(RegistrationTimeoutMs)
                && process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
    };
    const QString launcherDir = LauncherPaths::withTrailingSlash(InstallLayout::programDir());
    ComponentInstaller installer(ProgramResources(), InstallLayout::systemDir(),
                                 LauncherPaths::findRegsvr32(launcherDir), runToEnd);
    Splash splash(std::move(installer), launcherDir, startDetached);
    QObject::connect(&splash, &Splash::finished, &app, [](int exitCode, const QString &error) {
        if (!error.isEmpty())
            FailureNotice::report(QStringLiteral("start"), error);
        QCoreApplication::exit(exitCode);
    });
    splash.show();
    return app.exec();
}
