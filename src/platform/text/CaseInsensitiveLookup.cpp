#include "platform/text/CaseInsensitiveLookup.h"

#include <dirent.h>

#include <algorithm>

#include "platform/text/PathRules.h"

namespace {

QByteArray AsciiLower(const QByteArray& name) {
    QByteArray lower = name;
    for (char& c : lower) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    return lower;
}

}  // namespace

const CaseInsensitiveLookup::Listing& CaseInsensitiveLookup::ListFolder(const QByteArray& folder) {
    auto it = m_folders.find(folder);
    if (it != m_folders.end()) return it.value();
    Listing listing;
    if (!folder.contains('\0')) {
        if (DIR* dir = ::opendir(folder.isEmpty() ? "." : folder.constData())) {
            while (const dirent* entry = ::readdir(dir)) {
                const QByteArray name(entry->d_name);
                listing[AsciiLower(name)].append(name);
            }
            ::closedir(dir);
        }
    }
    for (auto& names : listing) std::sort(names.begin(), names.end());
    return m_folders.insert(folder, std::move(listing)).value();
}

bool CaseInsensitiveLookup::Exists(const QByteArray& path) {
    auto it = m_exists.constFind(path);
    if (it != m_exists.constEnd()) return it.value();
    const bool exists = mvpath::FileExists(path);
    m_exists.insert(path, exists);
    return exists;
}

QByteArray CaseInsensitiveLookup::Find(const QByteArray& path) {
    if (Exists(path)) return path;
    const QByteArray name = mvpath::FindFileName(path);
    if (name.isEmpty()) return QByteArray();
    const QByteArray folder = mvpath::RemoveFileSpec(path);
    const Listing& listing = ListFolder(folder);
    const auto it = listing.constFind(AsciiLower(name));
    if (it == listing.constEnd()) return QByteArray();
    for (const QByteArray& match : it.value()) {
        QByteArray candidate;
        if (mvpath::Append(folder, match, &candidate) && Exists(candidate)) {
            return candidate;
        }
    }
    return QByteArray();
}
