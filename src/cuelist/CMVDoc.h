#pragma once

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QString>
#include <cstdint>

#include "cuelist/CQRecord.h"

class CueArchive;

// The cue list: the ordered cue records that the window shows and edits, and the number from
// which default cue IDs are made. The document owns every record in m_cues and is the only
// place that destroys records: before any record is destroyed it emits aboutToDestroyCues, so
// the view can stop the players of those records first. UI thread only.
class CMVDoc : public QObject {
    Q_OBJECT

public:
    explicit CMVDoc(QObject* parent = nullptr);
    ~CMVDoc() override;

    // The cues in list order (owned by the document).
    const QList<CQRecord*>& GetCues() const { return m_cues; }
    int GetCueCount() const { return static_cast<int>(m_cues.size()); }
    // The cue at index, or nullptr when index is out of range.
    CQRecord* GetCue(int index) const;
    // The index of cue in the list, or -1.
    int IndexOf(const CQRecord* cue) const;

    // Creates a record with the next default ID (Q010, Q020, ...) and puts it at index
    // (appended when index is -1 or not less than the number of cues). Marks the document
    // modified. Returns the new record.
    CQRecord* AddCue(int index);
    // Destroys the cue at index when there is one. Leaves the modified flag alone.
    void DeleteCue(int index);
    // Destroys the given cues (those the document holds; others are ignored) and marks the
    // document modified when any was removed.
    void DeleteCues(const QList<CQRecord*>& cues);

    // Puts a record that the caller created (a pasted or dropped cue) at index (appended when
    // index is -1 or past the end); the document takes it over. Marks the document modified.
    // A null record or one the document already holds is ignored.
    void InsertCue(int index, CQRecord* cue);
    // Takes the cue at index out of the list without destroying it; the caller owns it now.
    // Returns nullptr when index is out of range. Marks the document modified.
    CQRecord* TakeCue(int index);
    // Moves the cue at from to position to (both in the list's current indexing; to is clamped
    // to the end). Marks the document modified.
    void MoveCue(int from, int to);
    // Makes order the new list (the rows of the view, top to bottom) and marks the document
    // modified. Records in order that the document does not hold yet become its own; records
    // it holds that are missing from order are destroyed. Null and repeated entries are
    // skipped, so the list stays one distinct record per entry.
    void RebuildFromList(const QList<CQRecord*>& order);
    // The same without destroying anything: records the document holds that are missing from
    // order leave it and are returned, in their old list order; the caller owns them now (an
    // undo command keeps them to put them back). They are announced by aboutToDestroyCues
    // before they leave, as the document no longer vouches for them.
    QList<CQRecord*> ReplaceCues(const QList<CQRecord*>& order);

    // Destroys every record, empties the list and sets the last cue number to 0.
    void DeleteContents();

    // Stores the cue array block and the last cue number, or loads them (replacing the
    // contents only when the whole block was read).
    void Serialize(CueArchive& ar);
    // The file image of the list (what Save writes).
    QByteArray SaveToBytes() const;

    // A new, empty, untitled list whose first default ID will be Q010.
    bool OnNewDocument();
    // Opens a cue list file. On failure returns false and sets *errorText to the message the
    // operator must see: when the file could not be opened the list is left as it was; when it
    // could not be read, the document becomes a new, empty, untitled list.
    bool OnOpenDocument(const QString& path, QString* errorText);
    // Opens the recovery copy `copyPath` of a list that was last saved as `originalPath` (empty:
    // never saved): sound paths are resolved against the original's folder, the list takes the
    // original's path and title and is marked modified, so Save writes the original file. On
    // failure returns false with *errorText and leaves the list as it was.
    bool OpenRecoveryCopy(const QString& copyPath, const QString& originalPath, QString* errorText);
    // Saves the list to path through a temporary file beside it, renamed over the target only
    // when complete, so a failed save never damages the file that was there. On success the
    // path becomes the document's and the modified flag is cleared; on failure returns false,
    // sets *errorText and leaves the document as it was (still modified).
    bool OnSaveDocument(const QString& path, QString* errorText);

    bool IsModified() const { return m_bModified; }
    void SetModifiedFlag(bool modified = true);
    // The path of the file the list was opened from or saved to; empty for a new list.
    QString GetPathName() const { return m_strPathName; }
    // The file name of the path, or "Untitled" for a new list.
    QString GetTitle() const;

    // The number used for the most recent default cue ID.
    int32_t m_nLastCueNumber = 0;

signals:
    // Emitted synchronously before any of cues is destroyed (by DeleteCue, DeleteCues,
    // RebuildFromList, DeleteContents, a failed open or the document's destruction) or handed
    // out of the list (ReplaceCues). The records are still valid and still in the list while
    // the signal runs; afterwards nothing outside the list may keep them.
    void aboutToDestroyCues(const QList<CQRecord*>& cues);
    // Emitted after the whole list was replaced (New, Open, a failed open): views refill.
    void contentsReset();
    // Emitted when the modified flag changes.
    void modifiedChanged(bool modified);
    // Emitted when the path name (and with it the title) changes.
    void pathNameChanged(const QString& path);

private:
    void SetPathName(const QString& path);
    void DestroyAll();

    QList<CQRecord*> m_cues;
    bool m_bModified = false;
    QString m_strPathName;
};
