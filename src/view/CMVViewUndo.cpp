// Undo and redo of the cue list view. Every edit is a CCueListCommand on the view's stack,
// made through CueListEdit; the document's modified flag follows the stack's clean state, so
// undoing back to the saved list clears it.

#include <QHash>
#include <QItemSelectionModel>
#include <QScrollBar>
#include <algorithm>

#include "cuelist/CMVDoc.h"
#include "cuelist/CQRecord.h"
#include "view/CCueListCommand.h"
#include "view/CCueListModel.h"
#include "view/CMVView.h"

void CMVView::ConnectUndo() {
    connect(&m_undoStack, &QUndoStack::indexChanged, this, &CMVView::SyncModifiedFlag);
    connect(&m_undoStack, &QUndoStack::cleanChanged, this, &CMVView::SyncModifiedFlag);
    if (m_pDoc == nullptr) return;
    connect(m_pDoc, &CMVDoc::modifiedChanged, this, &CMVView::OnDocModifiedChanged);
    // A new or opened list starts a new history; the records of the old one are gone.
    connect(m_pDoc, &CMVDoc::contentsReset, this, [this] { m_undoStack.clear(); });
}

void CMVView::OnDocModifiedChanged(bool modified) {
    if (m_nUndoGuard > 0) return;
    if (!modified) {
        // Saved: this is the state the file holds.
        m_undoStack.setClean();
    } else if (m_undoStack.isClean()) {
        // Changed past the stack: no state on it equals the file any more.
        m_undoStack.resetClean();
    }
}

void CMVView::SyncModifiedFlag() {
    if (m_nUndoGuard > 0 || m_pDoc == nullptr) return;
    m_pDoc->SetModifiedFlag(!m_undoStack.isClean());
}

void CMVView::BeginUndoGuard() { ++m_nUndoGuard; }

void CMVView::EndUndoGuard(bool changedOutside) {
    if (m_nUndoGuard > 0) --m_nUndoGuard;
    if (changedOutside) m_undoStack.resetClean();
    SyncModifiedFlag();
}

void CMVView::PushUndoCommand(CCueListCommand* command) { m_undoStack.push(command); }

const CCueListCommand* CMVView::UndoCommandAt(int index) const {
    return dynamic_cast<const CCueListCommand*>(m_undoStack.command(index));
}

bool CMVView::OnUpdateUndo() const {
    if (!m_undoStack.canUndo()) return false;
    const CCueListCommand* command = UndoCommandAt(m_undoStack.index() - 1);
    return command == nullptr || !command->NeedsIdle() || GetCurrentPlayer() == nullptr;
}

bool CMVView::OnUpdateRedo() const {
    if (!m_undoStack.canRedo()) return false;
    const CCueListCommand* command = UndoCommandAt(m_undoStack.index());
    return command == nullptr || !command->NeedsIdle() || GetCurrentPlayer() == nullptr;
}

void CMVView::OnUndo() {
    if (OnUpdateUndo()) m_undoStack.undo();
}

void CMVView::OnRedo() {
    if (OnUpdateRedo()) m_undoStack.redo();
}

QString CMVView::CountedEditName(const QString& verb, int count, const QString& one,
                                 const QString& many) {
    if (count == 1) return verb + QLatin1Char(' ') + one;
    return QStringLiteral("%1 %2 %3").arg(verb).arg(count).arg(many);
}

CueListState CMVView::CaptureListState() const {
    CueListState state;
    if (m_pDoc == nullptr) return state;
    state.cues = m_pDoc->GetCues();
    state.lastCueNumber = m_pDoc->m_nLastCueNumber;
    return state;
}

CueViewState CMVView::CaptureViewState() const {
    CueViewState state;
    const QList<int> rows = GetSelectedRows();
    state.selected.reserve(rows.size());
    for (int row : rows) state.selected.append(GetRowCue(row));
    const QModelIndex current = currentIndex();
    if (current.isValid()) {
        state.current = GetRowCue(current.row());
        state.currentColumn = current.column();
    }
    return state;
}

void CMVView::ApplyListState(const CueListState& state) {
    if (m_pDoc == nullptr) return;
    const int vertical = verticalScrollBar()->value();
    const int horizontal = horizontalScrollBar()->value();
    // Records that leave have their players stopped and their rows removed first.
    m_pDoc->ReplaceCues(state.cues);
    m_pDoc->m_nLastCueNumber = state.lastCueNumber;
    FillList();
    verticalScrollBar()->setValue(vertical);
    horizontalScrollBar()->setValue(horizontal);
}

void CMVView::RestoreViewState(const CueViewState& state) {
    QHash<const CQRecord*, int> rowOf;
    const auto& rows = m_pModel->Rows();
    rowOf.reserve(static_cast<qsizetype>(rows.size()));
    for (size_t r = 0; r < rows.size(); ++r) rowOf.insert(rows[r], static_cast<int>(r));

    QList<int> selectedRows;
    selectedRows.reserve(state.selected.size());
    for (const CQRecord* cue : state.selected) {
        const int row = rowOf.value(cue, -1);
        if (row >= 0) selectedRows.append(row);
    }
    std::sort(selectedRows.begin(), selectedRows.end());
    // One range per run of adjacent rows: a selection of thousands of pasted cues stays cheap.
    QItemSelection selection;
    for (qsizetype i = 0; i < selectedRows.size();) {
        qsizetype j = i;
        while (j + 1 < selectedRows.size() && selectedRows[j + 1] <= selectedRows[j] + 1) ++j;
        selection.append(QItemSelectionRange(m_pModel->index(selectedRows[i], 0),
                                             m_pModel->index(selectedRows[j], kColumnCount - 1)));
        i = j + 1;
    }
    selectionModel()->select(selection, QItemSelectionModel::ClearAndSelect);
    const int current = state.current != nullptr ? rowOf.value(state.current, -1) : -1;
    if (current >= 0) {
        const QModelIndex index = m_pModel->index(current, state.currentColumn);
        selectionModel()->setCurrentIndex(index, QItemSelectionModel::NoUpdate);
        scrollTo(index);
    } else {
        selectionModel()->setCurrentIndex(QModelIndex(), QItemSelectionModel::NoUpdate);
    }
    viewport()->update();
}
