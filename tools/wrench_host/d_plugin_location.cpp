#include "d_plugin_location.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

QString DPluginLocation::defaultPluginPath() {
    const QString programDir = QCoreApplication::applicationDirPath();
    const QString buildDir =
        QFileInfo(QStringLiteral(WRENCH_BUILD_PROGRAM_DIR)).canonicalFilePath();
    if (!buildDir.isEmpty() && QFileInfo(programDir).canonicalFilePath() == buildDir) {
        return QStringLiteral(WRENCH_BUILD_PLUGIN);
    }
    return QDir::cleanPath(programDir + QLatin1Char('/') + QStringLiteral(WRENCH_INSTALLED_PLUGIN));
}
