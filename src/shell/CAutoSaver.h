#pragma once

#include <QObject>
#include <QString>
#include <QThread>
#include <QTimer>
#include <atomic>
#include <memory>

#include "shell/CRecoveryStore.h"
#include "shell/CueSnapshotCache.h"

class CMVDoc;
class QUndoStack;

// Writes a recovery copy of the list while it has unsaved changes: 2 s after the last edit when
// no other edit follows, and at least every 60 s while edits go on. The UI thread only brings
// a snapshot of the records' fields up to date, copying the cues that changed since the last one
// (see CueSnapshotCache), in short steps between other events; a thread of its own encodes it
// and writes the list and its sidecar
// through the same atomic write as Save. The copy is removed when the list is saved, replaced by
// New or Open, or undone back to the saved state, and when the operator closes the program without
// saving (DiscardCopy). Created and called on the UI thread; the writing thread reports back by
// queued calls.
class CAutoSaver : public QObject {
    Q_OBJECT

public:
    static constexpr int kIdleMs = 2000;
    static constexpr int kMaxIntervalMs = 60000;
    // How nice the writing thread is: on a busy machine it takes what the UI thread and the
    // players leave.
    static constexpr int kWriterNiceness = 10;
    // Cues a snapshot's step looks at (a fraction of a millisecond) before it lets other events
    // in; and how often an edit between steps may start a snapshot over before it is finished in
    // one go.
    static constexpr size_t kStepCues = 4096;
    static constexpr int kMaxRestarts = 8;

    // `history` is the view's undo stack: each of its steps is an edit. `folder`: where copies go.
    CAutoSaver(CMVDoc* doc, QUndoStack* history, const QString& folder, QObject* parent = nullptr);
    // Finishes a snapshot under way and what was handed to the writing thread, and ends it; the
    // copy stays. The document outlives the autosaver.
    ~CAutoSaver() override;
    // Removes this program's copy (after every write handed over before).
    void DiscardCopy();

    // Goes on writing into a copy left by a program that ended (the operator recovered it), so
    // it stays on disk until the list is saved.
    void Adopt(const RecoveryCopy& copy);
    // Takes a snapshot now (its first step at once, the others between events) and then hands
    // it to the writing thread. A snapshot started over when the list changes between its
    // steps, so the copy is always of one state of the list.
    void WriteNow();
    // Whether a snapshot is under way.
    bool IsSnapshotting() const { return m_cache.IsUpdating(); }
    // Finishes a snapshot under way and waits until the writing thread has done everything
    // handed to it (tests, benchmarks).
    bool WaitUntilWritten(int timeoutMs);
    // Whether a write is due (an edit or a failed write is waiting for its timer).
    bool IsWriteDue() const { return m_idleTimer.isActive() || m_maxTimer.isActive(); }
    // The copy this program writes.
    const RecoveryCopy& GetCopy() const { return m_copy; }
    // How long the UI thread spent on the last snapshot, all steps together, and on its longest
    // step, in nanoseconds.
    qint64 GetLastSnapshotNs() const { return m_lastSnapshotNs; }
    qint64 GetLastLongestStepNs() const { return m_lastLongestStepNs; }
    // How many cues the last snapshot copied (the others were shared with the one before).
    size_t GetLastCopiedCues() const { return m_cache.GetLastCopied(); }

signals:
    // A recovery copy was written (ok) or could not be (message says why; the list is left as it
    // was and the write is tried again within kMaxIntervalMs). UI thread.
    void written(bool ok, const QString& message);

private:
    struct Worker;
    void OnEdit();
    void OnModifiedChanged(bool modified);
    // Takes the fields of a list just opened, while opening keeps the window busy anyway, so
    // that the first autosave copies only what was edited.
    void OnContentsReset();
    // Frees chunks on the writing thread, after every write handed over before.
    void Release(CueSnapshotCache::ChunkList chunks);
    // One step of the snapshot under way; hands it over when it is complete. `budget`: cues.
    void OnStep(size_t budget = kStepCues);
    void AbandonSnapshot();
    void HandOver();

    CMVDoc* m_pDoc;
    CRecoveryStore m_store;
    CueSnapshotCache m_cache;  // the list's fields as of the last snapshot
    RecoveryCopy m_copy;
    QTimer m_idleTimer;
    QTimer m_maxTimer;
    QTimer m_stepTimer;                     // the next step of a snapshot
    CueSnapshotCache::ChunkList m_retired;  // chunks out of use, freed on the writing thread
    bool m_bRestart = false;                // an edit came since the snapshot's step before
    int m_restarts = 0;
    QThread m_thread;
    QObject* m_pContext = nullptr;  // lives in m_thread: queued calls run there
    std::shared_ptr<Worker> m_worker;
    std::atomic<int> m_pending{0};  // jobs handed over and not yet done (both threads)
    qint64 m_lastSnapshotNs = 0;
    qint64 m_lastLongestStepNs = 0;
};
