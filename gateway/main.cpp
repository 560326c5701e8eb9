#include "common/clock.h"
#include "common/componentloader.h"
#include "common/installlayout.h"
#include "core/gateway.h"
#include "core/ui/frmmain.h"
#include "core/ui/singleinstance.h"
#include "core/ui/widgetprompter.h"
#include "discovery/serialportlist.h"
#include "status/statusserver.h"

#include <QApplication>
#include <QMessageBox>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Velmora"));
    QApplication::setApplicationDisplayName(Gateway::title());
    QApplication::setQuitOnLastWindowClosed(false);

    SingleInstance instance;
    if (!instance.acquire()) {
        QMessageBox::information(nullptr, Gateway::title(), QStringLiteral("应用程序已经打开！"),
                                 QMessageBox::Ok);
        instance.askRunningToRaise();
        return 0;
    }

    WidgetPrompter prompter;
    Gateway gateway(InstallLayout::programDir(), SystemClock::instance(), prompter);

    ComponentLoader loader = ComponentLoader::forSystemRegistry();
    QString error;
    const bool created = gateway.modems().createRegistered(loader, &error);
    if (!created) {
        QMessageBox::critical(nullptr, Gateway::title(), error, QMessageBox::Ok);
        return 1;
    }

    FrmMain window(gateway);
    prompter.setParentWindow(&window);
    window.setPortLister(&ListSerialPorts);
    QObject::connect(&instance, &SingleInstance::raiseRequested, &window,
                     &FrmMain::restoreAndRaise);
    window.Form_Load();
    StatusServer status(gateway);
    window.show();
    window.AddTrayIcon();
    return QApplication::exec();
}
