#pragma once

#include <QByteArray>
#include <QHash>
#include <QList>

// Finds files whose names differ from the wanted name only in ASCII letter case. Each folder is
// read once and remembered, so resolving the sound files of a long cue list reads the list's
// folder once rather than once per cue. A lookup sees the folders as they were when first read.
class CaseInsensitiveLookup {
public:
    // path when it names an existing file; otherwise the path of the first file (in byte order
    // of the names) in the same folder whose name matches the file-name part ignoring case;
    // otherwise an empty array.
    QByteArray Find(const QByteArray& path);

private:
    // The folder's entries keyed by their lower-cased names (each list in byte order).
    using Listing = QHash<QByteArray, QList<QByteArray>>;
    const Listing& ListFolder(const QByteArray& folder);

    QHash<QByteArray, Listing> m_folders;
};
