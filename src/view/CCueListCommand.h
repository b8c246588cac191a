#pragma once

#include <QList>
#include <QString>
#include <QUndoCommand>
#include <cstdint>
#include <vector>

#include "view/CueEditState.h"

class CMVView;
class CQRecord;

// One edit of the cue list on the view's undo stack. It holds the records themselves, not
// copies: undoing puts back the very records that left, in their old order, with the last cue
// number, the selection and the highlight as they were; fields changed in place are put back
// field by field. Records out of the list belong to the command (those that left when it was
// done, or those it brought when it was undone) and die with it. The edit has been carried out
// when the command is pushed, so the stack's first redo does nothing. UI thread only.
class CCueListCommand : public QUndoCommand {
public:
    CCueListCommand(CMVView* view, const QString& text, CueListState listBefore,
                    CueListState listAfter, CueViewState viewBefore, CueViewState viewAfter,
                    std::vector<CueFieldChange> fieldChanges, bool needsIdle);
    ~CCueListCommand() override;

    void redo() override;
    void undo() override;

    // Whether the edit is one the show-control rules allow only while no cue plays (Delete, Cut,
    // Edit cue); its undo and redo follow the same rule.
    bool NeedsIdle() const { return m_bNeedsIdle; }
    // Records this command owns at the moment (out of the list).
    QList<CQRecord*> OwnedRecords() const;

private:
    void Apply(bool forward);

    CMVView* m_pView;
    CueListState m_listBefore;
    CueListState m_listAfter;
    CueViewState m_viewBefore;
    CueViewState m_viewAfter;
    std::vector<CueFieldChange> m_fields;
    bool m_bListChanged;
    bool m_bNeedsIdle;
    bool m_bDone = true;      // carried out (as when pushed) or undone
    bool m_bSkipRedo = true;  // the push's redo: already carried out
};
