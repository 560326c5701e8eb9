#include "common/clock.h"
#include "common/componentloader.h"
#include "common/installlayout.h"
#include "core/gateway.h"
#include "core/modemcontrol.h"
#include "core/ui/frmmain.h"
#include "core/ui/singleinstance.h"
#include "core/ui/widgetprompter.h"
#include "discovery/serialportlist.h"

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
    const bool created = gateway.modems().create(
            [&loader](QString *why) -> ModemControl * {
                QObject *object = loader.create(QString::fromLatin1(ModemControlProgId));
                if (!object) {
                    *why = loader.errorString();
                    return nullptr;
                }
                if (auto *control = qobject_cast<ModemControl *>(object))
                    return control;
                delete object;
                *why = QStringLiteral("组件 %1 不是短信猫控件")
                               .arg(QString::fromLatin1(ModemControlProgId));
                return nullptr;
            },
            &error);
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
    window.show();
    window.AddTrayIcon();
    return QApplication::exec();
}
