#include "shell/HelpPages.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

namespace mvhelp {

QString FindHelpIndex() {
    const QString programDir = QCoreApplication::applicationDirPath();
    const QStringList candidates = {
        programDir + QStringLiteral("/help/index.html"),
        programDir + QStringLiteral("/../share/marvane/help/index.html"),
    };
    for (const QString& path : candidates) {
        if (QFileInfo(path).isFile()) return QDir::cleanPath(QFileInfo(path).absoluteFilePath());
    }
    return QString();
}

}  // namespace mvhelp
