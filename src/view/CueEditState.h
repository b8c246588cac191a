#pragma once

#include <QByteArray>
#include <QList>
#include <cstdint>

#include "cuelist/CQRecord.h"

// What an undoable edit of the cue list remembers of the list and of the view before and after
// it. Records are named by pointer: an edit keeps the records themselves, never copies.

// The list: its records in order and the number the next default cue ID follows.
struct CueListState {
    QList<CQRecord*> cues;
    int32_t lastCueNumber = 0;

    bool operator==(const CueListState& other) const {
        return lastCueNumber == other.lastCueNumber && cues == other.cues;
    }
};

// The selected records and the focused one (the highlight) with its column.
struct CueViewState {
    QList<CQRecord*> selected;
    CQRecord* current = nullptr;
    int currentColumn = 0;
};

// Every stored field of a record, for edits made in place (the Cue Settings dialog).
struct CueFields {
    QByteArray id;
    QByteArray description;
    QByteArray path;
    uint32_t flags = 0;
    int32_t channel = 0;
    int32_t volume = 0;
    int32_t pan = 0;
    uint32_t fadeIn = 0;
    uint32_t fadeOut = 0;
    QByteArray notes;
    uint8_t reserved = 0;

    static CueFields Of(const CQRecord& cue) {
        CueFields f;
        f.id = cue.m_strID;
        f.description = cue.m_strDescription;
        f.path = cue.m_strPath;
        f.flags = cue.m_dwFlags.load(std::memory_order_relaxed);
        f.channel = cue.m_nChannel;
        f.volume = cue.m_nVolume;
        f.pan = cue.m_nPan;
        f.fadeIn = cue.m_dwFadeIn;
        f.fadeOut = cue.m_dwFadeOut;
        f.notes = cue.m_strNotes;
        f.reserved = cue.m_byReserved;
        return f;
    }

    void ApplyTo(CQRecord& cue) const {
        cue.m_strID = id;
        cue.m_strDescription = description;
        cue.m_strPath = path;
        // A player's worker may read the Looped bit meanwhile: one atomic store of the word.
        cue.m_dwFlags.store(flags, std::memory_order_relaxed);
        cue.m_nChannel = channel;
        cue.m_nVolume = volume;
        cue.m_nPan = pan;
        cue.m_dwFadeIn = fadeIn;
        cue.m_dwFadeOut = fadeOut;
        cue.m_strNotes = notes;
        cue.m_byReserved = reserved;
    }

    bool operator==(const CueFields&) const = default;
};

// A record changed in place, with its fields before and after.
struct CueFieldChange {
    CQRecord* cue = nullptr;
    CueFields before;
    CueFields after;
};
