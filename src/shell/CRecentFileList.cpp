#include "shell/CRecentFileList.h"

#include <QDir>
#include <QFileInfo>
#include <QSettings>

#include "shell/AppSettings.h"

namespace {

constexpr const char* kSection = "Recent File List";

QString Normalised(const QString& path) {
    return QDir::cleanPath(QFileInfo(path).absoluteFilePath());
}

}  // namespace

void CRecentFileList::Add(const QString& path) {
    if (path.isEmpty()) return;
    const QString full = Normalised(path);
    for (int i = 0; i < m_files.size(); ++i) {
        if (Normalised(m_files[i]) == full) {
            m_files.removeAt(i);
            break;
        }
    }
    m_files.prepend(full);
    while (m_files.size() > kMaxEntries) m_files.removeLast();
}

void CRecentFileList::Remove(int index) {
    if (index >= 0 && index < m_files.size()) m_files.removeAt(index);
}

QString CRecentFileList::AbbreviateName(const QString& path, int maxLength) {
    const QString native = QDir::toNativeSeparators(path);
    if (native.size() <= maxLength) return native;
    const QString name = QFileInfo(path).fileName();
    // Keep the start of the path and the file name, with "..." in between, when that fits.
    const QString root =
        native.section(QDir::separator(), 0, 1, QString::SectionIncludeTrailingSep);
    const QString shortened = root + QStringLiteral("...") + QDir::separator() + name;
    if (!root.isEmpty() && shortened.size() <= maxLength && root.size() < native.size())
        return shortened;
    if (name.size() <= maxLength) return name;
    return name.left(maxLength - 3) + QStringLiteral("...");
}

QString CRecentFileList::GetMenuText(int index) const {
    if (index < 0 || index >= m_files.size()) return QString();
    QString name = AbbreviateName(m_files[index], kMaxDisplayLength);
    name.replace(QLatin1Char('&'), QStringLiteral("&&"));
    return QStringLiteral("&%1 %2").arg(index + 1).arg(name);
}

void CRecentFileList::ReadList() {
    QSettings settings = mvapp::OpenSettings();
    settings.beginGroup(QLatin1String(kSection));
    m_files.clear();
    for (int i = 1; i <= kMaxEntries; ++i) {
        const QString path = settings.value(QStringLiteral("File%1").arg(i)).toString();
        if (!path.isEmpty()) m_files.append(path);
    }
}

void CRecentFileList::WriteList() const {
    QSettings settings = mvapp::OpenSettings();
    settings.beginGroup(QLatin1String(kSection));
    for (int i = 1; i <= kMaxEntries; ++i) {
        const QString key = QStringLiteral("File%1").arg(i);
        if (i <= m_files.size())
            settings.setValue(key, m_files[i - 1]);
        else
            settings.remove(key);
    }
}
