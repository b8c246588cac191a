// Clipboard commands of the cue list view: cut, copy and paste of whole cues. The payload is a
// cue array block (the body of a cue list file without its trailing word) in the program's own
// clipboard format, so cues move between lists and between running copies of the program.

#include <memory>
#include <optional>
#include <vector>

#include "cuelist/CMVDoc.h"
#include "cuelist/CQRecord.h"
#include "cuelist/CueArchive.h"
#include "view/CMVView.h"
#include "view/CueClipboard.h"
#include "view/CueListEdit.h"
#include "view/MessageBox.h"

namespace {

// The records of the given rows, in row order.
QList<CQRecord*> CuesOfRows(const CMVView& view, const QList<int>& rows) {
    QList<CQRecord*> cues;
    cues.reserve(rows.size());
    for (int row : rows) {
        if (CQRecord* cue = view.GetRowCue(row)) cues.append(cue);
    }
    return cues;
}

// Writes the selected cues and puts them on the clipboard; true when the clipboard took them.
bool CopySelectionToClipboard(const CMVView& view) {
    const QList<CQRecord*> cues = CuesOfRows(view, view.GetSelectedRows());
    return CueClipboard::Place(CueClipboard::PadToBlocks(CueArchive::EncodeCueArray(cues)));
}

}  // namespace

void CMVView::OnEditCut() {
    // The cues leave the list only once the clipboard holds them: a refused clipboard loses
    // nothing.
    if (!CopySelectionToClipboard(*this)) return;
    RemoveSelectedCues(QStringLiteral("Cut"));
}

void CMVView::OnEditCopy() { CopySelectionToClipboard(*this); }

void CMVView::OnEditPaste() {
    if (GetDocument() == nullptr) return;
    const std::optional<QByteArray> payload = CueClipboard::Fetch();
    if (!payload) return;  // another program emptied the clipboard meanwhile

    // Read everything before touching the list: a payload that breaks the format inserts
    // nothing, the records read so far go with the vector, and the clipboard keeps its data.
    std::vector<std::unique_ptr<CQRecord>> cues;
    if (CueArchive::DecodeCueArray(*payload, &cues) != CueArchive::kNone) {
        mvui::ShowMessage(this, QStringLiteral("Unexpected file format."), QMessageBox::Warning);
        return;
    }

    // Before the first selected row, keeping the payload's order; after the last row when
    // nothing is selected. The selected rows stay selected, moved down.
    // An empty payload changes nothing that could be undone; the document still counts as
    // modified, as it always has.
    const int count = static_cast<int>(cues.size());
    std::optional<CueListEdit> edit;
    if (count > 0) edit.emplace(*this);
    const QList<int> selected = GetSelectedRows();
    int index = selected.isEmpty() ? -1 : selected.first();
    for (auto& cue : cues) {
        InsertListItem(cue.release(), index);
        if (index != -1) ++index;
    }
    RebuildFromList();  // the document takes over the new records
    if (edit)
        edit->Commit(CountedEditName(QStringLiteral("Paste"), count, QStringLiteral("Cue"),
                                     QStringLiteral("Cues")));
}

bool CMVView::OnUpdateEditCut() const { return HasSelection() && GetCurrentPlayer() == nullptr; }

bool CMVView::OnUpdateEditCopy() const { return HasSelection() && GetCurrentPlayer() == nullptr; }

bool CMVView::OnUpdateEditPaste() const { return CueClipboard::HasCues(); }
