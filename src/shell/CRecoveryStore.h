#pragma once

#include <QDateTime>
#include <QList>
#include <QString>

// One recovery copy in the recovery folder: the list "<id>.mvl" in the cue list format, the
// sidecar "<id>.json" naming the original path, the time and the writing process, and the lock
// "<id>.lock" that its writer holds for as long as it runs.
struct RecoveryCopy {
    QString id;
    QString listPath;
    QString sidecarPath;
    QString lockPath;
    QString originalPath;  // empty for a list never saved
    QString title;         // the show's name as the title bar showed it
    QDateTime time;        // when it was written
    qint64 pid = 0;
};

// The recovery folder (recovery/ in the user's data folder): finds the copies whose writer is
// gone, sets damaged ones aside and removes those the operator has dealt with. Every running
// copy of the program writes its own copy under its own id. Any thread; no state of its own.
class CRecoveryStore {
public:
    static constexpr const char* kListSuffix = ".mvl";
    static constexpr const char* kSidecarSuffix = ".json";
    static constexpr const char* kLockSuffix = ".lock";
    static constexpr const char* kDamagedSuffix = ".damaged";

    // recovery/ in the user's data folder (QStandardPaths::AppDataLocation).
    static QString DefaultFolder();

    explicit CRecoveryStore(QString folder) : m_folder(std::move(folder)) {}
    QString Folder() const { return m_folder; }

    // A fresh copy for this process: names only, nothing is written.
    RecoveryCopy NewCopy() const;
    // The copies whose writing process is no longer running (nobody holds their lock), oldest
    // first. A list without a readable sidecar is offered too, named after nothing.
    QList<RecoveryCopy> FindOrphans() const;
    // Removes the list, the sidecar and the lock of `copy`.
    static void Remove(const RecoveryCopy& copy);
    // Renames a copy that could not be read so that it is kept for the operator but not offered
    // again; returns the path it is kept under.
    static QString SetAside(const RecoveryCopy& copy);
    // The sidecar's contents for `copy`.
    static QByteArray SidecarBytes(const RecoveryCopy& copy);

private:
    QString m_folder;
};
