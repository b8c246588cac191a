#include "cuelist/CMVDoc.h"

#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QSet>
#include <cstdio>
#include <memory>
#include <utility>
#include <vector>

#include "cuelist/CQRecord.h"
#include "cuelist/CueArchive.h"
#include "cuelist/CueListFile.h"
#include "platform/text/CaseInsensitiveLookup.h"

namespace {

const char kUnexpectedFormat[] = "Unexpected file format.";
const char kFailedToOpen[] = "Failed to open document.";
const char kInvalidFilename[] = "Invalid filename.";
const char kFailedToSave[] = "Failed to save document.";

}  // namespace

CMVDoc::CMVDoc(QObject* parent) : QObject(parent) {}

CMVDoc::~CMVDoc() { DestroyAll(); }

CQRecord* CMVDoc::GetCue(int index) const {
    if (index < 0 || index >= m_cues.size()) return nullptr;
    return m_cues[index];
}

int CMVDoc::IndexOf(const CQRecord* cue) const {
    return static_cast<int>(m_cues.indexOf(const_cast<CQRecord*>(cue)));
}

CQRecord* CMVDoc::AddCue(int index) {
    auto* cue = new CQRecord;
    // Wraps instead of overflowing when a file brought a number near the top of the range.
    m_nLastCueNumber = static_cast<int32_t>(static_cast<uint32_t>(m_nLastCueNumber) + 10u);
    char id[16];
    std::snprintf(id, sizeof id, "Q%03d", m_nLastCueNumber);
    cue->SetID(QByteArray(id));
    if (index < 0 || index >= m_cues.size()) {
        m_cues.append(cue);
    } else {
        m_cues.insert(index, cue);
    }
    SetModifiedFlag(true);
    return cue;
}

void CMVDoc::DeleteCue(int index) {
    CQRecord* cue = GetCue(index);
    if (cue == nullptr) return;
    emit aboutToDestroyCues({cue});
    m_cues.removeOne(cue);
    delete cue;
}

void CMVDoc::DeleteCues(const QList<CQRecord*>& cues) {
    QSet<CQRecord*> doomed;
    QList<CQRecord*> held;
    for (CQRecord* cue : cues) {
        if (cue != nullptr && !doomed.contains(cue) && m_cues.contains(cue)) {
            doomed.insert(cue);
            held.append(cue);
        }
    }
    if (held.isEmpty()) return;
    emit aboutToDestroyCues(held);
    m_cues.removeIf([&doomed](CQRecord* cue) { return doomed.contains(cue); });
    qDeleteAll(held);
    SetModifiedFlag(true);
}

void CMVDoc::InsertCue(int index, CQRecord* cue) {
    if (cue == nullptr || m_cues.contains(cue)) return;
    if (index < 0 || index >= m_cues.size()) {
        m_cues.append(cue);
    } else {
        m_cues.insert(index, cue);
    }
    SetModifiedFlag(true);
}

CQRecord* CMVDoc::TakeCue(int index) {
    CQRecord* cue = GetCue(index);
    if (cue == nullptr) return nullptr;
    m_cues.removeAt(index);
    SetModifiedFlag(true);
    return cue;
}

void CMVDoc::MoveCue(int from, int to) {
    if (from < 0 || from >= m_cues.size() || to < 0) return;
    if (to >= m_cues.size()) to = static_cast<int>(m_cues.size()) - 1;
    if (from != to) m_cues.move(from, to);
    SetModifiedFlag(true);
}

void CMVDoc::RebuildFromList(const QList<CQRecord*>& order) { qDeleteAll(ReplaceCues(order)); }

QList<CQRecord*> CMVDoc::ReplaceCues(const QList<CQRecord*>& order) {
    QList<CQRecord*> rebuilt;
    rebuilt.reserve(order.size());
    QSet<CQRecord*> kept;
    kept.reserve(order.size());
    for (CQRecord* cue : order) {
        if (cue == nullptr || kept.contains(cue)) continue;
        kept.insert(cue);
        rebuilt.append(cue);
    }
    QList<CQRecord*> leaving;
    for (CQRecord* cue : m_cues) {
        if (!kept.contains(cue)) leaving.append(cue);
    }
    if (!leaving.isEmpty()) emit aboutToDestroyCues(leaving);
    m_cues = std::move(rebuilt);
    SetModifiedFlag(true);
    return leaving;
}

void CMVDoc::DestroyAll() {
    if (m_cues.isEmpty()) return;
    emit aboutToDestroyCues(m_cues);
    const QList<CQRecord*> doomed = std::move(m_cues);
    m_cues.clear();
    qDeleteAll(doomed);
}

void CMVDoc::DeleteContents() {
    DestroyAll();
    m_nLastCueNumber = 0;
    emit contentsReset();
}

void CMVDoc::Serialize(CueArchive& ar) {
    if (ar.IsStoring()) {
        ar.WriteCueArray(m_cues);
        ar.WriteDword(static_cast<uint32_t>(m_nLastCueNumber));
        return;
    }
    std::vector<std::unique_ptr<CQRecord>> cues;
    if (!ar.ReadCueArray(&cues)) return;
    const uint32_t lastNumber = ar.ReadDword();
    if (ar.Failed()) return;  // what was read is discarded
    DestroyAll();
    m_cues.reserve(static_cast<qsizetype>(cues.size()));
    for (auto& cue : cues) m_cues.append(cue.release());
    m_nLastCueNumber = static_cast<int32_t>(lastNumber);
}

QByteArray CMVDoc::SaveToBytes() const {
    QByteArray bytes;
    CueArchive ar(&bytes);
    ar.WriteCueArray(m_cues);
    ar.WriteDword(static_cast<uint32_t>(m_nLastCueNumber));
    return bytes;
}

bool CMVDoc::OnNewDocument() {
    DeleteContents();
    SetPathName(QString());
    SetModifiedFlag(false);
    emit contentsReset();
    return true;
}

bool CMVDoc::OnOpenDocument(const QString& path, QString* errorText) {
    const QByteArray encoded = QFile::encodeName(path);
    QByteArray contents;
    FileError::Cause cause = FileError::kNone;
    const CueListFile::ReadResult result = CueListFile::Read(encoded, &contents, &cause);
    if (result == CueListFile::kOpenFailed) {
        if (errorText) *errorText = FileError::Message(cause, path);
        return false;
    }
    DeleteContents();
    SetModifiedFlag(true);  // modified while reading
    QString failure;
    if (result == CueListFile::kReadFailed) {
        failure = QString::fromLatin1(kFailedToOpen);
    } else if (!contents.isEmpty()) {
        CueArchive ar{QByteArrayView(contents)};
        Serialize(ar);
        if (ar.Failed()) {
            failure = QString::fromLatin1(
                CueArchive::IsFormatFault(ar.GetCause()) ? kUnexpectedFormat : kFailedToOpen);
        }
    }
    if (!failure.isEmpty()) {
        // What was read is gone; the window shows a new, empty list.
        OnNewDocument();
        if (errorText) *errorText = failure;
        return false;
    }
    // A show folder moved as a whole finds its sound files next to the list.
    const QByteArray folder = QFile::encodeName(QFileInfo(path).absolutePath());
    // Many cues share a sound file: resolve each distinct path once.
    CaseInsensitiveLookup lookup;
    QHash<QByteArray, QByteArray> resolved;
    for (CQRecord* cue : m_cues) {
        const auto it = resolved.constFind(cue->m_strPath);
        if (it != resolved.constEnd()) {
            cue->m_strPath = it.value();
            continue;
        }
        const QByteArray old = cue->m_strPath;
        cue->ResolvePath(folder, &lookup);
        resolved.insert(old, cue->m_strPath);
    }
    SetPathName(path);
    SetModifiedFlag(false);
    emit contentsReset();
    return true;
}

bool CMVDoc::OpenRecoveryCopy(const QString& copyPath, const QString& originalPath,
                              QString* errorText) {
    QByteArray contents;
    FileError::Cause cause = FileError::kNone;
    const CueListFile::ReadResult result =
        CueListFile::Read(QFile::encodeName(copyPath), &contents, &cause);
    if (result == CueListFile::kOpenFailed) {
        if (errorText) *errorText = FileError::Message(cause, copyPath);
        return false;
    }
    if (result == CueListFile::kReadFailed) {
        if (errorText) *errorText = QString::fromLatin1(kFailedToOpen);
        return false;
    }
    // Read into a document of its own first: a damaged copy leaves this list untouched.
    CMVDoc read;
    if (!contents.isEmpty()) {
        CueArchive ar{QByteArrayView(contents)};
        read.Serialize(ar);
        if (ar.Failed()) {
            if (errorText) {
                *errorText = QString::fromLatin1(
                    CueArchive::IsFormatFault(ar.GetCause()) ? kUnexpectedFormat : kFailedToOpen);
            }
            return false;
        }
    }
    DeleteContents();
    m_cues = std::exchange(read.m_cues, {});
    m_nLastCueNumber = read.m_nLastCueNumber;
    if (!originalPath.isEmpty()) {
        const QByteArray folder = QFile::encodeName(QFileInfo(originalPath).absolutePath());
        CaseInsensitiveLookup lookup;
        for (CQRecord* cue : m_cues) cue->ResolvePath(folder, &lookup);
    }
    SetPathName(originalPath);
    SetModifiedFlag(false);
    emit contentsReset();
    // Modified after the reset, which starts a new undo history: no undo reaches a saved state.
    SetModifiedFlag(true);
    return true;
}

bool CMVDoc::OnSaveDocument(const QString& path, QString* errorText) {
    if (path.isEmpty()) {
        if (errorText) *errorText = QString::fromLatin1(kInvalidFilename);
        return false;
    }
    FileError::Cause cause = FileError::kNone;
    const CueListFile::WriteResult result =
        CueListFile::Write(QFile::encodeName(path), SaveToBytes(), &cause);
    if (result != CueListFile::kWriteOk) {
        if (errorText) {
            if (cause != FileError::kNone) {
                *errorText = FileError::Message(cause, path);
            } else {
                *errorText = QString::fromLatin1(
                    result == CueListFile::kCreateFailed ? kInvalidFilename : kFailedToSave);
            }
        }
        return false;
    }
    SetPathName(path);
    SetModifiedFlag(false);
    return true;
}

void CMVDoc::SetModifiedFlag(bool modified) {
    if (m_bModified == modified) return;
    m_bModified = modified;
    emit modifiedChanged(modified);
}

QString CMVDoc::GetTitle() const {
    if (m_strPathName.isEmpty()) return QStringLiteral("Untitled");
    return QFileInfo(m_strPathName).fileName();
}

void CMVDoc::SetPathName(const QString& path) {
    if (m_strPathName == path) return;
    m_strPathName = path;
    emit pathNameChanged(path);
}
