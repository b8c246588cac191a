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
    Begin(cues);
    Step(SIZE_MAX, retired);
    return m_chunks;
}

void CueSnapshotCache::Begin(const QList<CQRecord*>& cues) {
    m_list = cues;
    // Each chunk is found by its first cue.
    m_starts.clear();
    m_starts.reserve(static_cast<qsizetype>(m_chunks.size()));
    for (size_t i = 0; i < m_chunks.size(); ++i) m_starts.insert(m_chunks[i]->cues.front(), i);
    m_kept.assign(m_chunks.size(), false);
    m_next.clear();
    m_next.reserve(m_chunks.size() + 2);
    m_at = 0;
    m_copyFrom = 0;
    m_lastCopied = 0;
    m_bUpdating = true;
}

void CueSnapshotCache::Abandon(ChunkList* retired) {
    if (!m_bUpdating) return;
    // The chunks made so far go; those it kept stay the cache's.
    for (auto& chunk : m_next) retired->push_back(std::move(chunk));
    m_next.clear();
    m_list.clear();
    m_bUpdating = false;
}

void CueSnapshotCache::CopyUpTo(qsizetype end, ChunkList* retired) {
    if (end == m_copyFrom) return;
    // A short run joins the chunk before it, so that edits at one place do not leave many
    // small chunks behind.
    if (end - m_copyFrom < qsizetype(kChunkCues / 2) && !m_next.empty() &&
        m_next.back()->cues.size() + size_t(end - m_copyFrom) <= kChunkCues) {
        m_copyFrom -= static_cast<qsizetype>(m_next.back()->cues.size());
        retired->push_back(std::move(m_next.back()));
        m_next.pop_back();
    }
    // Chunks of about equal size.
    const qsizetype length = end - m_copyFrom;
    const qsizetype pieces = (length + qsizetype(kChunkCues) - 1) / qsizetype(kChunkCues);
    for (qsizetype k = 0; k < pieces; ++k) {
        auto chunk = std::make_shared<Chunk>();
        const qsizetype from = m_copyFrom + length * k / pieces;
        const qsizetype to = m_copyFrom + length * (k + 1) / pieces;
        chunk->cues.reserve(size_t(to - from));
        chunk->fields.reserve(size_t(to - from));
        for (qsizetype i = from; i < to; ++i) {
            chunk->cues.push_back(m_list.at(i));
            chunk->fields.push_back(CueFields::Of(*m_list.at(i)));
        }
        m_next.push_back(std::move(chunk));
    }
    m_lastCopied += size_t(length);
    m_copyFrom = end;
}

bool CueSnapshotCache::Step(size_t budget, ChunkList* retired) {
    if (!m_bUpdating) return true;
    const qsizetype count = m_list.size();
    size_t done = 0;
    while (m_at < count && done < budget) {
        const auto found = m_starts.constFind(m_list.at(m_at));
        if (found != m_starts.cend() && !m_kept[*found] && Holds(*m_chunks[*found], m_list, m_at)) {
            const auto size = static_cast<qsizetype>(m_chunks[*found]->cues.size());
            done += size_t(size);
            const qsizetype run = m_at - m_copyFrom;
            const bool joinsBefore =
                !m_next.empty() && m_next.back()->cues.size() + size_t(run) <= kChunkCues;
            if (run > 0 && run < qsizetype(kChunkCues / 2) && !joinsBefore &&
                size_t(run + size) <= kChunkCues) {
                // A short run with no chunk before it to join: it takes this one in.
                m_at += size;
                continue;
            }
            done += size_t(run);
            CopyUpTo(m_at, retired);
            m_kept[*found] = true;
            m_next.push_back(m_chunks[*found]);
            m_at += size;
            m_copyFrom = m_at;
        } else {
            ++done;
            ++m_at;
        }
    }
    if (m_at < count) return false;
    CopyUpTo(count, retired);
    for (size_t i = 0; i < m_chunks.size(); ++i) {
        if (!m_kept[i]) retired->push_back(std::move(m_chunks[i]));
    }
    m_chunks = std::move(m_next);
    m_next.clear();
    m_list.clear();
    m_bUpdating = false;
    return true;
}
