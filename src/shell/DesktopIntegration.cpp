#include "shell/DesktopIntegration.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QSaveFile>
#include <QStandardPaths>
#include <QStringList>

namespace mvdesktop {

namespace {

QString UserDataFolder() {
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
}

QString UserFile(const QString& relative) { return UserDataFolder() + QLatin1Char('/') + relative; }

QString DesktopRelative() {
    return QStringLiteral("applications/") + QLatin1String(kDesktopFileName);
}
QString MimeRelative() {
    return QStringLiteral("mime/packages/") + QLatin1String(kMimePackageName);
}

const QStringList& IconRelatives() {
    static const QStringList icons = {
        QStringLiteral("icons/hicolor/scalable/apps/marvane.svg"),
        QStringLiteral("icons/hicolor/scalable/mimetypes/application-x-marvane-cuelist.svg"),
    };
    return icons;
}

bool WriteText(const QString& path, const QByteArray& bytes) {
    QDir().mkpath(QFileInfo(path).absolutePath());
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) return false;
    file.write(bytes);
    return file.commit();
}

// Lets the desktop's databases know, when their tools are there; never waits for them.
void RefreshDatabases() {
    const QString mime = QStandardPaths::findExecutable(QStringLiteral("update-mime-database"));
    if (!mime.isEmpty())
        QProcess::startDetached(mime, {UserDataFolder() + QStringLiteral("/mime")});
    const QString desktop =
        QStandardPaths::findExecutable(QStringLiteral("update-desktop-database"));
    if (!desktop.isEmpty())
        QProcess::startDetached(desktop, {UserDataFolder() + QStringLiteral("/applications")});
}

}  // namespace

QString DesktopEntryText(const QString& programPath) {
    QString exec = programPath;
    if (exec.contains(QLatin1Char(' ')) || exec.contains(QLatin1Char('"')))
        exec = QLatin1Char('"') + QString(exec).replace(QLatin1Char('"'), QStringLiteral("\\\"")) +
               QLatin1Char('"');
    return QStringLiteral(
               "[Desktop Entry]\n"
               "Type=Application\n"
               "Name=Marvane\n"
               "GenericName=Theatre Sound Cue Player\n"
               "Comment=Play the sound cues of a live show\n"
               "Exec=%1 %f\n"
               "Icon=marvane\n"
               "Terminal=false\n"
               "Categories=AudioVideo;Audio;Player;\n"
               "Keywords=theatre;theater;sound;cue;show;effects;\n"
               "MimeType=%2;\n")
        .arg(exec, QLatin1String(kMimeType));
}

QString MimePackageText() {
    return QStringLiteral(
               "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
               "<mime-info xmlns=\"http://www.freedesktop.org/standards/shared-mime-info\">\n"
               "  <mime-type type=\"%1\">\n"
               "    <comment>Marvane Cue List</comment>\n"
               "    <icon name=\"application-x-marvane-cuelist\"/>\n"
               "    <glob pattern=\"*.mvl\" case-sensitive=\"false\"/>\n"
               "  </mime-type>\n"
               "</mime-info>\n")
        .arg(QLatin1String(kMimeType));
}

bool RegisterFileType(const QString& programPath) {
    if (!QStandardPaths::locate(QStandardPaths::GenericDataLocation, DesktopRelative()).isEmpty())
        return true;
    bool ok = WriteText(UserFile(MimeRelative()), MimePackageText().toUtf8());
    const QStringList sources = {QStringLiteral(":/icons/marvane.svg"),
                                 QStringLiteral(":/icons/cuelist.svg")};
    for (int i = 0; i < sources.size(); ++i) {
        QFile icon(sources[i]);
        if (icon.open(QIODevice::ReadOnly))
            ok = WriteText(UserFile(IconRelatives()[i]), icon.readAll()) && ok;
    }
    ok = WriteText(UserFile(DesktopRelative()), DesktopEntryText(programPath).toUtf8()) && ok;
    RefreshDatabases();
    return ok;
}

bool UnregisterFileType() {
    bool ok = true;
    QStringList files = {DesktopRelative(), MimeRelative()};
    files += IconRelatives();
    for (const QString& relative : files) {
        const QString path = UserFile(relative);
        if (QFileInfo::exists(path) && !QFile::remove(path)) ok = false;
    }
    RefreshDatabases();
    return ok;
}

}  // namespace mvdesktop
