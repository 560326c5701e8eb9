#include "common/clock.h"
#include "common/componentloader.h"
#include "common/installlayout.h"
#include "core/ui/frmmain.h"
#include "core/ui/singleinstance.h"
#include "core/ui/widgetprompter.h"
#include "discovery/serialportlist.h"
#include "engine/gateway.h"
#include "status/statusserver.h"

#include <QApplication>
#include <QMessageBox>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Velmora"));
    QApplication::setQuitOnLastWindowClosed(false);

    SingleInstance instance(InstallLayout::programDir());
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
    const bool created = gateway.pool().createRegistered(loader, &error);
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
    if (!instance.listenError().isEmpty())
        gateway.WriteLog(QStringLiteral("单实例通道监听失败（%1），再次启动本程序时无法唤出本窗口")
                                 .arg(instance.listenError()));
    StatusServer status(gateway);
    window.show();
    window.AddTrayIcon();
    return QApplication::exec();
}
