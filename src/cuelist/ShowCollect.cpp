#include "cuelist/ShowCollect.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QSaveFile>
#include <QSet>
#include <vector>

#include "cuelist/CMVDoc.h"
#include "cuelist/CQRecord.h"
#include "cuelist/CueListFile.h"
#include "platform/text/PathRules.h"

namespace showcollect {

namespace {

constexpr qint64 kCopyChunk = 1 << 20;

// Copies `from` to `to` through a temporary file renamed into place when complete.
bool CopyFile(const QString& from, const QString& to, QString* error) {
    QFile in(from);
    if (!in.open(QIODevice::ReadOnly)) {
        *error = QStringLiteral("Cannot read %1: %2").arg(from, in.errorString());
        return false;
    }
    QSaveFile out(to);
    if (!out.open(QIODevice::WriteOnly)) {
        *error = QStringLiteral("Cannot create %1: %2").arg(to, out.errorString());
        return false;
    }
    QByteArray chunk;
    for (;;) {
        chunk = in.read(kCopyChunk);
        if (chunk.isEmpty()) break;
        if (out.write(chunk) != chunk.size()) {
            *error = QStringLiteral("Cannot write %1: %2").arg(to, out.errorString());
            out.cancelWriting();
            return false;
        }
    }
    if (in.error() != QFileDevice::NoError) {
        *error = QStringLiteral("Cannot read %1: %2").arg(from, in.errorString());
        out.cancelWriting();
        return false;
    }
    if (!out.commit()) {
        *error = QStringLiteral("Cannot write %1: %2").arg(to, out.errorString());
        return false;
    }
    return true;
}

// `name`, or "base-2.ext", "base-3.ext"... when a name differing only in letter case is taken.
QString UniqueName(const QString& name, QSet<QString>* taken) {
    QString candidate = name;
    const QFileInfo info(name);
    const QString base = info.completeBaseName();
    const QString suffix = info.suffix().isEmpty() ? QString() : QLatin1Char('.') + info.suffix();
    for (int n = 2; taken->contains(candidate.toLower()); ++n) {
        candidate = QStringLiteral("%1-%2%3").arg(base).arg(n).arg(suffix);
    }
    taken->insert(candidate.toLower());
    return candidate;
}

}  // namespace

Result Collect(const CMVDoc& doc, const QString& listName, const QString& folder) {
    Result result;
    QDir dir(folder);
    if (dir.exists()) {
        if (!dir.isEmpty(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System)) {
            result.error = QStringLiteral("The folder %1 is not empty.").arg(folder);
            return result;
        }
    } else if (!QDir().mkpath(folder)) {
        result.error = QStringLiteral("Cannot create the folder %1.").arg(folder);
        return result;
    }
    dir = QDir(QFileInfo(folder).absoluteFilePath());

    QSet<QString> taken;
    taken.insert(listName.toLower());
    QHash<QString, QByteArray> copies;  // source file (absolute, canonical) -> path of its copy
    std::vector<QByteArray> newPaths;
    QStringList created;
    const auto removeCreated = [&] {
        for (const QString& file : created) QFile::remove(file);
    };

    for (const CQRecord* cue : doc.GetCues()) {
        const QByteArray existing = mvpath::FindExistingIgnoringCase(cue->m_strPath);
        const QFileInfo source(QFile::decodeName(existing));
        if (existing.isEmpty() || !source.isFile()) {
            const QString shown = QFile::decodeName(cue->m_strPath);
            if (!result.missing.contains(shown)) result.missing.append(shown);
            newPaths.push_back(cue->m_strPath);  // kept as it was
            continue;
        }
        const QString key = source.canonicalFilePath();
        auto copy = copies.constFind(key);
        if (copy == copies.constEnd()) {
            const QString target = dir.filePath(UniqueName(source.fileName(), &taken));
            QString error;
            if (!CopyFile(source.absoluteFilePath(), target, &error)) {
                removeCreated();
                result.error = error;
                return result;
            }
            created.append(target);
            ++result.filesCopied;
            copy = copies.insert(key, QFile::encodeName(target));
        }
        newPaths.push_back(*copy);
    }

    // The list image with the new paths; the document's records get their own paths back at once.
    QByteArray image;
    {
        const QList<CQRecord*>& cues = doc.GetCues();
        std::vector<QByteArray> oldPaths;
        for (int i = 0; i < cues.size(); ++i) {
            oldPaths.push_back(cues[i]->m_strPath);
            cues[i]->m_strPath = newPaths[static_cast<size_t>(i)];
        }
        image = doc.SaveToBytes();
        for (int i = 0; i < cues.size(); ++i) cues[i]->m_strPath = oldPaths[static_cast<size_t>(i)];
    }
    result.listPath = dir.filePath(listName);
    FileError::Cause cause = FileError::kNone;
    if (CueListFile::Write(QFile::encodeName(result.listPath), image, &cause) !=
        CueListFile::kWriteOk) {
        removeCreated();
        result.error = FileError::Message(cause == FileError::kNone ? FileError::kGeneric : cause,
                                          result.listPath);
        return result;
    }
    result.ok = true;
    return result;
}

}  // namespace showcollect
