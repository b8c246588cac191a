#include <gtest/gtest.h>

#include <QAction>
#include <QHeaderView>
#include <QImage>
#include <QLineEdit>
#include <QSignalSpy>
#include <QTest>
#include <memory>

#include "cuelist/CMVDoc.h"
#include "cuelist/CQRecord.h"
#include "view/CMVView.h"
#include "view/CPlayingMarkDelegate.h"
#include "view/CommandIds.h"

namespace {

class ViewListTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_doc = std::make_unique<CMVDoc>();
        m_doc->OnNewDocument();
    }

    CMVView& MakeView(int cues) {
        for (int i = 0; i < cues; ++i) m_doc->AddCue(-1);
        m_view = std::make_unique<CMVView>(m_doc.get());
        m_view->resize(900, 400);
        m_view->OnInitialUpdate();
        m_view->show();
        return *m_view;
    }

    void ExpectRowsMatchDocument() const {
        ASSERT_EQ(m_view->GetRowCount(), m_doc->GetCueCount());
        for (int i = 0; i < m_doc->GetCueCount(); ++i) {
            EXPECT_EQ(m_view->GetRowCue(i), m_doc->GetCue(i)) << "row " << i;
        }
    }

    QImage GrabViewport() const {
        QApplication::processEvents();
        return m_view->viewport()->grab().toImage().convertToFormat(QImage::Format_RGB32);
    }

    std::unique_ptr<CMVDoc> m_doc;
    std::unique_ptr<CMVView> m_view;
};

TEST_F(ViewListTest, ElevenColumnsWithHeadingsWidthsAndReportStyle) {
    CMVView& view = MakeView(1);
    const QStringList headings = {"",       "ID",  "Description", "Filename", "Flags", "Chn",
                                  "Volume", "Pan", "In",          "Out",      "Notes"};
    const int widths[] = {15, 50, 300, 100, 50, 40, 60, 50, 40, 40, 300};
    ASSERT_EQ(view.model()->columnCount(), 11);
    for (int c = 0; c < 11; ++c) {
        EXPECT_EQ(view.model()->headerData(c, Qt::Horizontal).toString(), headings[c]);
        EXPECT_EQ(view.horizontalHeader()->sectionSize(c), widths[c]) << "column " << c;
    }
    EXPECT_TRUE(view.horizontalHeader()->sectionsMovable());
    EXPECT_TRUE(view.showGrid());
    EXPECT_EQ(view.selectionBehavior(), QAbstractItemView::SelectRows);
    EXPECT_EQ(view.selectionMode(), QAbstractItemView::ExtendedSelection);
    EXPECT_EQ(view.editTriggers(), QAbstractItemView::NoEditTriggers);
    EXPECT_TRUE(view.model()->index(0, 0).data().toString().isEmpty());
}

TEST_F(ViewListTest, SecondInitialUpdateRestoresColumnsAndRows) {
    CMVView& view = MakeView(3);
    view.horizontalHeader()->moveSection(2, 8);
    view.horizontalHeader()->resizeSection(0, 5);
    m_doc->AddCue(-1);
    view.OnInitialUpdate();
    EXPECT_EQ(view.model()->columnCount(), 11);
    for (int c = 0; c < 11; ++c) EXPECT_EQ(view.horizontalHeader()->visualIndex(c), c);
    EXPECT_EQ(view.horizontalHeader()->sectionSize(0), 15);
    ExpectRowsMatchDocument();

    // A new (or opened) document does the same by itself.
    view.horizontalHeader()->moveSection(10, 1);
    m_doc->OnNewDocument();
    EXPECT_EQ(view.model()->columnCount(), 11);
    EXPECT_EQ(view.horizontalHeader()->visualIndex(10), 10);
    ExpectRowsMatchDocument();
}

TEST_F(ViewListTest, RowOperationsKeepRowsAndDocumentTogether) {
    CMVView& view = MakeView(5);
    ExpectRowsMatchDocument();

    // A cue inserted at an index in both the document and the list.
    CQRecord* added = m_doc->AddCue(2);
    EXPECT_EQ(view.InsertListItem(added, 2), 2);
    ExpectRowsMatchDocument();
    EXPECT_EQ(view.FindRow(added), 2);
    EXPECT_EQ(view.GetRowTexts(2), added->GetRowTexts());

    // Reordering in the list, then the document takes the list's order.
    CQRecord* first = view.GetRowCue(0);
    view.MoveListItem(0, 4);  // into the gap before row 4: becomes row 3
    EXPECT_EQ(view.GetRowCue(3), first);
    view.MoveListItem(3, 3);  // the gaps next to a row leave it in place
    view.MoveListItem(3, 4);
    EXPECT_EQ(view.GetRowCue(3), first);
    view.MoveListItem(5, 0);
    view.RebuildFromList();
    ExpectRowsMatchDocument();

    // Rows removed in any order, with repeats and rows past the end ignored; the document
    // then destroys what is no longer listed.
    CQRecord* keep0 = view.GetRowCue(1);
    view.RemoveListItems({4, 0, 2, 4, 99, -1, 3});
    EXPECT_EQ(view.GetRowCount(), 2);
    EXPECT_EQ(view.GetRowCue(0), keep0);
    view.RebuildFromList();
    ExpectRowsMatchDocument();

    // An edited record's row is found and rewritten; a record without a row gives -1.
    keep0->m_strDescription = "Thunder";
    EXPECT_EQ(view.UpdateListItem(keep0), 0);
    EXPECT_EQ(view.model()->index(0, 2).data().toString(), QString("Thunder"));
    CQRecord stray;
    EXPECT_EQ(view.UpdateListItem(&stray), -1);
}

TEST_F(ViewListTest, CueCountTextHasAtLeastThreeDigits) {
    CMVView& view = MakeView(0);
    EXPECT_EQ(view.GetCueCountText(), QString("Cues:000"));
    QSignalSpy counts(&view, &CMVView::cueCountChanged);
    for (int i = 0; i < 7; ++i) view.InsertListItem(m_doc->AddCue(-1), -1);
    EXPECT_EQ(view.GetCueCountText(), QString("Cues:007"));
    EXPECT_EQ(counts.count(), 7);
    EXPECT_EQ(counts.last().at(0).toInt(), 7);
    for (int i = 7; i < 1000; ++i) m_doc->AddCue(-1);
    view.FillList();
    EXPECT_EQ(view.GetCueCountText(), QString("Cues:1000"));
    EXPECT_EQ(view.OnUpdateCommand(ID_INDICATOR_CUES), std::optional<bool>(true));
}

TEST_F(ViewListTest, FocusArrivingOnARowTellsTheFrameOnce) {
    CMVView& view = MakeView(5);
    QSignalSpy changed(&view, &CMVView::cueSelectionChanged);
    view.SelectRows({1}, 1);
    ASSERT_EQ(changed.count(), 1);
    EXPECT_EQ(changed.at(0).at(0).toInt(), 0);

    // Selecting or deselecting rows without moving the focus sends nothing.
    view.SelectRows({1, 2, 3});
    view.SelectRows({});
    EXPECT_EQ(changed.count(), 1);

    // Keyboard navigation moves the focus: one notification per move.
    view.setFocus();
    QTest::keyClick(&view, Qt::Key_Down);
    EXPECT_EQ(changed.count(), 2);
}

TEST_F(ViewListTest, DocumentDestroyingRecordsTakesTheirRowsFirst) {
    CMVView& view = MakeView(4);
    CQRecord* gone = m_doc->GetCue(1);
    m_doc->DeleteCue(1);
    EXPECT_EQ(view.FindRow(gone), -1);
    ExpectRowsMatchDocument();

    m_doc->DeleteContents();
    EXPECT_EQ(view.GetRowCount(), 0);
    GrabViewport();  // paints nothing from destroyed records

    m_doc->AddCue(-1);
    m_doc->AddCue(-1);
    view.FillList();
    ExpectRowsMatchDocument();

    // A new document refills the rows by itself.
    m_doc->OnNewDocument();
    ExpectRowsMatchDocument();
}

TEST_F(ViewListTest, GroupsAreRunsOfAutomaticRowsWithTheRowAfterThem) {
    CMVView& view = MakeView(6);
    // Rows: 0 A, 1 A, 2 Normal, 3 Background, 4 Normal, 5 A (last row, a group by itself).
    const uint32_t types[] = {CQRecord::kTypeAutomatic, CQRecord::kTypeAutomatic,
                              CQRecord::kTypeNormal,    CQRecord::kTypeBackground,
                              CQRecord::kTypeNormal,    CQRecord::kTypeAutomatic};
    for (int i = 0; i < 6; ++i) m_doc->GetCue(i)->m_dwFlags = types[i];

    view.SelectCueGroup(1);
    EXPECT_EQ(view.GetSelectedRows(), QList<int>({0, 1, 2}));
    EXPECT_EQ(view.currentIndex().row(), 2);
    view.SelectCueGroup(2);
    EXPECT_EQ(view.GetSelectedRows(), QList<int>({0, 1, 2}));
    view.SelectCueGroup(3);
    EXPECT_EQ(view.GetSelectedRows(), QList<int>({3}));
    view.SelectCueGroup(5);
    EXPECT_EQ(view.GetSelectedRows(), QList<int>({5}));

    // Nothing changes for -1 or a row past the end.
    view.SelectCueGroup(-1);
    view.SelectCueGroup(6);
    EXPECT_EQ(view.GetSelectedRows(), QList<int>({5}));
}

TEST_F(ViewListTest, GoAndLiveCommandsFollowTheirEnablingRules) {
    CMVView& view = MakeView(2);
    QSignalSpy enable(&view, &CMVView::enablePosition);
    view.SelectRows({});
    EXPECT_EQ(view.OnUpdateCommand(ID_AUDIO_GO), std::optional<bool>(false));
    view.SelectRows({0}, 0);
    EXPECT_EQ(view.OnUpdateCommand(ID_AUDIO_GO), std::optional<bool>(true));
    ASSERT_EQ(enable.count(), 2);
    EXPECT_FALSE(enable.at(0).at(0).toBool());
    EXPECT_TRUE(enable.at(1).at(0).toBool());

    for (int id :
         {ID_AUDIO_FADEIN, ID_AUDIO_FADEOUT, ID_AUDIO_KILL, ID_AUDIO_SPEEDUP, ID_AUDIO_SLOWDOWN,
          ID_AUDIO_NORMALSPEED, ID_AUDIO_STOPALL, ID_AUDIO_VOLUP, ID_AUDIO_VOLDOWN}) {
        EXPECT_EQ(view.OnUpdateCommand(id), std::optional<bool>(false)) << id;
        // Disabled: the view owns the command but does nothing.
        EXPECT_TRUE(view.OnCmdMsg(id, Qt::ControlModifier)) << id;
    }
    EXPECT_EQ(view.OnUpdateCommand(ID_FILE_NEW), std::nullopt);
    EXPECT_FALSE(view.OnCmdMsg(ID_APP_ABOUT));
}

// The pixels of `after` differ from `before` exactly by the note combined by exclusive or, with
// its top-left corner at `origin`.
void ExpectNoteAt(const QImage& before, const QImage& after, QPoint origin) {
    const QImage& note = CPlayingMarkDelegate::NoteImage();
    int changed = 0;
    for (int y = 0; y < before.height(); ++y) {
        for (int x = 0; x < before.width(); ++x) {
            const QRgb b = before.pixel(x, y) & 0xFFFFFF;
            const QRgb a = after.pixel(x, y) & 0xFFFFFF;
            const QPoint n(x - origin.x(), y - origin.y());
            const QRgb mask = note.rect().contains(n) ? note.pixel(n) & 0xFFFFFF : 0;
            ASSERT_EQ(a, b ^ mask) << "at " << x << "," << y;
            if (a != b) ++changed;
        }
    }
    EXPECT_EQ(changed, 26);  // the yellow pixels of the note
}

TEST_F(ViewListTest, PlayingMarkIsTheNoteCombinedByExclusiveOr) {
    CMVView& view = MakeView(3);
    view.SelectRows({});
    const QImage before = GrabViewport();
    const QRect cell = view.visualRect(view.model()->index(1, 0));

    m_doc->GetCue(1)->m_nPlayCount = 1;
    view.InvalidateCueRow(1);
    const QImage marked = GrabViewport();
    ExpectNoteAt(before, marked, CPlayingMarkDelegate::MarkPosition(cell));
    EXPECT_EQ(CPlayingMarkDelegate::MarkPosition(QRect(0, 0, 15, 20)), QPoint(1, 0));

    // Two players of the same cue show one mark.
    m_doc->GetCue(1)->m_nPlayCount = 2;
    view.InvalidateCueRow(1);
    EXPECT_EQ(GrabViewport(), marked);

    // Headers in another order: the mark moves with column 0.
    view.horizontalHeader()->moveSection(0, 3);
    const QImage movedBefore = [&] {
        m_doc->GetCue(1)->m_nPlayCount = 0;
        view.InvalidateCueRow(1);
        return GrabViewport();
    }();
    m_doc->GetCue(1)->m_nPlayCount = 1;
    view.InvalidateCueRow(1);
    ExpectNoteAt(movedBefore, GrabViewport(),
                 CPlayingMarkDelegate::MarkPosition(view.visualRect(view.model()->index(1, 0))));
    view.horizontalHeader()->moveSection(3, 0);

    // Column 0 at 12 pixels or less: no marks at all; from 13 pixels on they are back.
    view.horizontalHeader()->resizeSection(0, 12);
    const QImage narrowMarked = GrabViewport();
    m_doc->GetCue(1)->m_nPlayCount = 0;
    view.InvalidateCueRow(1);
    EXPECT_EQ(GrabViewport(), narrowMarked);
    view.horizontalHeader()->resizeSection(0, 13);
    const QImage wideBefore = GrabViewport();
    m_doc->GetCue(1)->m_nPlayCount = 1;
    view.InvalidateCueRow(1);
    ExpectNoteAt(wideBefore, GrabViewport(),
                 CPlayingMarkDelegate::MarkPosition(view.visualRect(view.model()->index(1, 0))));
    m_doc->GetCue(1)->m_nPlayCount = 0;
}

}  // namespace

namespace {

// The frame's keys are window shortcuts; the list has the focus during a show and must not take
// any of them for itself (type-ahead search, copy of a cell, Enter to edit and so on).
TEST(ViewKeysTest, TheFramesKeysReachItWhileTheListHasTheFocus) {
    CMVDoc doc;
    doc.OnNewDocument();
    for (int i = 0; i < 3; ++i) doc.AddCue(-1);
    QWidget window;
    auto* view = new CMVView(&doc, &window);
    view->resize(600, 300);
    const QList<QKeySequence> keys = {
        QKeySequence(Qt::Key_Return),
        QKeySequence(Qt::Key_Enter),
        QKeySequence(Qt::Key_Escape),
        QKeySequence(Qt::Key_K),
        QKeySequence(Qt::SHIFT | Qt::Key_K),
        QKeySequence(Qt::CTRL | Qt::Key_K),
        QKeySequence(Qt::Key_0),
        QKeySequence(Qt::Key_I),
        QKeySequence(Qt::Key_F),
        QKeySequence(Qt::Key_S),
        QKeySequence(Qt::Key_N),
        QKeySequence(Qt::Key_A),
        QKeySequence(Qt::Key_Comma),
        QKeySequence(Qt::CTRL | Qt::Key_Period),
        QKeySequence(Qt::Key_Delete),
        QKeySequence(Qt::CTRL | Qt::Key_C),
        QKeySequence(Qt::CTRL | Qt::Key_X),
        QKeySequence(Qt::CTRL | Qt::Key_V),
        QKeySequence(Qt::CTRL | Qt::Key_Insert),
        QKeySequence(Qt::SHIFT | Qt::Key_Insert),
    };
    std::vector<int> fired(static_cast<size_t>(keys.size()), 0);
    for (qsizetype i = 0; i < keys.size(); ++i) {
        auto* action = new QAction(&window);
        action->setShortcut(keys[i]);
        action->setShortcutContext(Qt::WindowShortcut);
        QObject::connect(action, &QAction::triggered, [&fired, i] { ++fired[size_t(i)]; });
        window.addAction(action);
    }
    window.show();
    window.activateWindow();
    view->setFocus();
    view->SelectRows({1}, 1);
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    for (qsizetype i = 0; i < keys.size(); ++i) {
        const QKeyCombination combination = keys[i][0];
        QTest::keyClick(view, combination.key(), combination.keyboardModifiers());
        EXPECT_EQ(fired[size_t(i)], 1) << keys[i].toString().toStdString();
    }
    EXPECT_EQ(view->GetSelectedRows(), QList<int>({1}));
}

}  // namespace

namespace {

// A list of `cues` new cues, focused in a shown window, as during a show. The test waits for
// the window to become active before sending keys.
struct FocusedList {
    explicit FocusedList(int cues) {
        doc.OnNewDocument();
        for (int i = 0; i < cues; ++i) doc.AddCue(-1);
        view = new CMVView(&doc, &window);
        view->resize(600, 300);
        view->OnInitialUpdate();
        window.show();
        window.activateWindow();
        view->setFocus();
    }

    CMVDoc doc;
    QWidget window;
    CMVView* view = nullptr;  // owned by the window
};

// Letters that are no key of the frame must not move the highlight: the list has no type-ahead
// search, whichever column was clicked last, or a stray key during a show would change the cue
// that Go starts next.
TEST(ViewKeysTest, TypedLettersNeverMoveTheHighlight) {
    FocusedList list(4);
    ASSERT_TRUE(QTest::qWaitForWindowActive(&list.window));
    list.doc.GetCue(2)->m_strDescription = "Door slam";
    CMVView* view = list.view;
    for (int column : {1, 2}) {
        view->SelectRows({0}, 0);
        view->setCurrentIndex(view->model()->index(0, column));
        view->SelectRows({0});
        QSignalSpy changed(view, &CMVView::cueSelectionChanged);
        // Each letter after the pause that would end a search of several letters.
        for (const char letter : {'Q', 'd'}) {
            QTest::qWait(QApplication::keyboardInputInterval() + 50);
            QTest::keyClicks(view, QString(QLatin1Char(letter)));
        }
        EXPECT_EQ(view->GetSelectedRows(), QList<int>({0})) << "column " << column;
        EXPECT_EQ(view->currentIndex().row(), 0) << "column " << column;
        EXPECT_EQ(changed.count(), 0) << "column " << column;
    }
}

// Home and End go to the first and the last cue, as in any list: the columns are no cells to
// move between, and the view does not jump sideways to the first or last column on the way.
TEST(ViewKeysTest, HomeAndEndGoToTheFirstAndTheLastCue) {
    FocusedList list(5);
    ASSERT_TRUE(QTest::qWaitForWindowActive(&list.window));
    CMVView* view = list.view;
    view->setCurrentIndex(view->model()->index(2, 2));
    ASSERT_EQ(view->GetSelectedRows(), QList<int>({2}));

    QTest::keyClick(view, Qt::Key_Home);
    EXPECT_EQ(view->GetSelectedRows(), QList<int>({0}));
    EXPECT_EQ(view->currentIndex(), view->model()->index(0, 2));

    QTest::keyClick(view, Qt::Key_End);
    EXPECT_EQ(view->GetSelectedRows(), QList<int>({4}));
    EXPECT_EQ(view->currentIndex(), view->model()->index(4, 2));

    // Shift extends the highlight to the first cue, as with the arrow keys.
    QTest::keyClick(view, Qt::Key_Home, Qt::ShiftModifier);
    EXPECT_EQ(view->GetSelectedRows(), QList<int>({0, 1, 2, 3, 4}));

    // In an empty list the keys do nothing.
    list.doc.DeleteContents();
    QTest::keyClick(view, Qt::Key_End);
    EXPECT_FALSE(view->currentIndex().isValid());
}

// A list that has just been opened, or whose highlighted cues were deleted, has no row with the
// focus. The keyboard arriving in it (the window shown, a dialog closed) must not put the focus
// on the first row by itself: the first arrow key would then highlight the second cue and Home
// would do nothing, so the operator's first Go would skip the first cue of the show.
TEST(ViewKeysTest, TheFirstKeyIntoAListWithoutFocusHighlightsTheFirstCue) {
    CMVDoc doc;
    doc.OnNewDocument();
    for (int i = 0; i < 4; ++i) doc.AddCue(-1);
    QWidget window;
    auto* other = new QLineEdit(&window);
    auto* view = new CMVView(&doc, &window);
    view->move(0, 40);
    view->resize(600, 300);
    view->OnInitialUpdate();
    window.resize(620, 360);
    window.show();
    window.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    QSignalSpy changed(view, &CMVView::cueSelectionChanged);

    for (const Qt::Key key : {Qt::Key_Down, Qt::Key_Home, Qt::Key_Up}) {
        view->SelectRows({});
        view->selectionModel()->clearCurrentIndex();
        other->setFocus(Qt::TabFocusReason);
        view->setFocus(Qt::TabFocusReason);
        QApplication::processEvents();
        ASSERT_TRUE(view->hasFocus());
        EXPECT_FALSE(view->currentIndex().isValid()) << QKeySequence(key).toString().toStdString();
        EXPECT_FALSE(view->HasSelection());

        const int notices = changed.count();
        QTest::keyClick(view, key);
        EXPECT_EQ(view->GetSelectedRows(), QList<int>({0}))
            << QKeySequence(key).toString().toStdString();
        EXPECT_EQ(view->currentIndex().row(), 0);
        // The focus arriving on the first row is one notification, as for any other row.
        EXPECT_EQ(changed.count(), notices + 1);
    }

    // After Delete the list has no focused row; coming back to it keeps it that way.
    view->SelectRows({1}, 1);
    view->RemoveSelectedCues();
    other->setFocus(Qt::TabFocusReason);
    view->setFocus(Qt::TabFocusReason);
    QApplication::processEvents();
    EXPECT_FALSE(view->currentIndex().isValid());
    QTest::keyClick(view, Qt::Key_Down);
    EXPECT_EQ(view->GetSelectedRows(), QList<int>({0}));

    // A row that has the focus keeps it when the keyboard comes back: Down goes on from there.
    view->SelectRows({1}, 1);
    other->setFocus(Qt::TabFocusReason);
    view->setFocus(Qt::TabFocusReason);
    QApplication::processEvents();
    QTest::keyClick(view, Qt::Key_Down);
    EXPECT_EQ(view->GetSelectedRows(), QList<int>({2}));
}

// Ctrl+A lies next to A (Add Cue). Highlighting every cue with it would make the next Go start
// the whole show at once, so the list does not take it; Shift with the arrow keys, Home and End
// still highlights several cues.
TEST(ViewKeysTest, CtrlANeverHighlightsEveryCue) {
    FocusedList list(4);
    ASSERT_TRUE(QTest::qWaitForWindowActive(&list.window));
    CMVView* view = list.view;
    view->SelectRows({1}, 1);

    QTest::keyClick(view, Qt::Key_A, Qt::ControlModifier);
    EXPECT_EQ(view->GetSelectedRows(), QList<int>({1}));
    EXPECT_EQ(view->currentIndex().row(), 1);

    QTest::keyClick(view, Qt::Key_End, Qt::ShiftModifier);
    EXPECT_EQ(view->GetSelectedRows(), QList<int>({1, 2, 3}));
}

}  // namespace
