#include "common/clock.h"
#include "common/componentloader.h"
#include "common/installlayout.h"
#include "common/privatefiles.h"
#include "discovery/serialportlist.h"
#include "engine/enginebridge.h"
#include "engine/enginethread.h"
#include "engine/gateway.h"
#include "messaging/messageflow.h"
#include "smpp/smppserver.h"
#include "web/statusserver.h"
#include "window/engineclient.h"
#include "window/frmmain.h"
#include "window/singleinstance.h"
#include "window/widgetprompter.h"

#include <QApplication>
#include <QLockFile>
#include <QMessageBox>

namespace {

// The service velmora-gatewayd takes the same lock: one gateway per program folder.
bool lockProgramFolder(QLockFile &lock)
{
    if (lock.tryLock(0))
        return true;
    qint64 pid = 0;
    QString host;
    QString name;
    lock.getLockInfo(&pid, &host, &name);
    QMessageBox::critical(nullptr, Gateway::title(),
                          QStringLiteral("系统服务velmora-gatewayd（进程%1）正在使用本程序文件夹"
                                         "%2，请先停止服务！")
                                  .arg(pid)
                                  .arg(InstallLayout::programDir()),
                          QMessageBox::Ok);
    return false;
}

} // namespace

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
    QLockFile folderLock(InstallLayout::folderLockFile(InstallLayout::programDir()));
    if (!lockProgramFolder(folderLock))
        return 1;

    keepMessageFilesPrivate(InstallLayout::programDir(), MessageFlow::messageFiles());
    EngineThread engine(InstallLayout::programDir(), SystemClock::instance());
    ComponentLoader loader = ComponentLoader::forSystemRegistry();
    QString error;
    bool created = false;
    engine.runAndWait([&] { created = engine.gateway().createModemControls(loader, &error); });
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
        new SmppServer(engine.gateway(), engine.gateway().events(), SystemClock::instance(),
                       &engine.gateway());
    });
    window.show();
    window.AddTrayIcon();
    return QApplication::exec();
}
