#include "view/CMVView.h"

#include <QGuiApplication>
#include <QHeaderView>
#include <QItemSelection>
#include <QItemSelectionModel>
#include <QKeyEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QScrollBar>
#include <QStyle>
#include <algorithm>
#include <utility>

#include "cuelist/CMVDoc.h"
#include "cuelist/CQRecord.h"
#include "view/CCueListModel.h"
#include "view/CPlayingMarkDelegate.h"
#include "view/CommandIds.h"
#include "view/PlayerSlot.h"

CMVView::CMVView(CMVDoc* doc, QWidget* parent)
    : QTableView(parent), m_pDoc(doc), m_pModel(new CCueListModel(this)) {
    setModel(m_pModel);
    setItemDelegate(new CPlayingMarkDelegate(horizontalHeader(), this));

    // Report style: whole rows selected, several at once, grid lines, no in-place editing.
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setShowGrid(true);
    setWordWrap(false);
    setSortingEnabled(false);
    setCornerButtonEnabled(false);
    setTabKeyNavigation(false);
    setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
    setAcceptDrops(true);
    setDropIndicatorShown(false);

    // Every row has the same height, so a long list costs nothing to lay out.
    QHeaderView* rows = verticalHeader();
    rows->hide();
    rows->setSectionResizeMode(QHeaderView::Fixed);
    rows->setDefaultSectionSize(fontMetrics().height() + 4);

    QHeaderView* columns = horizontalHeader();
    columns->setSectionsMovable(true);
    columns->setHighlightSections(false);
    columns->setStretchLastSection(false);
    columns->setSectionResizeMode(QHeaderView::Interactive);
    columns->setMinimumSectionSize(0);
    columns->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    SetUpColumns();

    auto countChanged = [this] { emit cueCountChanged(GetRowCount()); };
    connect(m_pModel, &QAbstractItemModel::rowsInserted, this, countChanged);
    connect(m_pModel, &QAbstractItemModel::rowsRemoved, this, countChanged);
    connect(m_pModel, &QAbstractItemModel::modelReset, this, countChanged);

    // A double click on a row edits its cue; unlike the Edit cue command it works while cues play.
    connect(this, &QAbstractItemView::doubleClicked, this, [this](const QModelIndex& index) {
        if (index.isValid()) EditCueAt(index.row());
    });

    m_timer.setInterval(kTimerIntervalMs);
    m_timer.setTimerType(Qt::PreciseTimer);
    connect(&m_timer, &QTimer::timeout, this, &CMVView::OnTimer);

    m_startPosition = [] { return 0; };
    ConnectDocument();
    ConnectUndo();
    FillList();
    SetUpShowCheck();
}

void CMVView::ConnectDocument() {
    if (m_pDoc == nullptr) return;
    // Records are about to be destroyed: their players stop first and no row keeps them.
    connect(m_pDoc, &CMVDoc::aboutToDestroyCues, this,
            [this](const QList<CQRecord*>& cues) { StopPlayersOf(cues); });
    // A new or opened list starts with the columns as made and all its rows.
    connect(m_pDoc, &CMVDoc::contentsReset, this, &CMVView::OnInitialUpdate);
    // The document going away first must not leave rows pointing into it.
    connect(m_pDoc, &QObject::destroyed, this, [this] {
        StopAllPlayers();
        m_pDoc = nullptr;
        m_undoStack.clear();
        m_pModel->Reset({});
    });
}

void CMVView::SetUpColumns() {
    QHeaderView* columns = horizontalHeader();
    // Back to the natural order and the initial widths, as if the columns were made anew.
    for (int logical = 0; logical < kColumnCount; ++logical) {
        const int visual = columns->visualIndex(logical);
        if (visual != logical && visual >= 0) columns->moveSection(visual, logical);
        columns->resizeSection(logical, GetDefaultColumnWidth(logical));
        columns->showSection(logical);
    }
}

void CMVView::OnInitialUpdate() {
    SetUpColumns();
    FillList();
}

void CMVView::FillList() {
    m_pModel->Reset(m_pDoc != nullptr ? m_pDoc->GetCues() : QList<CQRecord*>());
    viewport()->update();
}

void CMVView::RebuildFromList() {
    if (m_pDoc == nullptr) return;
    const auto& rows = m_pModel->Rows();
    m_pDoc->RebuildFromList(QList<CQRecord*>(rows.begin(), rows.end()));
}

int CMVView::InsertListItem(CQRecord* cue, int index) { return m_pModel->Insert(cue, index); }

int CMVView::UpdateListItem(CQRecord* cue, int index) {
    if (index == -1) index = m_pModel->FindCue(cue);
    if (index < 0 || index >= GetRowCount()) return -1;
    m_pModel->RowChanged(index);
    return index;
}

void CMVView::RemoveListItems(QList<int> rows) { m_pModel->Remove(std::move(rows)); }

void CMVView::MoveListItem(int from, int gap) { m_pModel->Move(from, gap); }

int CMVView::GetRowCount() const { return m_pModel->RowCount(); }

CQRecord* CMVView::GetRowCue(int row) const { return m_pModel->CueAt(row); }

int CMVView::FindRow(const CQRecord* cue) const { return m_pModel->FindCue(cue); }

QStringList CMVView::GetRowTexts(int row) const {
    const CQRecord* cue = m_pModel->CueAt(row);
    return cue != nullptr ? cue->GetRowTexts() : QStringList();
}

QString CMVView::GetColumnHeading(int column) { return CCueListModel::ColumnHeading(column); }

int CMVView::GetDefaultColumnWidth(int column) { return CCueListModel::DefaultColumnWidth(column); }

int CMVView::GetWidthForAllColumns() const {
    return horizontalHeader()->length() + 2 * frameWidth() +
           style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, verticalScrollBar());
}

QList<int> CMVView::GetSelectedRows() const {
    QList<int> rows;
    const QItemSelection selection = selectionModel()->selection();
    for (const QItemSelectionRange& range : selection) {
        for (int row = range.top(); row <= range.bottom(); ++row) rows.append(row);
    }
    std::sort(rows.begin(), rows.end());
    rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
    return rows;
}

bool CMVView::HasSelection() const { return selectionModel()->hasSelection(); }

bool CMVView::IsRowSelected(int row) const {
    if (row < 0 || row >= GetRowCount()) return false;
    return selectionModel()->isSelected(m_pModel->index(row, 0));
}

void CMVView::SelectRows(const QList<int>& rows, int focusRow) {
    QItemSelection selection;
    for (int row : rows) {
        if (row < 0 || row >= GetRowCount()) continue;
        selection.select(m_pModel->index(row, 0), m_pModel->index(row, kColumnCount - 1));
    }
    selectionModel()->select(selection, QItemSelectionModel::ClearAndSelect);
    if (focusRow >= 0 && focusRow < GetRowCount()) {
        selectionModel()->setCurrentIndex(m_pModel->index(focusRow, 0),
                                          QItemSelectionModel::NoUpdate);
    }
}

void CMVView::InvalidateCueRow(int row) { m_pModel->RowChanged(row); }

QString CMVView::GetCueCountText() const { return QString::asprintf("Cues:%03d", GetRowCount()); }

void CMVView::currentChanged(const QModelIndex& current, const QModelIndex& previous) {
    QTableView::currentChanged(current, previous);
    // The focus arriving on another row while nothing plays sends the play position back to
    // its start; while a cue plays the position bar keeps following it.
    if (current.isValid() && current.row() != previous.row() && m_pCurrentPlayer == nullptr)
        emit cueSelectionChanged(0);
}

void CMVView::keyboardSearch(const QString&) {}

QModelIndex CMVView::moveCursor(CursorAction cursorAction, Qt::KeyboardModifiers modifiers) {
    // The item view asks for a row to give the focus to when the keyboard arrives and no row has
    // it. Giving it none keeps the first key's move relative to the top of the list.
    if (m_bFocusArriving && !currentIndex().isValid()) return {};
    // The columns are no cells to move between: Home and End (with or without Ctrl) take the
    // focus to the first or the last cue, without scrolling sideways to another column.
    if (cursorAction == MoveHome || cursorAction == MoveEnd) {
        const int rows = GetRowCount();
        if (rows == 0) return {};
        const QModelIndex current = currentIndex();
        const int column = current.isValid() ? current.column() : 0;
        return m_pModel->index(cursorAction == MoveHome ? 0 : rows - 1, column);
    }
    return QTableView::moveCursor(cursorAction, modifiers);
}

void CMVView::keyPressEvent(QKeyEvent* event) {
    if (event->isAutoRepeat() && event->key() != m_nKeyDownHere) {
        // An arrow key held on the position bar when a cue's report brought the focus here.
        event->accept();
        return;
    }
    if (event->matches(QKeySequence::SelectAll)) {
        // Ctrl+A next to A (Add Cue) must not highlight every cue, or the next Go would start
        // the whole show at once. Several cues are still chosen with Shift and Ctrl, as in any
        // list.
        event->ignore();
        return;
    }
    if (!event->isAutoRepeat()) m_nKeyDownHere = event->key();
    QTableView::keyPressEvent(event);
}

void CMVView::keyReleaseEvent(QKeyEvent* event) {
    if (!event->isAutoRepeat() && event->key() == m_nKeyDownHere) m_nKeyDownHere = 0;
    QTableView::keyReleaseEvent(event);
}

void CMVView::focusInEvent(QFocusEvent* event) {
    m_bFocusArriving = true;
    QTableView::focusInEvent(event);
    m_bFocusArriving = false;
}

void CMVView::focusOutEvent(QFocusEvent* event) {
    m_nKeyDownHere = 0;
    QTableView::focusOutEvent(event);
}

void CMVView::paintEvent(QPaintEvent* event) {
    QTableView::paintEvent(event);
    if (m_bDragging) {
        QPainter painter(viewport());
        PaintDropGap(painter);
    }
}

void CMVView::SetStartPositionSource(std::function<int()> source) {
    m_startPosition = source ? std::move(source) : [] { return 0; };
}

std::optional<bool> CMVView::OnUpdateCommand(int id) const {
    switch (id) {
        case ID_AUDIO_GO: {
            const bool enable = HasSelection();
            emit enablePosition(enable);
            return enable;
        }
        case ID_AUDIO_FADEIN:
        case ID_AUDIO_FADEOUT:
        case ID_AUDIO_KILL:
        case ID_AUDIO_SPEEDUP:
        case ID_AUDIO_SLOWDOWN:
        case ID_AUDIO_NORMALSPEED:
        case ID_AUDIO_STOPALL:
        case ID_AUDIO_VOLUP:
        case ID_AUDIO_VOLDOWN:
            return m_pCurrentPlayer != nullptr;
        case ID_AUDIO_FADEALL:
            return GetOwnedPlayerCount() > 0;
        case ID_EDIT_ADDCUE:
            return OnUpdateAddCue();
        case ID_EDIT_EDITCUE:
            return OnUpdateEditCue();
        case ID_EDIT_CLEAR:
            return OnUpdateEditClear();
        case ID_EDIT_CUT:
            return OnUpdateEditCut();
        case ID_EDIT_COPY:
            return OnUpdateEditCopy();
        case ID_EDIT_PASTE:
            return OnUpdateEditPaste();
        case ID_EDIT_UNDO:
            return OnUpdateUndo();
        case ID_EDIT_REDO:
            return OnUpdateRedo();
        case ID_FILE_PRINT:
        case ID_FILE_PRINT_DIRECT:
        case ID_FILE_PRINT_PREVIEW:
        case ID_INDICATOR_CUES:
            return true;
        default:
            return std::nullopt;
    }
}

bool CMVView::OnCmdMsg(int id) { return OnCmdMsg(id, QGuiApplication::queryKeyboardModifiers()); }

bool CMVView::OnCmdMsg(int id, Qt::KeyboardModifiers modifiers) {
    return OnCmdMsg(id, modifiers, CommandSource::FromKey());
}

bool CMVView::OnCmdMsg(int id, Qt::KeyboardModifiers modifiers, const CommandSource& source) {
    const std::optional<bool> enabled = OnUpdateCommand(id);
    if (!enabled.has_value()) return false;
    // A disabled command is the view's all the same: it is not carried out, also from its key.
    if (!*enabled) return true;
    // Commands do not nest, but a message box inside one lets queued calls run: the source is
    // put back as it was.
    const CommandSource outer = std::exchange(m_commandSource, source);
    switch (id) {
        case ID_AUDIO_GO:
            if (m_goGuard.Accept()) {
                OnGo();
            } else {
                QList<ShowAction::Cue> highlighted;
                for (int row : GetSelectedRows()) highlighted.append(DescribeCue(GetRowCue(row)));
                ReportAction(ShowAction::Kind::GoIgnored, highlighted, ID_AUDIO_GO);
            }
            break;
        case ID_AUDIO_FADEALL:
            OnFadeAll();
            break;
        case ID_AUDIO_FADEIN:
        case ID_AUDIO_FADEOUT:
        case ID_AUDIO_KILL:
        case ID_AUDIO_SPEEDUP:
        case ID_AUDIO_SLOWDOWN:
        case ID_AUDIO_NORMALSPEED:
        case ID_AUDIO_VOLUP:
        case ID_AUDIO_VOLDOWN:
            OnPlayerCommand(id, modifiers);
            break;
        case ID_AUDIO_STOPALL: {
            QList<ShowAction::Cue> playing;
            for (const CCuePlayer* player : m_players)
                playing.append(DescribeCue(player->GetCue()));
            SendToAll(id);
            ReportAction(ShowAction::Kind::StopAll, playing, id, ShowAction::Target::All);
            break;
        }
        case ID_EDIT_ADDCUE:
            OnAddCue();
            break;
        case ID_EDIT_EDITCUE:
            OnEditCue();
            break;
        case ID_EDIT_CLEAR:
            OnEditClear();
            break;
        case ID_EDIT_CUT:
            OnEditCut();
            break;
        case ID_EDIT_COPY:
            OnEditCopy();
            break;
        case ID_EDIT_PASTE:
            OnEditPaste();
            break;
        case ID_EDIT_UNDO:
            OnUndo();
            break;
        case ID_EDIT_REDO:
            OnRedo();
            break;
        case ID_FILE_PRINT:
            OnFilePrint();
            break;
        case ID_FILE_PRINT_DIRECT:
            OnFilePrintDirect();
            break;
        case ID_FILE_PRINT_PREVIEW:
            OnFilePrintPreview();
            break;
        default:
            break;
    }
    m_commandSource = outer;
    return true;
}
