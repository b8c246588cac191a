#pragma once

#include <QByteArray>
#include <functional>

#include "cuelist/FileError.h"

// Whole-file reads and safe whole-file writes of cue list files.
class CueListFile {
public:
    // Files larger than this are refused: no cue list comes near it, and reading one whole
    // would need that much memory.
    static constexpr qint64 kMaxFileBytes = qint64(1) << 30;

    enum ReadResult {
        kReadOk,
        kOpenFailed,  // *cause says why; nothing was read
        kReadFailed,  // the file opened but could not be read completely (or is too large)
    };

    // Reads the whole file. While it reads, it holds a shared lock on the file, so a copy of
    // the program saving it at the same moment is refused.
    static ReadResult Read(const QByteArray& path, QByteArray* contents, FileError::Cause* cause);

    enum WriteResult {
        kWriteOk,
        kCreateFailed,  // the file could not be created; *cause says why
        kWriteFailed,   // it could not be written completely; *cause says why
    };

    // Writes the file through a temporary file in the same folder which is flushed to the disk
    // and then renamed over path, so a failed write leaves the old file as it was. A symbolic
    // link is followed: the file it points to is replaced. A new file gets the permissions that
    // the process's umask allows; a replaced file keeps its own.
    static WriteResult Write(const QByteArray& path, const QByteArray& contents,
                             FileError::Cause* cause);

    // For tests of the ways a write can go; set them while no write runs.
    struct TestHooks {
        // false: every write takes the way of file systems without unnamed temporary files
        // (some network and FUSE ones): a named temporary file, locked while it is written.
        bool unnamedTemporaries = true;
        // Runs when the temporary file, named `temp`, is written and flushed, just before it is
        // renamed over the target.
        std::function<void(const QByteArray& temp)> beforeRename;
    };
    static void SetTestHooks(TestHooks hooks);
};
