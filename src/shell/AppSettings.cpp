#include "shell/AppSettings.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace mvapp {

QSettings OpenSettings() {
    return QSettings(QSettings::NativeFormat, QSettings::UserScope, QLatin1String(kOrganization),
                     QLatin1String(kApplication));
}

int GetProfileInt(const QString& section, const QString& entry, int defaultValue) {
    QSettings settings = OpenSettings();
    bool ok = false;
    const int value = settings.value(section + QLatin1Char('/') + entry).toInt(&ok);
    return ok ? value : defaultValue;
}

void WriteProfileInt(const QString& section, const QString& entry, int value) {
    QSettings settings = OpenSettings();
    settings.setValue(section + QLatin1Char('/') + entry, value);
}

bool RemoveSettings() {
    QString fileName;
    {
        QSettings settings = OpenSettings();
        fileName = settings.fileName();
        settings.clear();
        settings.sync();
        if (settings.status() != QSettings::NoError) return false;
    }
    if (QFileInfo::exists(fileName) && !QFile::remove(fileName)) return false;
    // The maker's folder goes too when nothing else of it is left.
    QDir folder = QFileInfo(fileName).dir();
    if (folder.dirName() == QLatin1String(kOrganization) && folder.isEmpty())
        folder.rmdir(folder.absolutePath());
    return true;
}

}  // namespace mvapp
