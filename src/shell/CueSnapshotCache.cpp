#include "shell/CueSnapshotCache.h"

#include <QHash>

#include "cuelist/CQRecord.h"

namespace {

// The same bytes: the chunk keeps them alive, so no other text can have been put there.
bool SameText(const QByteArray& kept, const QByteArray& now) {
    return kept.constData() == now.constData() && kept.size() == now.size();
}

bool Unchanged(const CueFields& f, const CQRecord& cue) {
    return f.flags == cue.m_dwFlags.load(std::memory_order_relaxed) &&
           f.channel == cue.m_nChannel && f.volume == cue.m_nVolume && f.pan == cue.m_nPan &&
           f.fadeIn == cue.m_dwFadeIn && f.fadeOut == cue.m_dwFadeOut &&
           f.reserved == cue.m_byReserved && SameText(f.id, cue.m_strID) &&
           SameText(f.description, cue.m_strDescription) && SameText(f.path, cue.m_strPath) &&
           SameText(f.notes, cue.m_strNotes);
}

// Whether `chunk` holds, unchanged, the cues of `cues` from `at` on.
bool Holds(const CueSnapshotCache::Chunk& chunk, const QList<CQRecord*>& cues, qsizetype at) {
    const auto count = static_cast<qsizetype>(chunk.cues.size());
    if (at + count > cues.size()) return false;
    for (qsizetype i = 0; i < count; ++i) {
        const CQRecord* cue = cues[at + i];
        if (cue != chunk.cues[static_cast<size_t>(i)] ||
            !Unchanged(chunk.fields[static_cast<size_t>(i)], *cue))
            return false;
    }
    return true;
}

}  // namespace

CueSnapshotCache::ChunkList CueSnapshotCache::Update(const QList<CQRecord*>& cues,
                                                     ChunkList* retired) {
    // Each chunk is found by its first cue.
    QHash<const CQRecord*, size_t> starts;
    starts.reserve(static_cast<qsizetype>(m_chunks.size()));
    for (size_t i = 0; i < m_chunks.size(); ++i) starts.insert(m_chunks[i]->cues.front(), i);
    std::vector<bool> kept(m_chunks.size(), false);
    ChunkList next;
    next.reserve(m_chunks.size() + 2);
    m_lastCopied = 0;

    const qsizetype count = cues.size();
    qsizetype copyFrom = 0;  // the cues from here to the current one are copied
    // Copies the cues [copyFrom, end) into new chunks of about equal size. A short run joins
    // the chunk before it, so that edits at one place do not leave many small chunks behind.
    auto copyUpTo = [&](qsizetype end) {
        if (end == copyFrom) return;
        if (end - copyFrom < qsizetype(kChunkCues / 2) && !next.empty() &&
            next.back()->cues.size() + size_t(end - copyFrom) <= kChunkCues) {
            copyFrom -= static_cast<qsizetype>(next.back()->cues.size());
            retired->push_back(std::move(next.back()));
            next.pop_back();
        }
        const qsizetype length = end - copyFrom;
        const qsizetype pieces = (length + qsizetype(kChunkCues) - 1) / qsizetype(kChunkCues);
        for (qsizetype k = 0; k < pieces; ++k) {
            auto chunk = std::make_shared<Chunk>();
            const qsizetype from = copyFrom + length * k / pieces;
            const qsizetype to = copyFrom + length * (k + 1) / pieces;
            chunk->cues.reserve(size_t(to - from));
            chunk->fields.reserve(size_t(to - from));
            for (qsizetype i = from; i < to; ++i) {
                chunk->cues.push_back(cues[i]);
                chunk->fields.push_back(CueFields::Of(*cues[i]));
            }
            next.push_back(std::move(chunk));
        }
        m_lastCopied += size_t(length);
        copyFrom = end;
    };

    qsizetype at = 0;
    while (at < count) {
        const auto found = starts.constFind(cues[at]);
        if (found != starts.cend() && !kept[*found] && Holds(*m_chunks[*found], cues, at)) {
            const auto size = static_cast<qsizetype>(m_chunks[*found]->cues.size());
            const qsizetype run = at - copyFrom;
            const bool joinsBefore =
                !next.empty() && next.back()->cues.size() + size_t(run) <= kChunkCues;
            if (run > 0 && run < qsizetype(kChunkCues / 2) && !joinsBefore &&
                size_t(run + size) <= kChunkCues) {
                // A short run with no chunk before it to join: it takes this one in.
                at += size;
                continue;
            }
            copyUpTo(at);
            kept[*found] = true;
            next.push_back(m_chunks[*found]);
            at += size;
            copyFrom = at;
        } else {
            ++at;
        }
    }
    copyUpTo(count);

    for (size_t i = 0; i < m_chunks.size(); ++i) {
        if (!kept[i]) retired->push_back(std::move(m_chunks[i]));
    }
    m_chunks = next;
    return next;
}
