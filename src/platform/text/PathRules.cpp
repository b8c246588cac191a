#include "platform/text/PathRules.h"

#include "platform/text/CaseInsensitiveLookup.h"

#include <sys/stat.h>

namespace mvpath {

namespace {

// Index just after the last separator, 0 when there is none.
qsizetype FileNameStart(const QByteArray& path) {
    for (qsizetype i = path.size(); i > 0; --i) {
        if (IsSeparator(path[i - 1])) return i;
    }
    return 0;
}

// Index of the extension's dot within path, or path.size() when the file-name part has none.
qsizetype ExtensionStart(const QByteArray& path) {
    const qsizetype start = FileNameStart(path);
    for (qsizetype i = path.size(); i > start; --i) {
        if (path[i - 1] == '.') return i - 1;
    }
    return path.size();
}

}  // namespace

bool IsSeparator(char c) { return c == '\\' || c == '/'; }

QByteArray FindFileName(const QByteArray& path) { return path.mid(FileNameStart(path)); }

QByteArray FindExtension(const QByteArray& path) { return path.mid(ExtensionStart(path)); }

QByteArray RemoveExtension(const QByteArray& path) { return path.left(ExtensionStart(path)); }

QByteArray RemoveFileSpec(const QByteArray& path) {
    const qsizetype start = FileNameStart(path);
    if (start == 0) return QByteArray();
    // Keep a lone root separator ("/c.mvl" gives "/").
    if (start == 1) return path.left(1);
    return path.left(start - 1);
}

bool FileExists(const QByteArray& path) {
    if (path.isEmpty() || path.size() > kMaxPath || path.contains('\0')) return false;
    struct stat st {};
    if (::stat(path.constData(), &st) != 0) return false;
    return !S_ISDIR(st.st_mode);
}

bool Append(const QByteArray& folder, const QByteArray& name, QByteArray* result) {
    qsizetype skip = 0;
    while (skip < name.size() && IsSeparator(name[skip])) ++skip;
    const QByteArray rest = name.mid(skip);
    QByteArray joined;
    if (folder.isEmpty()) {
        joined = rest;
    } else {
        const bool needSeparator = !IsSeparator(folder.back());
        if (folder.size() + (needSeparator ? 1 : 0) + rest.size() > kMaxPath) return false;
        joined.reserve(folder.size() + 1 + rest.size());
        joined.append(folder);
        if (needSeparator) joined.append('/');
        joined.append(rest);
    }
    if (joined.size() > kMaxPath) return false;
    *result = joined;
    return true;
}

QByteArray FindExistingIgnoringCase(const QByteArray& path) {
    CaseInsensitiveLookup lookup;
    return lookup.Find(path);
}

}  // namespace mvpath
