#include "cuelist/CueListFile.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QFile>
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

}  // namespace

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

    QByteArray temp = folder + "/." + name + ".XXXXXX";
    if (temp.size() > mvpath::kMaxPath || name.size() + 8 > NAME_MAX) {
        // Keep the temporary name within the limits of a path and of one name (a target named
        // with 248 bytes or more is valid, its "." + name + ".XXXXXX" is not); it only has to
        // be unique in the folder.
        temp = folder + "/.mvl-save.XXXXXX";
    }
    Fd out(::mkostemp(temp.data(), O_CLOEXEC));
    if (out.Get() < 0) {
        *cause = FileError::FromErrno(errno, target);
        return kCreateFailed;
    }
    int err = 0;
    if (!WriteAll(out.Get(), contents.constData(), contents.size()) || ::fsync(out.Get()) != 0 ||
        ::fchmod(out.Get(), mode) != 0) {
        err = errno;
    }
    if (err == 0 && ::close(out.Release()) != 0) err = errno;
    if (err == 0 && ::rename(temp.constData(), target.constData()) != 0) err = errno;
    if (err != 0) {
        ::unlink(temp.constData());
        *cause = FileError::FromErrno(err, target);
        if (*cause == FileError::kNone) *cause = FileError::kGeneric;
        return kWriteFailed;
    }
    // Make the rename itself durable.
    Fd dir(::open(folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (dir.Get() >= 0) ::fsync(dir.Get());
    return kWriteOk;
}
