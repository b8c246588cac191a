#pragma once

#include <QString>
#include <utility>
#include <vector>

#include "view/CueEditState.h"

class CMVView;
class CQRecord;

// The one way to change the cue list so that the change can be undone. Make one before touching
// anything, change the rows and the document, then Commit with the name the Edit menu shows
// after "Undo " ("Delete 3 Cues"). While it lives, the document's modified flag is left to it.
//
//     CueListEdit edit(view, /*needsIdle=*/false);
//     edit.NoteFields(cue);               // before changing a record in place
//     cue->m_strPath = collectedPath;
//     view.UpdateListItem(cue);
//     ... or replace records: view rows + CMVDoc::ReplaceCues(newOrder), never destroying one
//     edit.Commit(QStringLiteral("Collect Show Folder"));
//
// Records that leave the document must go through CMVDoc::ReplaceCues (which hands them out
// instead of destroying them): the command keeps them to put them back. Without Commit, a change
// of the list or of the last cue number stays a change that cannot be undone, and the document
// stays modified until it is saved. UI thread only.
class CueListEdit {
public:
    // `needsIdle`: the edit is one the show-control rules forbid while a cue plays; its undo and
    // redo are then disabled while a cue plays too.
    explicit CueListEdit(CMVView& view, bool needsIdle = false);
    ~CueListEdit();
    CueListEdit(const CueListEdit&) = delete;
    CueListEdit& operator=(const CueListEdit&) = delete;

    // The selection to give back on undo, when the edit began before this object (a row drag
    // clears the selection when it starts).
    void SetViewStateBefore(const CueViewState& state) { m_viewState = state; }
    // Remembers the stored fields of `cue` before it is changed in place.
    void NoteFields(CQRecord* cue);
    // Puts the edit on the view's undo stack. Only the first call counts.
    void Commit(const QString& text);

private:
    CMVView& m_view;
    CueListState m_list;
    CueViewState m_viewState;
    std::vector<std::pair<CQRecord*, CueFields>> m_noted;
    bool m_bNeedsIdle;
    bool m_bOpen = true;
};
