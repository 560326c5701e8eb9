#include "componentloader.h"

#include "componentabi.h"
#include "registryfile.h"

#include <QHash>
#include <QLibrary>

namespace {

// Libraries stay loaded for the life of the process: their objects may live until exit.
QLibrary *libraryFor(const QString &file, QString *error)
{
    static QHash<QString, QLibrary *> loaded;
    if (QLibrary *lib = loaded.value(file))
        return lib;
    auto *lib = new QLibrary(file);
    lib->setLoadHints(QLibrary::ResolveAllSymbolsHint);
    if (!lib->load()) {
        *error = lib->errorString();
        delete lib;
        return nullptr;
    }
    loaded.insert(file, lib);
    return lib;
}

} // namespace

ComponentLoader::ComponentLoader(QString registryPath) : m_registryPath(std::move(registryPath)) { }

ComponentLoader ComponentLoader::forSystemRegistry()
{
    return ComponentLoader(RegistryFile::systemRegistry().path());
}

QObject *ComponentLoader::create(const QString &progId)
{
    const RegistryFile registry(m_registryPath);
    const auto file =
            registry.value(RegistryFile::classKey(progId), RegistryFile::componentFileValue());
    if (!file || file->isEmpty()) {
        m_error = QStringLiteral("组件 %1 未注册。请运行 start，或用 \"regsvr32 <组件文件> -s\" "
                                 "注册它（注册表文件：%2）")
                          .arg(progId, m_registryPath);
        return nullptr;
    }
    QString loadError;
    QLibrary *lib = libraryFor(*file, &loadError);
    if (!lib) {
        m_error = QStringLiteral("组件 %1 的文件 %2 无法加载：%3").arg(progId, *file, loadError);
        return nullptr;
    }
    auto create = reinterpret_cast<VelmoraCreateFn>(lib->resolve(VelmoraCreateSymbol));
    if (!create) {
        m_error = QStringLiteral("文件 %1 不是组件").arg(*file);
        return nullptr;
    }
    m_error.clear();
    return create();
}

QString ComponentLoader::progIdOf(const QString &file, QString *error)
{
    QLibrary *lib = libraryFor(file, error);
    if (!lib)
        return {};
    auto progId = reinterpret_cast<VelmoraProgIdFn>(lib->resolve(VelmoraProgIdSymbol));
    if (!progId) {
        *error = QStringLiteral("%1 exports no component entry point").arg(file);
        return {};
    }
    return QString::fromUtf8(progId());
}
