#include "shell/CRecoveryStore.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QStandardPaths>
#include <algorithm>

namespace {

RecoveryCopy CopyNamed(const QString& folder, const QString& id) {
    RecoveryCopy copy;
    copy.id = id;
    const QString base = QDir(folder).filePath(id);
    copy.listPath = base + QLatin1String(CRecoveryStore::kListSuffix);
    copy.sidecarPath = base + QLatin1String(CRecoveryStore::kSidecarSuffix);
    copy.lockPath = base + QLatin1String(CRecoveryStore::kLockSuffix);
    return copy;
}

// Whether a running process holds the lock of a copy. A lock file that cannot be opened or is
// missing has no writer.
bool IsHeld(const QString& lockPath) {
    const int fd = ::open(QFile::encodeName(lockPath).constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    const bool held = ::flock(fd, LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK;
    ::close(fd);
    return held;
}

// Sidecars are small; anything larger is not one.
constexpr qint64 kMaxSidecarBytes = 64 * 1024;

}  // namespace

QString CRecoveryStore::DefaultFolder() {
    return QDir(QStandardPaths::writableLocation(QStandardPaths::AppDataLocation))
        .filePath(QStringLiteral("recovery"));
}

RecoveryCopy CRecoveryStore::NewCopy() const {
    return CopyNamed(m_folder, QStringLiteral("marvane-%1-%2")
                                   .arg(QCoreApplication::applicationPid())
                                   .arg(QDateTime::currentMSecsSinceEpoch()));
}

QList<RecoveryCopy> CRecoveryStore::FindOrphans() const {
    QList<RecoveryCopy> found;
    const QDir dir(m_folder);
    const QStringList lists = dir.entryList({QStringLiteral("*") + QLatin1String(kListSuffix)},
                                            QDir::Files | QDir::NoDotAndDotDot);
    for (const QString& name : lists) {
        RecoveryCopy copy = CopyNamed(m_folder, name.chopped(int(qstrlen(kListSuffix))));
        if (IsHeld(copy.lockPath)) continue;  // its program is running
        copy.time = QFileInfo(copy.listPath).lastModified();
        QFile sidecar(copy.sidecarPath);
        if (sidecar.open(QIODevice::ReadOnly) && sidecar.size() <= kMaxSidecarBytes) {
            const QJsonObject json =
                QJsonDocument::fromJson(sidecar.read(kMaxSidecarBytes)).object();
            copy.originalPath = json.value(QStringLiteral("original")).toString();
            copy.title = json.value(QStringLiteral("title")).toString();
            copy.pid = static_cast<qint64>(json.value(QStringLiteral("pid")).toDouble());
            const QDateTime written = QDateTime::fromString(
                json.value(QStringLiteral("time")).toString(), Qt::ISODateWithMs);
            if (written.isValid()) copy.time = written;
        }
        if (copy.title.isEmpty()) {
            copy.title = copy.originalPath.isEmpty() ? QStringLiteral("Untitled")
                                                     : QFileInfo(copy.originalPath).fileName();
        }
        found.append(copy);
    }
    std::sort(found.begin(), found.end(),
              [](const RecoveryCopy& a, const RecoveryCopy& b) { return a.time < b.time; });
    return found;
}

void CRecoveryStore::Remove(const RecoveryCopy& copy) {
    QFile::remove(copy.listPath);
    QFile::remove(copy.sidecarPath);
    QFile::remove(copy.lockPath);
}

QString CRecoveryStore::SetAside(const RecoveryCopy& copy) {
    const QString kept = copy.listPath + QLatin1String(kDamagedSuffix);
    QFile::remove(kept);
    if (!QFile::rename(copy.listPath, kept)) return copy.listPath;
    if (QFile::exists(copy.sidecarPath))
        QFile::rename(copy.sidecarPath, copy.sidecarPath + QLatin1String(kDamagedSuffix));
    QFile::remove(copy.lockPath);
    return kept;
}

QByteArray CRecoveryStore::SidecarBytes(const RecoveryCopy& copy) {
    QJsonObject json;
    json.insert(QStringLiteral("original"), copy.originalPath);
    json.insert(QStringLiteral("title"), copy.title);
    json.insert(QStringLiteral("time"), copy.time.toString(Qt::ISODateWithMs));
    json.insert(QStringLiteral("pid"), static_cast<double>(copy.pid));
    return QJsonDocument(json).toJson();
}
