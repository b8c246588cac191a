#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

class CMVDoc;

// Packs a show: copies a cue list and every sound file it uses into one folder, so that the
// folder can be carried to another machine and opened there with every cue working.
namespace showcollect {

struct Result {
    bool ok = false;      // the list was written (missing files aside)
    QString error;        // when not ok: what failed, naming the file
    QStringList missing;  // sound files that could not be found; their cues keep their paths
    int filesCopied = 0;
    QString listPath;  // the list written into the folder
};

// Copies the sound files of `doc`'s cues into `folder` (one copy per file, names kept, names that
// clash made unique), then writes the list under `listName` with each cue's path pointing at its
// copy. The document itself is left as it was. `folder` is created when missing and must
// otherwise be empty. On a failure nothing of the list is written and the files copied so far
// are removed again. UI thread (the document's records are read and briefly rewritten).
Result Collect(const CMVDoc& doc, const QString& listName, const QString& folder);

}  // namespace showcollect
