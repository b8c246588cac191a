#pragma once

#include <QByteArray>
#include <QHash>
#include <QList>

// Finds files whose names differ from the wanted name only in ASCII letter case. Each folder is
// read once and each path tested once, and remembered, so resolving the sound files of a long
// cue list (many cues share a file) reads the list's folder once rather than once per cue. A
// lookup sees the file system as it was when it first looked.
class CaseInsensitiveLookup {
public:
    // path when it names an existing file; otherwise the path of the first file (in byte order
    // of the names) in the same folder whose name matches the file-name part ignoring case;
    // otherwise an empty array.
    QByteArray Find(const QByteArray& path);

    // Whether path names an existing file, asking the file system once per path.
    bool Exists(const QByteArray& path);

private:
    // The folder's entries keyed by their lower-cased names (each list in byte order).
    using Listing = QHash<QByteArray, QList<QByteArray>>;
    const Listing& ListFolder(const QByteArray& folder);

    QHash<QByteArray, Listing> m_folders;
    QHash<QByteArray, bool> m_exists;
};
