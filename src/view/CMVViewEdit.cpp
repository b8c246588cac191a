// Editing commands of the cue list view: add, edit, delete, dropped WAV files and moving a row
// by dragging it. Every command changes the rows and the document together, so that row i and
// the document's cue i stay the same record.

#include <QApplication>
#include <QCursor>
#include <QDragEnterEvent>
#include <QDragLeaveEvent>
#include <QDragMoveEvent>
#include <QDropEvent>
#include <QFile>
#include <QFileInfo>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QKeyEvent>
#include <QMimeData>
#include <QMouseEvent>
#include <QPainter>
#include <QUrl>
#include <functional>
#include <utility>

#include "cuelist/CMVDoc.h"
#include "cuelist/CQRecord.h"
#include "platform/media/SoundFileOpener.h"
#include "view/CCueListModel.h"
#include "view/CMVView.h"
#include "view/CueListEdit.h"
#include "view/MessageBox.h"

namespace {

// Lives while a row is dragged: remembers what the drag needs besides the view's drag members
// and ends the drag when it is abandoned. Escape ends it (and still reaches the frame, where it
// silences everything), and so do the window losing activation and a release that never came
// (a pointer move without the left button).
class RowDragWatcher : public QObject {
public:
    RowDragWatcher(QObject* parent, CQRecord* cue, std::function<void()> cancel)
        : QObject(parent), m_cue(cue), m_cancel(std::move(cancel)) {
        setObjectName(QStringLiteral("rowDragWatcher"));
        qApp->installEventFilter(this);
    }
    ~RowDragWatcher() override { qApp->removeEventFilter(this); }

    CQRecord* Cue() const { return m_cue; }
    // The drag is over: watch nothing more (the object itself goes later).
    void Disarm() {
        m_cancel = nullptr;
        qApp->removeEventFilter(this);
        setObjectName(QString());  // a new drag must not find it
    }

    // The selection before the drag cleared it, given back when the move is undone.
    CueViewState m_viewBefore;
    // What the drag changed on the viewport, to be put back.
    bool m_bHadCursor = false;
    QCursor m_oldCursor;
    bool m_bHadMouseTracking = false;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        switch (event->type()) {
            case QEvent::ShortcutOverride:
            case QEvent::KeyPress:
                if (static_cast<QKeyEvent*>(event)->key() == Qt::Key_Escape) Cancel();
                break;
            case QEvent::ApplicationDeactivate:
            case QEvent::WindowDeactivate:
                Cancel();
                break;
            default:
                break;
        }
        return QObject::eventFilter(watched, event);
    }

private:
    void Cancel() {
        // The cancel deletes this watcher later; it must not run twice.
        if (auto cancel = std::exchange(m_cancel, nullptr)) cancel();
    }

    CQRecord* m_cue;
    std::function<void()> m_cancel;
};

RowDragWatcher* FindWatcher(const QObject* view) {
    return view->findChild<RowDragWatcher*>(QStringLiteral("rowDragWatcher"),
                                            Qt::FindDirectChildrenOnly);
}

// Where a row drag started: the row under the press, kept between press and move.
struct PressState {
    const QObject* view = nullptr;
    int row = -1;
    QPoint pos;
};

}  // namespace

// ---- Add, edit, delete ----

void CMVView::OnAddCue() {
    if (m_pDoc == nullptr) return;
    CueListEdit edit(*this);
    const QList<int> selected = GetSelectedRows();
    const int index = selected.isEmpty() ? 0 : selected.first() + 1;
    CQRecord* cue = m_pDoc->AddCue(index);
    if (cue->EditSettings()) {
        const int row = InsertListItem(cue, index);
        SelectCueGroup(row);
        edit.Commit(QStringLiteral("Add Cue"));
    } else {
        // The ID it drew is not given back and the document stays modified (the edit, left
        // uncommitted, sees the used-up number).
        m_pDoc->DeleteCue(m_pDoc->IndexOf(cue));
    }
}

void CMVView::OnEditCue() {
    const QList<int> selected = GetSelectedRows();
    if (selected.isEmpty()) return;
    EditCueAt(selected.first());
}

void CMVView::EditCueAt(int row) {
    CQRecord* cue = GetRowCue(row);
    if (cue == nullptr || m_pDoc == nullptr) return;
    CueListEdit edit(*this, /*needsIdle=*/true);
    edit.NoteFields(cue);
    if (!cue->EditSettings()) return;
    UpdateListItem(cue);
    m_pDoc->SetModifiedFlag(true);
    edit.Commit(QStringLiteral("Edit ") + cue->GetRowText(1));
}

void CMVView::OnEditClear() { RemoveSelectedCues(); }

void CMVView::RemoveSelectedCues(const QString& verb) {
    if (m_pDoc == nullptr) return;
    CueListEdit edit(*this, /*needsIdle=*/true);
    const QList<int> rows = GetSelectedRows();
    RemoveListItems(rows);
    // The document stops the players of the cues that leave (through aboutToDestroyCues)
    // before handing them to the undo history, so no player outlives its place in the list.
    const auto& remaining = m_pModel->Rows();
    m_pDoc->ReplaceCues(QList<CQRecord*>(remaining.begin(), remaining.end()));
    // No row is left selected or focused.
    selectionModel()->clear();
    edit.Commit(CountedEditName(verb, static_cast<int>(rows.size()), QStringLiteral("Cue"),
                                QStringLiteral("Cues")));
}

bool CMVView::OnUpdateAddCue() const { return true; }

bool CMVView::OnUpdateEditCue() const {
    return GetCurrentPlayer() == nullptr && GetSelectedRows().size() == 1;
}

bool CMVView::OnUpdateEditClear() const { return GetCurrentPlayer() == nullptr && HasSelection(); }

// ---- Dropped files ----

void CMVView::OnDropFiles(const QStringList& paths, const QPoint& pos) {
    if (paths.isEmpty() || m_pDoc == nullptr) return;
    // Every sound file of the drop becomes a cue, in the order given, before the row under
    // the point (or after the last row); the other entries are named afterwards.
    const QModelIndex hit = indexAt(pos);
    int index = hit.isValid() ? hit.row() : -1;
    CueListEdit edit(*this);
    int added = 0;
    QStringList skipped;
    for (const QString& entry : paths) {
        const QByteArray path = QFile::encodeName(entry);
        if (entry.isEmpty() || !mvmedia::IsSoundFileName(path)) {
            if (!entry.isEmpty()) skipped.append(QFileInfo(entry).fileName());
            continue;
        }
        CQRecord* cue = m_pDoc->AddCue(index);
        cue->SetFilePath(path);  // a fresh cue takes the file's name as its description
        InsertListItem(cue, index);
        if (index >= 0) ++index;
        ++added;
    }
    if (added > 0) {
        edit.Commit(CountedEditName(QStringLiteral("Drop"), added, QStringLiteral("File"),
                                    QStringLiteral("Files")));
    }
    if (!skipped.isEmpty()) {
        mvui::ShowMessage(this,
                          QStringLiteral("These files are not sound files and were not added:\n%1")
                              .arg(skipped.join(QLatin1Char('\n'))),
                          QMessageBox::Warning);
    }
}

void CMVView::dragEnterEvent(QDragEnterEvent* event) {
    if (event->mimeData()->hasUrls()) {
        event->acceptProposedAction();
        return;
    }
    QTableView::dragEnterEvent(event);
}

void CMVView::dragMoveEvent(QDragMoveEvent* event) {
    if (event->mimeData()->hasUrls()) {
        event->acceptProposedAction();
        return;
    }
    QTableView::dragMoveEvent(event);
}

void CMVView::dragLeaveEvent(QDragLeaveEvent* event) { QTableView::dragLeaveEvent(event); }

void CMVView::dropEvent(QDropEvent* event) {
    if (!event->mimeData()->hasUrls()) {
        QTableView::dropEvent(event);
        return;
    }
    QStringList paths;
    for (const QUrl& url : event->mimeData()->urls()) {
        paths.append(url.isLocalFile() ? url.toLocalFile() : QString());
    }
    event->acceptProposedAction();
    OnDropFiles(paths, event->position().toPoint());
}

// ---- Moving a row by dragging it ----

namespace {
PressState& Press() {
    static PressState press;
    return press;
}
}  // namespace

void CMVView::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) {
        const QModelIndex hit = indexAt(event->position().toPoint());
        Press().view = this;
        Press().row = hit.isValid() ? hit.row() : -1;
        Press().pos = event->position().toPoint();
    }
    QTableView::mousePressEvent(event);
}

void CMVView::BeginRowDrag(int row) {
    if (row < 0 || row >= GetRowCount()) return;
    const CueViewState viewBefore = CaptureViewState();
    // Only this row moves, however many were selected.
    selectionModel()->clear();
    m_bDragging = true;
    m_nDragItem = row;
    m_nDropGap = -1;
    auto* watcher = new RowDragWatcher(this, GetRowCue(row), [this] { EndRowDrag(false); });
    watcher->m_viewBefore = viewBefore;
    watcher->m_bHadCursor = viewport()->testAttribute(Qt::WA_SetCursor);
    watcher->m_oldCursor = viewport()->cursor();
    watcher->m_bHadMouseTracking = viewport()->hasMouseTracking();
    viewport()->setCursor(Qt::DragMoveCursor);
    // Moves without the button must arrive too: they tell that the release went elsewhere.
    viewport()->setMouseTracking(true);
}

namespace {

int DropGapAt(const QTableView& view, int y) {
    // The number of rows whose midpoint lies above the pointer: 0 above the first row's
    // midpoint, the row count below the last row's. Rows are laid out top to bottom, so the
    // first row whose midpoint is not above y is found by halving.
    int lo = 0;
    int hi = view.model()->rowCount();
    while (lo < hi) {
        const int row = lo + (hi - lo) / 2;
        const int top = view.rowViewportPosition(row);
        const int bottom = top + view.rowHeight(row);
        const int mid = (top + bottom) / 2;
        if (y > mid) {
            lo = row + 1;
        } else {
            hi = row;
        }
    }
    return lo;
}

// The insertion line of a gap: along the top edge of row `gap`, or along the bottom edge of the
// last row for the gap after it; as wide as the row.
QRect DropGapRect(const QTableView& view, int gap) {
    const int n = view.model()->rowCount();
    if (gap < 0 || n == 0) return {};
    const int row = gap < n ? gap : n - 1;
    const int top = view.rowViewportPosition(row);
    const int y = gap < n ? top : top + view.rowHeight(row);
    const QHeaderView* header = view.horizontalHeader();
    const int width = std::min(view.viewport()->width(), header->length() - header->offset());
    return QRect(0, y - 1, std::max(width, 0), 2);
}

}  // namespace

void CMVView::mouseMoveEvent(QMouseEvent* event) {
    if (m_bDragging) {
        if (!(event->buttons() & Qt::LeftButton)) {
            EndRowDrag(false);  // the release went elsewhere: the capture was lost
            return;
        }
        const int gap = DropGapAt(*this, event->position().toPoint().y());
        if (gap != m_nDropGap) {
            viewport()->update(DropGapRect(*this, m_nDropGap).adjusted(0, -1, 0, 1));
            m_nDropGap = gap;
            viewport()->update(DropGapRect(*this, m_nDropGap).adjusted(0, -1, 0, 1));
        }
        return;
    }
    if ((event->buttons() & Qt::LeftButton) && Press().view == this && Press().row >= 0 &&
        (event->position().toPoint() - Press().pos).manhattanLength() >=
            QApplication::startDragDistance()) {
        const int row = Press().row;
        Press().row = -1;
        BeginRowDrag(row);
        return;
    }
    QTableView::mouseMoveEvent(event);
}

void CMVView::mouseReleaseEvent(QMouseEvent* event) {
    Press().row = -1;
    if (m_bDragging && event->button() == Qt::LeftButton) {
        EndRowDrag(true);
        return;
    }
    QTableView::mouseReleaseEvent(event);
}

void CMVView::EndRowDrag(bool drop) {
    if (!m_bDragging) return;
    RowDragWatcher* watcher = FindWatcher(this);
    const int s = m_nDragItem;
    const int g = m_nDropGap;
    // The list may have changed under the drag (a key command): move only the row that was
    // picked up, and only when it is still where it was.
    const bool sameRow = watcher != nullptr && GetRowCue(s) == watcher->Cue();
    if (drop && sameRow && g != -1 && g <= GetRowCount() && g != s && g != s + 1) {
        CueListEdit edit(*this);
        edit.SetViewStateBefore(watcher->m_viewBefore);
        MoveListItem(s, g);
        const int moved = g < s ? g : g - 1;
        SelectRows({moved}, moved);
        RebuildFromList();
        edit.Commit(CountedEditName(QStringLiteral("Move"), 1, QStringLiteral("Cue"),
                                    QStringLiteral("Cues")));
    }
    m_bDragging = false;
    m_nDragItem = -1;
    m_nDropGap = -1;
    // The list's own press handling never saw the release; leave its selecting state too.
    setState(QAbstractItemView::NoState);
    if (watcher != nullptr) {
        if (watcher->m_bHadCursor) {
            viewport()->setCursor(watcher->m_oldCursor);
        } else {
            viewport()->unsetCursor();
        }
        viewport()->setMouseTracking(watcher->m_bHadMouseTracking);
        watcher->Disarm();
        watcher->deleteLater();
    }
    viewport()->update();
}

void CMVView::PaintDropGap(QPainter& painter) {
    if (m_nDropGap < 0) return;
    const QRect line = DropGapRect(*this, m_nDropGap);
    if (line.isEmpty()) return;
    painter.fillRect(line, palette().color(QPalette::Text));
}
