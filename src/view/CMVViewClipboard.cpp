// Clipboard commands of the cue list view: cut, copy and paste of cues.

#include "view/CMVView.h"

void CMVView::OnEditCut() {}

void CMVView::OnEditCopy() {}

void CMVView::OnEditPaste() {}

bool CMVView::OnUpdateEditCut() const { return HasSelection() && GetCurrentPlayer() == nullptr; }

bool CMVView::OnUpdateEditCopy() const { return HasSelection() && GetCurrentPlayer() == nullptr; }

bool CMVView::OnUpdateEditPaste() const { return false; }
