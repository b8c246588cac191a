#pragma once

#include <QList>
#include <QString>
#include <QStringList>
#include <QTableView>
#include <QTimer>
#include <QUndoStack>
#include <Qt>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "view/CommandSource.h"
#include "view/CueEditState.h"
#include "view/DoubleGoGuard.h"
#include "view/ShowAction.h"

class CMVDoc;
class CQRecord;
class CCuePlayer;
class CCueListModel;
class CCueListCommand;
class CueListEdit;
class ShowChecker;
class QPainter;
class QPrinter;
class PrinterDefaults;
class QDragEnterEvent;
class QDragMoveEvent;
class QDragLeaveEvent;
class QDropEvent;
class QFocusEvent;
class QKeyEvent;
class QMouseEvent;
class QPaintEvent;

// The one view of the cue list: one row per cue in document order, the playing marks, and the
// show control that owns the players of the sounding cues. Rows hold plain pointers to the
// document's own records; after every command row i and the document's cue i are the same
// record. Everything here runs on the UI thread; players report through queued calls.
//
// Commands reach the view in the update-handler manner: the frame asks OnUpdateCommand whether
// a command is enabled and calls OnCmdMsg to carry it out, which does nothing when the command
// is disabled (also when it comes from a key).
class CMVView : public QTableView {
    Q_OBJECT

public:
    // The eleven columns, addressed by number whatever order the operator drags the headers to.
    static constexpr int kColumnCount = 11;
    static constexpr int kMarkColumn = 0;
    // Column 0 must be wider than this for the playing marks to be drawn.
    static constexpr int kMarkMinColumnWidth = 12;
    static constexpr int kTimerIntervalMs = 20;

    CMVView(CMVDoc* doc, QWidget* parent = nullptr);
    // Stops and joins every player without signalling anyone: a frame that outlives its view
    // drops the player it was last told about itself.
    ~CMVView() override;

    CMVDoc* GetDocument() const { return m_pDoc; }

    // ---- Rows (CMVView.cpp) ----

    // Sets up the eleven columns (headings, widths) once more and refills the rows from the
    // document. The frame calls it for every new or opened document.
    void OnInitialUpdate();
    // Deletes all rows and inserts one row per document cue, in document order.
    void FillList();
    // Has the document take the list's row order as its cue order.
    void RebuildFromList();
    // Inserts a row for `cue` at `index` (-1: after the last row); returns the row index.
    int InsertListItem(CQRecord* cue, int index);
    // Rewrites the texts of the row of `cue` (index -1: look the row up); returns the row, or -1
    // when no row holds the record.
    int UpdateListItem(CQRecord* cue, int index = -1);
    // Removes the rows `rows` (any order, duplicates ignored) without touching the document.
    void RemoveListItems(QList<int> rows);
    // Moves row `from` into the gap `gap` (0..row count; the gap before row `gap`).
    void MoveListItem(int from, int gap);

    int GetRowCount() const;
    CQRecord* GetRowCue(int row) const;
    // Row of `cue`, or -1.
    int FindRow(const CQRecord* cue) const;
    // The ten texts of columns 1..10 of a row, as shown.
    QStringList GetRowTexts(int row) const;
    // Heading of a column 0..10.
    static QString GetColumnHeading(int column);
    // Initial width of a column 0..10 in pixels.
    static int GetDefaultColumnWidth(int column);
    // The width the view needs to show every column as it is now without a horizontal scroll
    // bar, leaving room for the vertical one.
    int GetWidthForAllColumns() const;

    // The list has no type-ahead search: a letter typed during a show must not move the
    // highlight of the next cue to a row whose text happens to start with it.
    void keyboardSearch(const QString& search) override;

    // Selected rows in ascending order.
    QList<int> GetSelectedRows() const;
    bool HasSelection() const;
    bool IsRowSelected(int row) const;
    // Selects exactly `rows`; the focus goes to `focusRow` (-1: leave it).
    void SelectRows(const QList<int>& rows, int focusRow = -1);
    // Repaints one row, so that its playing mark follows its play count.
    void InvalidateCueRow(int row);

    // "Cues:%03d" with the number of rows, the text of status pane ID_INDICATOR_CUES.
    QString GetCueCountText() const;

    // ---- Command routing (CMVView.cpp) ----

    // Carries out command `id` when it is the view's and enabled. Returns true for every command
    // of the view (a disabled one is swallowed, not carried out), false for any other. The live
    // commands read the Shift and Ctrl keys at this moment.
    bool OnCmdMsg(int id);
    // The same with the modifier keys given (the frame knows them from the key that was pressed).
    bool OnCmdMsg(int id, Qt::KeyboardModifiers modifiers);
    // The same, naming who gave the command (reported with the show actions it carries out).
    bool OnCmdMsg(int id, Qt::KeyboardModifiers modifiers, const CommandSource& source);
    // Whether command `id` is enabled, or nullopt when it is not the view's. Asking about Go also
    // tells the frame whether the play position may be used (enablePosition).
    std::optional<bool> OnUpdateCommand(int id) const;

    // Where Go reads the play position bar's position 0..100 (used only while nothing plays).
    void SetStartPositionSource(std::function<int()> source);

    // ---- Show control (CMVViewShow.cpp) ----

    void OnGo();
    // A live command: Shift sends it to the other players, Ctrl to all, else to the current one.
    void OnPlayerCommand(int id, Qt::KeyboardModifiers modifiers);
    void SendToCurrent(int id);
    void SendToOthers(int id);
    void SendToAll(int id);
    // A status report of a player (PLAYER_STARTED / PLAYER_ENDED / PLAYER_FADED). Reports of
    // players the view no longer owns are ignored.
    void OnCueStatus(int code, CCuePlayer* player);
    // Highlights the group of rows that holds `row` (a run of Automatic rows with the first
    // non-Automatic row after it); -1 or a row past the end changes nothing.
    void SelectCueGroup(int row);
    // Stops, joins and deletes every player (listed or fading) of the given records, telling
    // the frame first. Rows still holding these records are removed from the list. Called before
    // the document destroys records.
    void StopPlayersOf(const QList<CQRecord*>& cues);
    // Stops and deletes every player (document closing, view going away).
    void StopAllPlayers();

    // ---- One cue by name (remote control, the show panel; CMVViewShow.cpp) ----

    // The first cue, in list order, whose ID as the list shows it equals `id` ignoring letter
    // case; null when none does.
    CQRecord* FindCueById(const QString& id) const;
    // Starts `cue` as Go would (Exclusive fades the current cue out first) without moving the
    // highlight; the new player becomes the current one. False when its player failed (the
    // operator has been told as at Go), the cue is no row of the list, or it is the current
    // cue and not Multiple (Go does not start that again either).
    bool StartCue(CQRecord* cue, const CommandSource& source = {});
    // Kills or fades out every listed player of `cue`; returns how many were reached.
    int KillCue(CQRecord* cue, const CommandSource& source = {});
    int FadeOutCue(CQRecord* cue, const CommandSource& source = {});
    // The same for one listed player; false when the view does not list it (any more).
    bool KillPlayer(CCuePlayer* player, const CommandSource& source = {});
    bool FadeOutPlayer(CCuePlayer* player, const CommandSource& source = {});
    // Highlights the row of `cue` alone, as a click on it does, and keeps it in view.
    bool SelectCue(CQRecord* cue, const CommandSource& source = {});

    CCuePlayer* GetCurrentPlayer() const { return m_pCurrentPlayer; }
    // The listed players, in starting order (faded players are no longer listed).
    const std::vector<CCuePlayer*>& GetPlayers() const { return m_players; }
    // Every player the view owns: listed ones and those fading out by themselves.
    int GetOwnedPlayerCount() const;
    bool IsStatusTimerActive() const { return m_timer.isActive(); }

    // ---- Live safety (CMVViewLive.cpp) ----

    // A Go within this many milliseconds of the previous accepted Go is ignored (0: never).
    void SetDoubleGoMs(int ms) { m_goGuard.SetWindowMs(ms); }
    DoubleGoGuard& GetDoubleGoGuard() { return m_goGuard; }
    // How long Fade All takes, in milliseconds.
    void SetFadeAllMs(int ms) { m_nFadeAllMs = ms < 0 ? 0 : ms; }
    int GetFadeAllMs() const { return m_nFadeAllMs; }
    // Fade All: every sounding cue, listed or fading, falls evenly in decibels to -80 dB over
    // the Fade All time and ends. A second Fade All while that runs stops every cue at once.
    void OnFadeAll();
    bool IsFadingAll() const { return m_bFadingAll; }
    // Every player the view owns, listed or fading out by itself, newest first.
    std::vector<CCuePlayer*> GetOwnedPlayers() const;
    bool IsPlayerListed(const CCuePlayer* player) const;
    // Kills one owned player, also one that is fading out by itself (the show panel's Stop).
    bool KillOwnedPlayer(CCuePlayer* player, const CommandSource& source = {});

    // ---- Editing (CMVViewEdit.cpp) ----

    void OnAddCue();
    void OnEditCue();
    // Edits the cue of `row` (a double click): like Edit cue, but also while cues play.
    void EditCueAt(int row);
    void OnEditClear();
    // Removes the selected rows and their records (Delete and Cut); the edit is named `verb`
    // in the Edit menu ("Delete 3 Cues").
    void RemoveSelectedCues(const QString& verb = QStringLiteral("Delete"));
    bool OnUpdateAddCue() const;
    bool OnUpdateEditCue() const;
    bool OnUpdateEditClear() const;
    // WAV files dropped on the list at `pos` (viewport coordinates).
    void OnDropFiles(const QStringList& paths, const QPoint& pos);

    // ---- Clipboard (CMVViewClipboard.cpp) ----

    void OnEditCut();
    void OnEditCopy();
    void OnEditPaste();
    bool OnUpdateEditCut() const;
    bool OnUpdateEditCopy() const;
    bool OnUpdateEditPaste() const;

    // ---- Undo (CMVViewUndo.cpp) ----

    // Every edit of the list, undone and redone by Edit > Undo and Redo; cleared by New and
    // Open. The document's modified flag follows its clean state. Edits are made through
    // CueListEdit.
    QUndoStack* GetUndoStack() { return &m_undoStack; }
    bool OnUpdateUndo() const;
    bool OnUpdateRedo() const;
    void OnUndo();
    void OnRedo();
    // The name of an edit of `count` things: "Delete Cue", "Delete 3 Cues", "Drop 4 Files".
    static QString CountedEditName(const QString& verb, int count, const QString& one,
                                   const QString& many);

    // The list, the last cue number and the selection as they are now.
    CueListState CaptureListState() const;
    CueViewState CaptureViewState() const;
    // Makes the document and the rows hold `state`: records that leave are handed out of the
    // document (their players stopped first), records that come back are the document's again.
    void ApplyListState(const CueListState& state);
    // Selects the records of `state` that have rows and puts the focus on its current one.
    void RestoreViewState(const CueViewState& state);

    // ---- Printing (CMVViewPrint.cpp) ----

    void OnFilePrint();
    void OnFilePrintDirect();
    void OnFilePrintPreview();
    // Prints the list on `printer`; returns false when nothing could be printed.
    bool PrintList(QPrinter* printer);
    // The printer settings print jobs start from, owned by the application (none: the system's
    // defaults).
    void SetPrinterDefaults(PrinterDefaults* defaults);

    // ---- Show check (CMVViewCheck.cpp) ----

    // The background check of every cue's file and channel; its report marks the rows.
    ShowChecker* GetShowChecker() const { return m_pChecker; }
    // Checks the list now (after a change, files found again, or when asked).
    void RequestShowCheck(bool evenIfUnchanged = false);
    // The row's problem as its tooltip says it; empty when the check found none.
    QString GetRowProblem(int row) const;

signals:
    // The current player, or null when nothing plays; emitted synchronously after every status
    // report and every 20 ms while cues play, and always before the reported player is deleted.
    void cueStatus(CCuePlayer* current);
    // Emitted synchronously just before the view deletes a player.
    void playerAboutToBeDeleted(CCuePlayer* player);
    // The focus arrived on a row while nothing plays: the play position goes to `position` (0).
    void cueSelectionChanged(int position);
    // Whether the play position may be used (exactly when Go is enabled).
    void enablePosition(bool enable) const;
    // The number of rows changed.
    void cueCountChanged(int count);
    // A show-control action was carried out (Go, Stop All, a live command, a cue by name).
    void showAction(const ShowAction& action);
    // A short note for the status bar, such as why a cue that failed quietly did not start.
    void statusNote(const QString& text);
    // A cue could not start while others were sounding. It is told without a box, so that every
    // live key keeps working; with nothing sounding the box appears as always.
    void startFailed(const QString& cueId, const QString& fileName, const QString& message);

protected:
    // Row drag and file drop (CMVViewEdit.cpp).
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dragLeaveEvent(QDragLeaveEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    // Draws the insertion line of a row drag over the rows (CMVViewEdit.cpp).
    void PaintDropGap(QPainter& painter);

    void paintEvent(QPaintEvent* event) override;
    // Repeats of a key that went down while another widget had the focus are not the list's:
    // they must not move the highlight of the next cue.
    void keyPressEvent(QKeyEvent* event) override;
    void keyReleaseEvent(QKeyEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    // The keyboard arriving in a list without a focused row leaves it so: the first arrow key or
    // Home then highlights the first cue, not the second.
    void focusInEvent(QFocusEvent* event) override;
    void currentChanged(const QModelIndex& current, const QModelIndex& previous) override;
    // Home and End go to the first and the last row, keeping the column, as in any list.
    QModelIndex moveCursor(CursorAction cursorAction, Qt::KeyboardModifiers modifiers) override;

    // Starts moving `row` by dragging; ends the drag, moving the row when `drop` is set.
    void BeginRowDrag(int row);
    void EndRowDrag(bool drop);

    // Row drag state.
    bool m_bDragging = false;
    int m_nDragItem = -1;
    int m_nDropGap = -1;

private:
    struct PlayerSlot;
    friend class CueListEdit;
    friend class CCueListCommand;

    // While a guard is held the document's modified flag is left alone; ending the last one
    // sets it from the stack's clean state. `changedOutside`: the list changed in a way that
    // cannot be undone (a cancelled Add Cue used up an ID), so no saved state is clean any more.
    void BeginUndoGuard();
    void EndUndoGuard(bool changedOutside);
    void PushUndoCommand(CCueListCommand* command);
    void ConnectUndo();
    void SyncModifiedFlag();
    void OnDocModifiedChanged(bool modified);
    const CCueListCommand* UndoCommandAt(int index) const;

    void SetUpColumns();
    void OnTimer();
    void ConnectDocument();
    PlayerSlot* FindSlot(const CCuePlayer* player) const;
    PlayerSlot* FindSlot(std::uint64_t serial) const;
    void OnSlotStatus(std::uint64_t serial, int code);
    // Takes `player` off the list of those that take commands; false when it was not on it.
    bool UnlistPlayer(CCuePlayer* player);
    void ChooseCurrentPlayer();
    void DeleteSlot(PlayerSlot* slot);
    bool StartPlayer(CQRecord* cue, bool makeCurrent);
    bool ApplyToPlayer(CCuePlayer* player, int id, ShowAction::Kind kind,
                       const CommandSource& source);
    static ShowAction::Cue DescribeCue(const CQRecord* cue, bool started = true);
    void ReportAction(ShowAction::Kind kind, QList<ShowAction::Cue> cues, int command = 0,
                      ShowAction::Target target = ShowAction::Target::Current);

    CMVDoc* m_pDoc = nullptr;
    CCueListModel* m_pModel = nullptr;
    std::function<int()> m_startPosition;
    PrinterDefaults* m_pPrinterDefaults = nullptr;

    // Players: m_players lists those that still take commands, in starting order; m_slots owns
    // every player the view started, including those fading out after PLAYER_FADED.
    std::vector<CCuePlayer*> m_players;
    std::vector<std::unique_ptr<PlayerSlot>> m_slots;
    CCuePlayer* m_pCurrentPlayer = nullptr;
    std::uint64_t m_nextSerial = 1;
    QTimer m_timer;
    int m_nKeyDownHere = 0;  // the key last pressed while the list had the focus, until released
    bool m_bFocusArriving = false;  // inside focusInEvent
    CommandSource m_commandSource;  // who gave the command being carried out
    QUndoStack m_undoStack;
    int m_nUndoGuard = 0;
    DoubleGoGuard m_goGuard;
    int m_nFadeAllMs = 2000;
    bool m_bFadingAll = false;  // a Fade All runs until every owned player has gone

    // The background show check (CMVViewCheck.cpp).
    void SetUpShowCheck();
    void OnShowChecked();
    ShowChecker* m_pChecker = nullptr;
    QTimer m_checkTimer;  // a short quiet time after changes before the list is checked again
};
