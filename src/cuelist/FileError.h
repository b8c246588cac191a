#pragma once

#include <QByteArray>
#include <QString>

// File error causes and their texts, as the program reports them when a cue list file cannot
// be opened, created or written. Linux reports errno values; FromErrno maps them onto the
// causes the program knows.
class FileError {
public:
    enum Cause {
        kNone = 0,
        kGeneric = 1,
        kFileNotFound = 2,
        kBadPath = 3,
        kTooManyOpenFiles = 4,
        kAccessDenied = 5,
        kInvalidFile = 6,
        kRemoveCurrentDir = 7,
        kDirectoryFull = 8,
        kBadSeek = 9,
        kHardIO = 10,
        kSharingViolation = 11,
        kLockViolation = 12,
        kDiskFull = 13,
        kEndOfFile = 14,
    };

    // The cause for errno value err met while accessing path. ENOENT is "not found" when the
    // folder of path exists and "invalid path" when it does not.
    static Cause FromErrno(int err, const QByteArray& path);

    // The text of cause with %1 replaced by path.
    static QString Message(Cause cause, const QString& path);
};
