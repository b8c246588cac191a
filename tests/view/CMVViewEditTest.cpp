// The editing commands of the cue list view on the offscreen platform: Add Cue, Edit cue, double
// click, Delete, dropped files and moving a row by dragging it, with their enabling rules.
#include <gtest/gtest.h>

#include <QApplication>
#include <QImage>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMimeData>
#include <QMouseEvent>
#include <QTemporaryDir>
#include <QTest>
#include <QUrl>
#include <memory>
#include <vector>

#include "cuelist/CMVDoc.h"
#include "cuelist/CQRecord.h"
#include "engine/CCuePlayer.h"
#include "engine/CSoundOutput.h"
#include "shell/CCueSettingsDlg.h"
#include "view/CMVView.h"
#include "view/CommandIds.h"
#include "view/MessageBox.h"
#include "view/ViewTestSupport.h"

namespace {

class ViewEditTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { ASSERT_TRUE(theSoundOutput.Initialize()); }
    static void TearDownTestSuite() { theSoundOutput.ReleaseDevices(); }

    void SetUp() override {
        m_doc = std::make_unique<CMVDoc>();
        m_doc->OnNewDocument();
        mvui::SetMessageHandlerForTesting(
            [this](const QString& text, QMessageBox::Icon, QMessageBox::StandardButtons) {
                m_messages.push_back(text);
                return int(QMessageBox::Ok);
            });
    }

    void TearDown() override {
        m_view.reset();
        CCueSettingsDlg::SetModalRunnerForTesting({});
        mvui::SetMessageHandlerForTesting({});
    }

    // A list of `n` cues Q010, Q020, ... and its view, shown.
    CMVView& MakeView(int n) {
        for (int i = 0; i < n; ++i) m_doc->AddCue(-1);
        m_doc->SetModifiedFlag(false);
        m_view = std::make_unique<CMVView>(m_doc.get());
        m_view->resize(900, 400);
        m_view->OnInitialUpdate();
        m_view->show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(m_view.get()));
        return *m_view;
    }

    // The cue IDs of the rows, and of the document, which must agree.
    QStringList RowIds() const {
        QStringList ids;
        for (int row = 0; row < m_view->GetRowCount(); ++row) {
            ids.append(QString::fromLatin1(m_view->GetRowCue(row)->m_strID));
            EXPECT_EQ(m_view->GetRowCue(row), m_doc->GetCue(row)) << "row " << row;
        }
        EXPECT_EQ(m_doc->GetCueCount(), m_view->GetRowCount());
        return ids;
    }

    // Answers every Cue Settings dialog with OK (after `edit`) or Cancel; counts the dialogs.
    void AnswerDialogs(bool ok, std::function<void(CCueSettingsDlg&)> edit = {}) {
        CCueSettingsDlg::SetModalRunnerForTesting([this, ok, edit](CCueSettingsDlg& d) {
            ++m_dialogs;
            if (edit) edit(d);
            ok ? d.accept() : d.reject();
            return d.result();
        });
    }

    QPoint RowPoint(int row, int dy = 0) const {
        const int top = m_view->rowViewportPosition(row);
        return QPoint(60, top + m_view->rowHeight(row) / 2 + dy);
    }

    void Mouse(QEvent::Type type, QPoint pos, Qt::MouseButtons buttons) {
        QMouseEvent event(type, pos, m_view->viewport()->mapToGlobal(pos),
                          type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton, buttons,
                          Qt::NoModifier);
        QApplication::sendEvent(m_view->viewport(), &event);
    }

    // Presses on row `row` and moves past the drag distance: the row drag starts.
    void StartDrag(int row) {
        const QPoint at = RowPoint(row);
        Mouse(QEvent::MouseButtonPress, at, Qt::LeftButton);
        Mouse(QEvent::MouseMove, at + QPoint(QApplication::startDragDistance() + 2, 0),
              Qt::LeftButton);
    }
    void DragTo(QPoint pos) { Mouse(QEvent::MouseMove, pos, Qt::LeftButton); }
    void Release(QPoint pos) { Mouse(QEvent::MouseButtonRelease, pos, Qt::NoButton); }

    void Drop(const QList<QUrl>& urls, QPoint pos) {
        QMimeData mime;
        mime.setUrls(urls);
        QDragEnterEvent enter(pos, Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(m_view->viewport(), &enter);
        QDropEvent drop(pos, Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(m_view->viewport(), &drop);
    }

    // Starts a looping cue on its own so that a cue is playing (a current player exists).
    void StartPlaying() {
        ASSERT_TRUE(m_dir.isValid());
        const QString wav = m_dir.filePath("loop.wav");
        ASSERT_TRUE(viewtest::WriteTone(wav, 2000));
        CQRecord* cue = m_view->GetRowCue(0);
        cue->SetFilePath(wav.toUtf8());
        cue->m_dwFlags = CQRecord::kTypeNormal | CQRecord::kFlagLooped;
        m_view->SelectRows({0}, 0);
        ASSERT_TRUE(m_view->OnCmdMsg(ID_AUDIO_GO, Qt::NoModifier));
        ASSERT_TRUE(QTest::qWaitFor([&] { return m_view->GetCurrentPlayer() != nullptr; }, 3000));
    }

    QTemporaryDir m_dir;
    std::unique_ptr<CMVDoc> m_doc;
    std::unique_ptr<CMVView> m_view;
    std::vector<QString> m_messages;
    int m_dialogs = 0;
};

TEST_F(ViewEditTest, AddCueInsertsAfterTheFirstSelectedRowAndHighlightsIt) {
    CMVView& view = MakeView(6);
    AnswerDialogs(true, [](CCueSettingsDlg& d) { d.m_strDescription = "unused"; });

    view.SelectRows({2, 5}, 2);
    ASSERT_TRUE(view.OnCmdMsg(ID_EDIT_ADDCUE));
    EXPECT_EQ(RowIds(), QStringList({"Q010", "Q020", "Q030", "Q070", "Q040", "Q050", "Q060"}));
    EXPECT_EQ(view.GetSelectedRows(), QList<int>({3}));  // the next Go starts the new cue
    EXPECT_TRUE(m_doc->IsModified());

    view.SelectRows({});
    ASSERT_TRUE(view.OnCmdMsg(ID_EDIT_ADDCUE));
    EXPECT_EQ(RowIds().first(), "Q080");  // no selection: at the top
    EXPECT_EQ(m_dialogs, 2);
}

TEST_F(ViewEditTest, CancelledAddCueLeavesTheListButUsesUpTheId) {
    CMVView& view = MakeView(3);
    AnswerDialogs(false);
    ASSERT_TRUE(view.OnCmdMsg(ID_EDIT_ADDCUE));
    EXPECT_EQ(RowIds(), QStringList({"Q010", "Q020", "Q030"}));
    EXPECT_TRUE(m_doc->IsModified());

    AnswerDialogs(true);
    ASSERT_TRUE(view.OnCmdMsg(ID_EDIT_ADDCUE));
    EXPECT_EQ(RowIds().first(), "Q050");
}

TEST_F(ViewEditTest, EditCueRewritesTheRowOnOkOnly) {
    CMVView& view = MakeView(3);
    AnswerDialogs(false, [](CCueSettingsDlg& d) {
        d.findChild<QLineEdit*>("descriptionEdit")->setText("Thunder");
    });
    view.SelectRows({1}, 1);
    ASSERT_TRUE(view.OnCmdMsg(ID_EDIT_EDITCUE));
    EXPECT_EQ(view.GetRowTexts(1).value(1), "");
    EXPECT_FALSE(m_doc->IsModified());

    AnswerDialogs(true, [](CCueSettingsDlg& d) {
        d.findChild<QLineEdit*>("descriptionEdit")->setText("Thunder");
    });
    ASSERT_TRUE(view.OnCmdMsg(ID_EDIT_EDITCUE));
    EXPECT_EQ(view.GetRowTexts(1).value(1), "Thunder");
    EXPECT_EQ(m_doc->GetCue(1)->m_strDescription, "Thunder");
    EXPECT_TRUE(m_doc->IsModified());

    // Two rows selected: the command is disabled and opens nothing.
    const int dialogs = m_dialogs;
    view.SelectRows({0, 2}, 0);
    EXPECT_EQ(view.OnUpdateCommand(ID_EDIT_EDITCUE), std::optional<bool>(false));
    view.OnCmdMsg(ID_EDIT_EDITCUE);
    EXPECT_EQ(m_dialogs, dialogs);
}

TEST_F(ViewEditTest, DeleteRemovesTheSelectedCuesAndLeavesNothingSelectedOrFocused) {
    CMVView& view = MakeView(5);
    CQRecord* keep[] = {m_doc->GetCue(0), m_doc->GetCue(2), m_doc->GetCue(4)};
    view.SelectRows({1, 3}, 3);
    ASSERT_EQ(view.OnUpdateCommand(ID_EDIT_CLEAR), std::optional<bool>(true));
    ASSERT_TRUE(view.OnCmdMsg(ID_EDIT_CLEAR));
    EXPECT_EQ(RowIds(), QStringList({"Q010", "Q030", "Q050"}));
    for (int i = 0; i < 3; ++i) EXPECT_EQ(m_doc->GetCue(i), keep[i]);
    EXPECT_TRUE(view.GetSelectedRows().isEmpty());
    EXPECT_FALSE(view.currentIndex().isValid());
    EXPECT_TRUE(m_doc->IsModified());
    EXPECT_EQ(view.OnUpdateCommand(ID_EDIT_CLEAR), std::optional<bool>(false));
}

TEST_F(ViewEditTest, WhilePlayingEditAndDeleteAreDisabledButTheRestWorks) {
    CMVView& view = MakeView(4);
    StartPlaying();
    AnswerDialogs(
        true, [](CCueSettingsDlg& d) { d.findChild<QLineEdit*>("notesEdit")->setText("edited"); });

    view.SelectRows({2}, 2);
    EXPECT_EQ(view.OnUpdateCommand(ID_EDIT_EDITCUE), std::optional<bool>(false));
    EXPECT_EQ(view.OnUpdateCommand(ID_EDIT_CLEAR), std::optional<bool>(false));
    EXPECT_EQ(view.OnUpdateCommand(ID_EDIT_ADDCUE), std::optional<bool>(true));
    view.OnCmdMsg(ID_EDIT_CLEAR);  // from its key: not carried out
    EXPECT_EQ(view.GetRowCount(), 4);
    view.OnCmdMsg(ID_EDIT_EDITCUE);
    EXPECT_EQ(m_dialogs, 0);

    // The double click still edits.
    const QPoint at = RowPoint(2);
    Mouse(QEvent::MouseButtonPress, at, Qt::LeftButton);
    Mouse(QEvent::MouseButtonRelease, at, Qt::NoButton);
    Mouse(QEvent::MouseButtonPress, at, Qt::LeftButton);
    Mouse(QEvent::MouseButtonDblClick, at, Qt::LeftButton);
    Mouse(QEvent::MouseButtonRelease, at, Qt::NoButton);
    EXPECT_EQ(m_dialogs, 1);
    EXPECT_EQ(m_doc->GetCue(2)->m_strNotes, "edited");

    // Add Cue, a dropped file and a row drag still work.
    ASSERT_TRUE(view.OnCmdMsg(ID_EDIT_ADDCUE));
    EXPECT_EQ(view.GetRowCount(), 5);
    Drop({QUrl::fromLocalFile("/show/Bell.wav")}, RowPoint(0));
    EXPECT_EQ(view.GetRowCount(), 6);
    CQRecord* moving = view.GetRowCue(5);
    StartDrag(5);
    DragTo(RowPoint(0, -3));
    Release(RowPoint(0, -3));
    EXPECT_EQ(view.GetRowCue(0), moving);
    EXPECT_NE(view.GetCurrentPlayer(), nullptr);
    RowIds();
}

TEST_F(ViewEditTest, WhilePlayingCutAndCopyAreDisabledButPasteWorks) {
    CMVView& view = MakeView(3);
    view.SelectRows({1}, 1);
    ASSERT_TRUE(view.OnCmdMsg(ID_EDIT_COPY));  // Q020 on the clipboard
    StartPlaying();

    view.SelectRows({2}, 2);
    EXPECT_EQ(view.OnUpdateCommand(ID_EDIT_CUT), std::optional<bool>(false));
    EXPECT_EQ(view.OnUpdateCommand(ID_EDIT_COPY), std::optional<bool>(false));
    EXPECT_EQ(view.OnUpdateCommand(ID_EDIT_PASTE), std::optional<bool>(true));
    view.OnCmdMsg(ID_EDIT_CUT);  // from its key: not carried out
    EXPECT_EQ(RowIds(), QStringList({"Q010", "Q020", "Q030"}));
    ASSERT_TRUE(view.OnCmdMsg(ID_EDIT_PASTE));
    EXPECT_EQ(RowIds(), QStringList({"Q010", "Q020", "Q020", "Q030"}));
    EXPECT_NE(view.GetCurrentPlayer(), nullptr);
}

TEST_F(ViewEditTest, DeletingACueThatIsStillFadingOutStopsItsPlayerFirst) {
    CMVView& view = MakeView(3);
    CQRecord* cue = view.GetRowCue(0);
    cue->m_dwFadeOut = 1500;  // past -40 dB after 1 s, silent after 1.5 s
    StartPlaying();
    ASSERT_TRUE(view.OnCmdMsg(ID_AUDIO_FADEOUT, Qt::NoModifier));
    // Past -40 dB the player is no longer current but still sounds.
    ASSERT_TRUE(QTest::qWaitFor([&] { return view.GetPlayers().empty(); }, 3000));
    ASSERT_EQ(view.GetOwnedPlayerCount(), 1);
    ASSERT_GT(cue->m_nPlayCount.load(), 0);

    view.SelectRows({0}, 0);
    ASSERT_EQ(view.OnUpdateCommand(ID_EDIT_CLEAR), std::optional<bool>(true));
    ASSERT_TRUE(view.OnCmdMsg(ID_EDIT_CLEAR));
    EXPECT_EQ(view.GetOwnedPlayerCount(), 0);
    EXPECT_EQ(RowIds(), QStringList({"Q020", "Q030"}));
    QTest::qWait(50);  // late reports of the stopped player go nowhere
}

TEST_F(ViewEditTest, DroppedWavFileBecomesACueBeforeTheRowUnderThePoint) {
    CMVView& view = MakeView(3);
    Drop({QUrl::fromLocalFile("/show/sfx/Thunder.wav")}, RowPoint(2));
    ASSERT_EQ(view.GetRowCount(), 4);
    CQRecord* cue = view.GetRowCue(2);
    EXPECT_EQ(cue->m_strDescription, "Thunder");
    EXPECT_EQ(cue->m_strPath, "/show/sfx/Thunder.wav");
    EXPECT_EQ(cue->m_dwFadeOut, CQRecord::kDefaultFadeOutMs);
    EXPECT_TRUE(view.GetSelectedRows().isEmpty());
    EXPECT_EQ(m_dialogs, 0);

    // Below the last row: appended. Any letter case of ".wav" will do.
    Drop({QUrl::fromLocalFile("/show/Rain.WAV")}, QPoint(60, view.viewport()->height() - 2));
    EXPECT_EQ(view.GetRowCue(4)->m_strDescription, "Rain");

    // A file that is no sound file: nothing, and one message naming it.
    Drop({QUrl::fromLocalFile("/show/c.wave")}, RowPoint(0));
    EXPECT_EQ(view.GetRowCount(), 5);
    ASSERT_EQ(m_messages.size(), 1u);
    EXPECT_TRUE(m_messages.back().contains(QStringLiteral("c.wave")));
}

TEST_F(ViewEditTest, EveryDroppedSoundFileBecomesACueInTheOrderGiven) {
    CMVView& view = MakeView(2);
    // Sound files of every kind, mixed with others, the first of them an MP3.
    Drop({QUrl::fromLocalFile("/show/Thunder.mp3"), QUrl::fromLocalFile("/show/notes.txt"),
          QUrl::fromLocalFile("/show/Rain.FLAC"), QUrl(QStringLiteral("https://example.org/a.wav")),
          QUrl::fromLocalFile("/show/Bell.wav"), QUrl::fromLocalFile("/show/cover.jpg"),
          QUrl::fromLocalFile("/show/Wind.opus")},
         RowPoint(1));
    EXPECT_EQ(RowIds().size(), 6);
    QStringList descriptions;
    for (int row = 0; row < view.GetRowCount(); ++row) {
        descriptions.append(QString::fromUtf8(view.GetRowCue(row)->m_strDescription));
    }
    EXPECT_EQ(descriptions, QStringList({view.GetRowCue(0)->m_strDescription, "Thunder", "Rain",
                                         "Bell", "Wind", view.GetRowCue(5)->m_strDescription}));
    EXPECT_EQ(view.GetRowCue(2)->m_strPath, "/show/Rain.FLAC");
    EXPECT_TRUE(m_doc->IsModified());
    // The files skipped are named together, once.
    ASSERT_EQ(m_messages.size(), 1u);
    EXPECT_TRUE(m_messages[0].contains(QStringLiteral("notes.txt")));
    EXPECT_TRUE(m_messages[0].contains(QStringLiteral("cover.jpg")));

    // Below the last row: appended in order.
    Drop({QUrl::fromLocalFile("/a/One.aiff"), QUrl::fromLocalFile("/a/Two.ogg")},
         QPoint(60, view.viewport()->height() - 2));
    EXPECT_EQ(view.GetRowCue(6)->m_strDescription, "One");
    EXPECT_EQ(view.GetRowCue(7)->m_strDescription, "Two");
    EXPECT_EQ(m_messages.size(), 1u);
}

TEST_F(ViewEditTest, DraggingARowMovesItIntoTheGapUnderThePointer) {
    CMVView& view = MakeView(4);
    view.SelectRows({1, 2}, 1);

    // Row 0 to below row 2's midpoint (and above row 3's): 1, 2, 0, 3.
    StartDrag(0);
    EXPECT_TRUE(view.GetSelectedRows().isEmpty());  // only the dragged row moves
    EXPECT_EQ(view.viewport()->cursor().shape(), Qt::DragMoveCursor);
    DragTo(RowPoint(2, 2));
    Release(RowPoint(2, 2));
    EXPECT_EQ(RowIds(), QStringList({"Q020", "Q030", "Q010", "Q040"}));
    EXPECT_EQ(view.GetSelectedRows(), QList<int>({2}));
    EXPECT_EQ(view.currentIndex().row(), 2);
    EXPECT_NE(view.viewport()->cursor().shape(), Qt::DragMoveCursor);
    EXPECT_TRUE(m_doc->IsModified());

    // Row 3 to above row 0's midpoint: to the top.
    StartDrag(3);
    DragTo(RowPoint(0, -2));
    Release(RowPoint(0, -2));
    EXPECT_EQ(RowIds(), QStringList({"Q040", "Q020", "Q030", "Q010"}));
    EXPECT_EQ(view.GetSelectedRows(), QList<int>({0}));

    // Below the last row: the dragged row goes to the end.
    StartDrag(1);
    DragTo(QPoint(60, view.viewport()->height() - 2));
    Release(QPoint(60, view.viewport()->height() - 2));
    EXPECT_EQ(RowIds(), QStringList({"Q040", "Q030", "Q010", "Q020"}));
    EXPECT_EQ(view.GetSelectedRows(), QList<int>({3}));
}

TEST_F(ViewEditTest, DropsThatMoveNothingLeaveNoRowSelected) {
    CMVView& view = MakeView(4);
    const QStringList order = RowIds();
    auto expectUnchanged = [&](const char* what) {
        SCOPED_TRACE(what);
        EXPECT_EQ(RowIds(), order);
        EXPECT_TRUE(view.GetSelectedRows().isEmpty());
        EXPECT_EQ(view.viewport()->cursor().shape(), Qt::ArrowCursor);
    };

    StartDrag(1);  // released at its own place (gap 1)
    DragTo(RowPoint(1, -2));
    Release(RowPoint(1, -2));
    expectUnchanged("own place");

    StartDrag(1);  // just below itself (gap 2)
    DragTo(RowPoint(1, 2));
    Release(RowPoint(1, 2));
    expectUnchanged("just below");

    StartDrag(1);  // released before the pointer moved after the drag started
    Release(RowPoint(3));
    expectUnchanged("no move");
    EXPECT_FALSE(m_doc->IsModified());
}

TEST_F(ViewEditTest, EscapeOrALostReleaseEndsTheDragCleanly) {
    CMVView& view = MakeView(4);
    const QStringList order = RowIds();

    // The insertion line: drawn along the top edge of the row below the gap while dragging,
    // gone after the drag.
    const QColor ink = view.palette().color(QPalette::Text);
    auto lineShown = [&](int gapRow) {
        const QImage image = view.viewport()->grab().toImage();
        const int y = view.rowViewportPosition(gapRow);
        return image.pixelColor(40, y) == ink && image.pixelColor(40, y - 1) == ink;
    };
    StartDrag(0);
    DragTo(RowPoint(2, 2));
    EXPECT_TRUE(lineShown(3));
    QTest::keyClick(&view, Qt::Key_Escape);
    EXPECT_EQ(view.viewport()->cursor().shape(), Qt::ArrowCursor);
    EXPECT_FALSE(lineShown(3));
    Release(RowPoint(2, 2));  // the release after the cancel moves nothing
    EXPECT_EQ(RowIds(), order);

    // The button came up outside the window: the next move without it ends the drag.
    StartDrag(0);
    DragTo(RowPoint(3, 2));
    Mouse(QEvent::MouseMove, RowPoint(3, 3), Qt::NoButton);
    EXPECT_EQ(view.viewport()->cursor().shape(), Qt::ArrowCursor);
    Release(RowPoint(3, 3));
    EXPECT_EQ(RowIds(), order);

    // A row deleted from under the drag (by its key) is not moved into the void.
    StartDrag(3);
    DragTo(RowPoint(0, -2));
    m_doc->DeleteCue(3);
    Release(RowPoint(0, -2));
    EXPECT_EQ(RowIds(), QStringList({"Q010", "Q020", "Q030"}));
}

}  // namespace
