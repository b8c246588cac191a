#include "shell/HelpPages.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

namespace mvhelp {

namespace {
QString g_testIndex;
}  // namespace

void UseHelpIndex(const QString& indexPath) { g_testIndex = indexPath; }

QString FindHelpIndex() {
    const QString programDir = QCoreApplication::applicationDirPath();
    const QStringList candidates =
        !g_testIndex.isEmpty()
            ? QStringList{g_testIndex}
            : QStringList{
                  programDir + QStringLiteral("/help/index.html"),
                  programDir + QStringLiteral("/../share/marvane/help/index.html"),
              };
    for (const QString& path : candidates) {
        if (QFileInfo(path).isFile()) return QDir::cleanPath(QFileInfo(path).absoluteFilePath());
    }
    return QString();
}

}  // namespace mvhelp
