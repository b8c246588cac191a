#include "cuelist/FileError.h"

#include <sys/stat.h>

#include <cerrno>

#include "platform/text/PathRules.h"

namespace {

bool FolderExists(const QByteArray& path) {
    QByteArray folder = mvpath::RemoveFileSpec(path);
    if (folder.isEmpty()) folder = ".";
    if (folder.contains('\0')) return false;
    struct stat st {};
    return ::stat(folder.constData(), &st) == 0 && S_ISDIR(st.st_mode);
}

}  // namespace

FileError::Cause FileError::FromErrno(int err, const QByteArray& path) {
    switch (err) {
        case 0:
            return kNone;
        case ENOENT:
            return FolderExists(path) ? kFileNotFound : kBadPath;
        case ENOTDIR:
        case ENAMETOOLONG:
        case ELOOP:
        case EINVAL:
            return kBadPath;
        case EMFILE:
        case ENFILE:
            return kTooManyOpenFiles;
        case EACCES:
        case EPERM:
        case EROFS:
        case EISDIR:
        case ETXTBSY:
            return kAccessDenied;
        case EBADF:
            return kInvalidFile;
        case EMLINK:
            return kDirectoryFull;
        case ESPIPE:
            return kBadSeek;
        case EIO:
            return kHardIO;
        case EWOULDBLOCK:
        case EBUSY:
            return kSharingViolation;
        case ENOLCK:
        case EDEADLK:
            return kLockViolation;
        case ENOSPC:
        case EDQUOT:
        case EFBIG:
            return kDiskFull;
        default:
            return kGeneric;
    }
}

QString FileError::Message(Cause cause, const QString& path) {
    const char* text = "An unknown error occurred while accessing %1.";
    switch (cause) {
        case kNone:
            text = "No error occurred.";
            break;
        case kGeneric:
            break;
        case kFileNotFound:
            text = "%1 was not found.";
            break;
        case kBadPath:
            text = "%1 contains an invalid path.";
            break;
        case kTooManyOpenFiles:
            text = "%1 could not be opened because there are too many open files.";
            break;
        case kAccessDenied:
            text = "Access to %1 was denied.";
            break;
        case kInvalidFile:
            text = "An invalid file handle was associated with %1.";
            break;
        case kRemoveCurrentDir:
            text = "%1 could not be removed because it is the current directory.";
            break;
        case kDirectoryFull:
            text = "%1 could not be created because the directory is full.";
            break;
        case kBadSeek:
            text = "Seek failed on %1";
            break;
        case kHardIO:
            text = "A hardware I/O error was reported while accessing %1.";
            break;
        case kSharingViolation:
            text = "A sharing violation occurred while accessing %1.";
            break;
        case kLockViolation:
            text = "A locking violation occurred while accessing %1.";
            break;
        case kDiskFull:
            text = "Disk full while accessing %1.";
            break;
        case kEndOfFile:
            text = "An attempt was made to access %1 past its end.";
            break;
    }
    return QString::fromLatin1(text).replace(QLatin1String("%1"), path);
}
