#pragma once

#include <QHash>
#include <QList>
#include <memory>
#include <vector>

#include "view/CueEditState.h"

class CQRecord;

// The stored fields of every cue of a list, kept from one autosave to the next so that a
// snapshot of a long list costs the UI thread a comparison with the records instead of a copy
// of them. The fields live in immutable chunks of consecutive cues; a snapshot shares the chunks
// (a reference count each), and Update copies only the chunks whose cues changed, moved, came
// or went.
//
// Whether a cue changed is told by its fields alone, without reading its texts: a chunk shares
// each text's bytes with the record, so the record's text cannot change without getting bytes
// of its own elsewhere (a shared text is copied before it is written), and the same place and
// length mean the same text. Nothing else has to report edits, so no edit can be missed.
//
// Update runs on the UI thread; chunks and snapshots are read on any thread.
class CueSnapshotCache {
public:
    static constexpr size_t kChunkCues = 1024;

    struct Chunk {
        std::vector<const CQRecord*> cues;  // which record each entry was taken from (a key)
        std::vector<CueFields> fields;
    };
    using ChunkList = std::vector<std::shared_ptr<const Chunk>>;

    // Brings the cache up to `cues` (the list in order) and returns the chunks of the list as it
    // is now. Chunks no longer used are appended to `retired`: whoever holds them last frees
    // them, and freeing a chunk releases many texts, so the caller hands them to another thread.
    ChunkList Update(const QList<CQRecord*>& cues, ChunkList* retired);

    // The same in steps, so that no step keeps the UI thread long: Begin, then Step until it
    // returns true; GetChunks() is then the list's. The list must not change between the steps
    // (its records could be gone): whoever changes it calls Begin again or Abandon. A step
    // looks at or copies about `budget` cues.
    void Begin(const QList<CQRecord*>& cues);
    bool Step(size_t budget, ChunkList* retired);
    // Gives up the update begun; the cache stays as it was.
    void Abandon(ChunkList* retired);
    bool IsUpdating() const { return m_bUpdating; }
    // The list the update begun looks at.
    const QList<CQRecord*>& GetList() const { return m_list; }
    const ChunkList& GetChunks() const { return m_chunks; }

    // How many cues the last update copied (benchmarks, tests).
    size_t GetLastCopied() const { return m_lastCopied; }
    // How many chunks hold the list now.
    size_t GetChunkCount() const { return m_chunks.size(); }

private:
    // Copies the cues from m_copyFrom up to `end` into new chunks.
    void CopyUpTo(qsizetype end, ChunkList* retired);

    ChunkList m_chunks;
    size_t m_lastCopied = 0;
    // The update under way.
    bool m_bUpdating = false;
    // Shares the storage of the list it was given, so a change of that list shows as storage of
    // its own; read only through const access, which never makes a copy of it.
    QList<CQRecord*> m_list;
    QHash<const CQRecord*, size_t> m_starts;
    std::vector<bool> m_kept;
    ChunkList m_next;
    qsizetype m_at = 0;
    qsizetype m_copyFrom = 0;  // the cues from here to m_at are to be copied
};
