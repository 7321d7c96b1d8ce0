#include <i_plugin.h>
#include <utilities.h>

#include <QCoreApplication>
#include <QPluginLoader>

#include <cstdio>

// Loads the installed plug-in; exits 0 when its version is the package's.
int main(int argc, char* argv[]) {
    QCoreApplication application(argc, argv);
    QPluginLoader loader(QStringLiteral(PLUGIN_FILE));
    auto* plugin = qobject_cast<IPlugin*>(loader.instance());
    if (!plugin) {
        std::fprintf(stderr, "%s\n", qPrintable(loader.errorString()));
        return 1;
    }
    std::printf("%s %s\n", plugin->pluginName(), PACKAGE_VERSION);
    return plugin->pluginVersion() == versionFromString(PACKAGE_VERSION) ? 0 : 1;
}
