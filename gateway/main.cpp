#include "common/clock.h"
#include "common/componentloader.h"
#include "common/installlayout.h"
#include "core/ui/engineclient.h"
#include "core/ui/frmmain.h"
#include "core/ui/singleinstance.h"
#include "core/ui/widgetprompter.h"
#include "discovery/serialportlist.h"
#include "engine/enginebridge.h"
#include "engine/enginethread.h"
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

    EngineThread engine(InstallLayout::programDir(), SystemClock::instance());
    ComponentLoader loader = ComponentLoader::forSystemRegistry();
    QString error;
    bool created = false;
    engine.runAndWait([&] { created = engine.gateway().pool().createRegistered(loader, &error); });
    if (!created) {
        QMessageBox::critical(nullptr, Gateway::title(), error, QMessageBox::Ok);
        return 1;
    }

    EngineClient client(engine.gateway(), engine.bridge());
    FrmMain window(client);
    WidgetPrompter prompter;
    prompter.setParentWindow(&window);
    QObject::connect(&client, &EngineClient::messageRequested, &window,
                     [&prompter](const QString &text) { prompter.message(text); });
    window.setPortLister(&ListSerialPorts);
    QObject::connect(&instance, &SingleInstance::raiseRequested, &window,
                     &FrmMain::restoreAndRaise);
    window.Form_Load();
    if (!instance.listenError().isEmpty())
        client.WriteLog(QStringLiteral("单实例通道监听失败（%1），再次启动本程序时无法唤出本窗口")
                                .arg(instance.listenError()));
    // The page reads the engine, so it lives on the engine's thread and goes with the gateway.
    engine.runAndWait([&engine] {
        new StatusServer(engine.gateway(), engine.gateway().events(), &engine.gateway());
    });
    window.show();
    window.AddTrayIcon();
    return QApplication::exec();
}
