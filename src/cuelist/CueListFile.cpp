#include "cuelist/CueListFile.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDateTime>
#include <QFile>
#include <QRandomGenerator>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>

#include "platform/text/PathRules.h"

namespace {

// Closes a descriptor when it goes out of scope.
class Fd {
public:
    explicit Fd(int fd = -1) : m_fd(fd) {}
    ~Fd() { Reset(); }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    int Get() const { return m_fd; }
    void Reset(int fd = -1) {
        if (m_fd >= 0) ::close(m_fd);
        m_fd = fd;
    }
    int Release() {
        const int fd = m_fd;
        m_fd = -1;
        return fd;
    }

private:
    int m_fd;
};

mode_t CurrentUmask() {
    // Read the mask without changing it (umask() would, for a moment, for every thread).
    QFile status(QStringLiteral("/proc/self/status"));
    if (status.open(QIODevice::ReadOnly)) {
        const QList<QByteArray> lines = status.readAll().split('\n');
        for (const QByteArray& line : lines) {
            if (line.startsWith("Umask:")) {
                bool ok = false;
                const uint mask = line.mid(6).trimmed().toUInt(&ok, 8);
                if (ok) return static_cast<mode_t>(mask & 0777);
            }
        }
    }
    return 022;
}

// The file a save replaces: the target of a symbolic link, else the path itself. A link whose
// target does not exist yet is followed too, so the save creates the file the link names, as
// writing through the link would, instead of replacing the link by a file. Empty for a loop
// of links.
QByteArray SaveTarget(const QByteArray& path) {
    constexpr int kMaxLinks = 40;  // as the system's own limit on links in a path
    QByteArray current = path;
    for (int hops = 0; hops <= kMaxLinks; ++hops) {
        struct stat st {};
        if (::lstat(current.constData(), &st) != 0 || !S_ISLNK(st.st_mode)) return current;
        char* resolved = ::realpath(current.constData(), nullptr);
        if (resolved != nullptr) {
            QByteArray target(resolved);
            std::free(resolved);
            return target;
        }
        // A dangling link: follow it by hand, one link at a time.
        char buffer[PATH_MAX];
        const ssize_t n = ::readlink(current.constData(), buffer, sizeof buffer);
        if (n <= 0 || n >= static_cast<ssize_t>(sizeof buffer)) return QByteArray();
        const QByteArray link(buffer, static_cast<qsizetype>(n));
        if (link.startsWith('/')) {
            current = link;
        } else {
            const qsizetype slash = current.lastIndexOf('/');
            current = slash < 0 ? link : current.left(slash + 1) + link;
        }
    }
    return QByteArray();
}

bool WriteAll(int fd, const char* data, qsizetype size) {
    while (size > 0) {
        const ssize_t written = ::write(fd, data, static_cast<size_t>(size));
        if (written < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        data += written;
        size -= written;
    }
    return true;
}

constexpr char kTempMark[] = ".mvsave-";
constexpr int kTempRandomLength = 6;
// Temporary files of the older naming carry no lock while written: only those untouched for
// this long are taken for left-overs.
constexpr qint64 kOldTempAgeSeconds = 60;

bool IsRandomTail(const QByteArray& tail) {
    if (tail.size() != kTempRandomLength) return false;
    for (char c : tail) {
        if (!((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9')))
            return false;
    }
    return true;
}

QByteArray RandomTail() {
    static constexpr char kChars[] =
        "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    QByteArray tail(kTempRandomLength, 'x');
    for (char& c : tail) c = kChars[QRandomGenerator::global()->bounded(62)];
    return tail;
}

enum class TempKind { kNone, kLocked, kOld };

// Whether `entry` of a folder is the temporary file of a save: ".<name>.mvsave-XXXXXX" (or
// ".mvsave-XXXXXX" for a long name), written under a lock; or, of the older naming, the
// temporary file of a save of `target` (".<target>.XXXXXX" or ".mvl-save.XXXXXX").
TempKind TempKindOf(const QByteArray& entry, const QByteArray& target) {
    if (!entry.startsWith('.') || entry.size() < kTempRandomLength + 2) return TempKind::kNone;
    const QByteArray tail = entry.right(kTempRandomLength);
    if (!IsRandomTail(tail)) return TempKind::kNone;
    const QByteArray head = entry.left(entry.size() - kTempRandomLength);
    const QByteArray mark(kTempMark);
    if (head == mark || (head.endsWith(mark) && head.size() > mark.size() + 1))
        return TempKind::kLocked;
    if (head == "." + target + "." || head == ".mvl-save.") return TempKind::kOld;
    return TempKind::kNone;
}

// Removes the temporary files that saves into `folder` left behind when their process died
// (killed, or the machine lost power) before renaming them. A save in progress holds a lock on
// its temporary file for as long as it exists, so only files nobody holds are removed.
void RemoveStaleTemporaries(const QByteArray& folder, const QByteArray& target) {
    Fd dirFd(::open(folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (dirFd.Get() < 0) return;
    const int scanFd = ::dup(dirFd.Get());
    if (scanFd < 0) return;
    DIR* dir = ::fdopendir(scanFd);
    if (dir == nullptr) {
        ::close(scanFd);
        return;
    }
    const qint64 now = QDateTime::currentSecsSinceEpoch();
    while (const dirent* entry = ::readdir(dir)) {
        const QByteArray name(entry->d_name);
        const TempKind kind = TempKindOf(name, target);
        if (kind == TempKind::kNone) continue;
        Fd file(::openat(dirFd.Get(), name.constData(),
                         O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
        struct stat st {};
        if (file.Get() < 0 || ::fstat(file.Get(), &st) != 0 || !S_ISREG(st.st_mode)) continue;
        if (kind == TempKind::kOld && now - st.st_mtime < kOldTempAgeSeconds) continue;
        if (::flock(file.Get(), LOCK_EX | LOCK_NB) != 0) continue;  // a save is writing it
        // Still the same file under that name (not renamed over by a save meanwhile)?
        struct stat named {};
        if (::fstatat(dirFd.Get(), name.constData(), &named, AT_SYMLINK_NOFOLLOW) != 0 ||
            named.st_ino != st.st_ino || named.st_dev != st.st_dev)
            continue;
        ::unlinkat(dirFd.Get(), name.constData(), 0);
    }
    ::closedir(dir);
}

// Creates the temporary file of a save in `folder` under a lock. Where the file system allows
// it, the file has no name until it is complete (see LinkTemporary), so a save killed while
// writing leaves nothing behind. Returns the descriptor, or -1 with errno set.
int CreateTemporary(const QByteArray& folder, bool* unnamed) {
    *unnamed = false;
#ifdef O_TMPFILE
    int fd = ::open(folder.constData(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0600);
    if (fd >= 0) {
        ::flock(fd, LOCK_EX);
        *unnamed = true;
        return fd;
    }
#endif
    return -1;
}

// Gives an unnamed temporary file the name `*temp` (made unique in its folder).
bool LinkTemporary(int fd, const QByteArray& base, QByteArray* temp) {
    const QByteArray proc = "/proc/self/fd/" + QByteArray::number(fd);
    for (int attempt = 0; attempt < 100; ++attempt) {
        *temp = base + RandomTail();
        if (::linkat(AT_FDCWD, proc.constData(), AT_FDCWD, temp->constData(), AT_SYMLINK_FOLLOW) ==
            0)
            return true;
        if (errno != EEXIST) return false;
    }
    return false;
}

CueListFile::TestHooks& Hooks() {
    static CueListFile::TestHooks hooks;
    return hooks;
}

}  // namespace

void CueListFile::SetTestHooks(TestHooks hooks) { Hooks() = std::move(hooks); }

CueListFile::ReadResult CueListFile::Read(const QByteArray& path, QByteArray* contents,
                                          FileError::Cause* cause) {
    contents->clear();
    *cause = FileError::kNone;
    if (path.isEmpty() || path.contains('\0')) {
        *cause = FileError::kBadPath;
        return kOpenFailed;
    }
    // Non-blocking, so a FIFO named by mistake cannot hang the program in open().
    Fd fd(::open(path.constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    if (fd.Get() < 0) {
        *cause = FileError::FromErrno(errno, path);
        return kOpenFailed;
    }
    struct stat st {};
    if (::fstat(fd.Get(), &st) != 0) {
        *cause = FileError::FromErrno(errno, path);
        return kOpenFailed;
    }
    // Only regular files are cue lists: a folder, device or FIFO is refused before any read.
    if (!S_ISREG(st.st_mode)) {
        *cause = FileError::kAccessDenied;
        return kOpenFailed;
    }
    ::fcntl(fd.Get(), F_SETFL, ::fcntl(fd.Get(), F_GETFL) & ~O_NONBLOCK);
    // Writers are shut out while the file is read.
    if (::flock(fd.Get(), LOCK_SH | LOCK_NB) != 0 && errno == EWOULDBLOCK) {
        *cause = FileError::kSharingViolation;
        return kOpenFailed;
    }
    if (st.st_size > kMaxFileBytes) {
        *cause = FileError::kGeneric;
        return kReadFailed;
    }
    QByteArray data;
    data.resize(static_cast<qsizetype>(st.st_size));
    qsizetype used = 0;
    for (;;) {
        if (used == data.size()) {
            // The file may have grown since fstat: read on in steps, up to the limit.
            if (data.size() >= kMaxFileBytes) {
                char probe;
                const ssize_t more = ::read(fd.Get(), &probe, 1);
                if (more == 0) break;
                *cause = more < 0 ? FileError::FromErrno(errno, path) : FileError::kGeneric;
                return kReadFailed;
            }
            data.resize(std::min<qsizetype>(data.size() + 65536, kMaxFileBytes));
        }
        const ssize_t got =
            ::read(fd.Get(), data.data() + used, static_cast<size_t>(data.size() - used));
        if (got < 0) {
            if (errno == EINTR) continue;
            *cause = FileError::FromErrno(errno, path);
            return kReadFailed;
        }
        if (got == 0) break;
        used += got;
    }
    data.truncate(used);
    *contents = std::move(data);
    return kReadOk;
}

CueListFile::WriteResult CueListFile::Write(const QByteArray& path, const QByteArray& contents,
                                            FileError::Cause* cause) {
    *cause = FileError::kNone;
    if (path.isEmpty() || path.contains('\0') || mvpath::FindFileName(path).isEmpty()) {
        *cause = FileError::kBadPath;
        return kCreateFailed;
    }
    const QByteArray target = SaveTarget(path);
    if (target.isEmpty()) {
        *cause = FileError::kBadPath;
        return kCreateFailed;
    }
    // Only '/' separates on this file system; a name with '\' in it is just a name.
    const qsizetype slash = target.lastIndexOf('/');
    const QByteArray folder =
        slash < 0 ? QByteArray(".") : (slash == 0 ? QByteArray("/") : target.left(slash));
    const QByteArray name = target.mid(slash + 1);

    // An existing file must be writable to be replaced, and not locked by another reader.
    Fd old;
    mode_t mode = 0666 & ~CurrentUmask();
    struct stat st {};
    if (::stat(target.constData(), &st) == 0) {
        // Never replace a folder, device or FIFO by a regular file.
        if (!S_ISREG(st.st_mode)) {
            *cause = FileError::kAccessDenied;
            return kCreateFailed;
        }
        if (::access(target.constData(), W_OK) != 0) {
            *cause = FileError::FromErrno(errno, target);
            return kCreateFailed;
        }
        mode = st.st_mode & 07777;
        old.Reset(::open(target.constData(), O_RDONLY | O_CLOEXEC));
        if (old.Get() >= 0 && ::flock(old.Get(), LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK) {
            *cause = FileError::kSharingViolation;
            return kCreateFailed;
        }
    }

    // Left-overs of saves killed before their rename go first.
    RemoveStaleTemporaries(folder, name);

    QByteArray base = folder + "/." + name + kTempMark;
    if (base.size() + kTempRandomLength > mvpath::kMaxPath ||
        name.size() + 1 + static_cast<qsizetype>(sizeof kTempMark) + kTempRandomLength > NAME_MAX) {
        // Keep the temporary name within the limits of a path and of one name (a target named
        // with 248 bytes or more is valid, its "." + name + mark is not); it only has to be
        // unique in the folder.
        base = folder + "/" + kTempMark;
    }
    bool unnamed = false;
    QByteArray temp;
    Fd out(Hooks().unnamedTemporaries ? CreateTemporary(folder, &unnamed) : -1);
    if (out.Get() < 0) {
        // No unnamed files here: a named one, locked at once so no other save removes it.
        temp = base + "XXXXXX";
        out.Reset(::mkostemp(temp.data(), O_CLOEXEC));
        if (out.Get() < 0) {
            *cause = FileError::FromErrno(errno, target);
            return kCreateFailed;
        }
        ::flock(out.Get(), LOCK_EX);
    }
    int err = 0;
    if (!WriteAll(out.Get(), contents.constData(), contents.size()) || ::fsync(out.Get()) != 0 ||
        ::fchmod(out.Get(), mode) != 0) {
        err = errno;
    }
    if (err == 0 && unnamed && !LinkTemporary(out.Get(), base, &temp)) {
        err = errno != 0 ? errno : EEXIST;
        temp.clear();
    }
    if (err == 0 && Hooks().beforeRename) Hooks().beforeRename(temp);
    if (err == 0 && ::rename(temp.constData(), target.constData()) != 0) err = errno;
    // The lock goes with the descriptor, after the rename: until then no other save takes the
    // temporary file for a left-over. The data reached the disk at fsync already.
    out.Reset();
    if (err != 0) {
        if (!temp.isEmpty()) ::unlink(temp.constData());
        *cause = FileError::FromErrno(err, target);
        if (*cause == FileError::kNone) *cause = FileError::kGeneric;
        return kWriteFailed;
    }
    // Make the rename itself durable.
    Fd dir(::open(folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (dir.Get() >= 0) ::fsync(dir.Get());
    return kWriteOk;
}
