#pragma once

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

    // How many cues the last Update copied (benchmarks, tests).
    size_t GetLastCopied() const { return m_lastCopied; }
    // How many chunks hold the list now.
    size_t GetChunkCount() const { return m_chunks.size(); }

private:
    ChunkList m_chunks;
    size_t m_lastCopied = 0;
};
