// Undo and redo of every edit of the cue list view: each edit taken back and done again, alone
// and chained, compared record by record and by the bytes a save writes; the selection, the
// highlight and the next cue ID; players of records an undo removes; the modified flag
// following the saved state.
#include <gtest/gtest.h>

#include <QApplication>
#include <QClipboard>
#include <QLineEdit>
#include <QMimeData>
#include <QMouseEvent>
#include <QTemporaryDir>
#include <QTest>
#include <QUrl>
#include <functional>
#include <memory>
#include <ostream>
#include <vector>

#include "cuelist/CMVDoc.h"
#include "cuelist/CQRecord.h"
#include "cuelist/CueArchive.h"
#include "engine/CCuePlayer.h"
#include "engine/CSoundOutput.h"
#include "shell/CCueSettingsDlg.h"
#include "view/CMVView.h"
#include "view/CommandIds.h"
#include "view/CueClipboard.h"
#include "view/MessageBox.h"
#include "view/ViewTestSupport.h"

namespace {

const QString kMime = QString::fromLatin1(CueClipboard::kMimeType);

// Everything about a list that an undo must give back: the records themselves (by address),
// every stored field (through the saved bytes), the selection and the focused row.
struct Snapshot {
    std::vector<const CQRecord*> records;
    QByteArray bytes;
    QList<int> selected;
    int current = -1;
    int32_t lastCueNumber = 0;

    bool operator==(const Snapshot&) const = default;
};

void PrintTo(const Snapshot& s, std::ostream* out) {
    *out << s.records.size() << " records, bytes " << qHash(s.bytes) << ", selected";
    for (int row : s.selected) *out << ' ' << row;
    *out << ", current " << s.current << ", last " << s.lastCueNumber;
}

class ViewUndoTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { ASSERT_TRUE(theSoundOutput.Initialize()); }
    static void TearDownTestSuite() { theSoundOutput.ReleaseDevices(); }

    void SetUp() override {
        ASSERT_TRUE(m_dir.isValid());
        QGuiApplication::clipboard()->clear();
        m_doc = std::make_unique<CMVDoc>();
        m_doc->OnNewDocument();
        mvui::SetMessageHandlerForTesting(
            [](const QString&, QMessageBox::Icon, QMessageBox::StandardButtons) {
                return int(QMessageBox::Ok);
            });
    }

    void TearDown() override {
        m_view.reset();
        CCueSettingsDlg::SetModalRunnerForTesting({});
        mvui::SetMessageHandlerForTesting({});
    }

    // `n` cues that differ in every field, saved as the document's file, and the view.
    CMVView& MakeView(int n) {
        for (int i = 0; i < n; ++i) {
            CQRecord* cue = m_doc->AddCue(-1);
            cue->m_strDescription = "Cue " + QByteArray::number(i);
            cue->m_strPath = "sounds\\" + QByteArray::number(i) + ".wav";
            cue->m_dwFlags =
                static_cast<uint32_t>(i % 4) | (i % 3 == 0 ? CQRecord::kFlagLooped : 0);
            cue->m_nChannel = i % 2;
            cue->m_nVolume = -i;
            cue->m_nPan = i * 7 - 50;
            cue->m_dwFadeIn = static_cast<uint32_t>(i * 100);
            cue->m_dwFadeOut = static_cast<uint32_t>(1000 + i);
            cue->m_strNotes = "note \xe9 " + QByteArray::number(i);
            cue->m_byReserved = static_cast<uint8_t>(i);
        }
        QString error;
        EXPECT_TRUE(m_doc->OnSaveDocument(m_dir.filePath("show.mvl"), &error))
            << error.toStdString();
        m_view = std::make_unique<CMVView>(m_doc.get());
        m_view->resize(900, 400);
        m_view->OnInitialUpdate();
        m_view->show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(m_view.get()));
        return *m_view;
    }

    Snapshot Take() const {
        Snapshot s;
        for (int row = 0; row < m_view->GetRowCount(); ++row) {
            s.records.push_back(m_view->GetRowCue(row));
            EXPECT_EQ(m_view->GetRowCue(row), m_doc->GetCue(row)) << "row " << row;
        }
        EXPECT_EQ(m_doc->GetCueCount(), m_view->GetRowCount());
        s.bytes = m_doc->SaveToBytes();
        s.selected = m_view->GetSelectedRows();
        s.current = m_view->currentIndex().isValid() ? m_view->currentIndex().row() : -1;
        s.lastCueNumber = m_doc->m_nLastCueNumber;
        return s;
    }

    QString UndoText() const { return m_view->GetUndoStack()->undoText(); }

    // Undoes and redoes the last edit twice over: each way gives exactly `before` and `after`.
    void ExpectUndoRedo(const Snapshot& before, const Snapshot& after) {
        for (int round = 0; round < 2; ++round) {
            ASSERT_TRUE(m_view->OnCmdMsg(ID_EDIT_UNDO));
            EXPECT_EQ(Take(), before) << "undo, round " << round;
            ASSERT_TRUE(m_view->OnCmdMsg(ID_EDIT_REDO));
            EXPECT_EQ(Take(), after) << "redo, round " << round;
        }
    }

    void AnswerDialogs(bool ok, std::function<void(CCueSettingsDlg&)> edit = {}) {
        CCueSettingsDlg::SetModalRunnerForTesting([ok, edit](CCueSettingsDlg& d) {
            if (edit) edit(d);
            ok ? d.accept() : d.reject();
            return d.result();
        });
    }

    void Mouse(QEvent::Type type, QPoint pos, Qt::MouseButtons buttons) {
        QMouseEvent event(type, pos, m_view->viewport()->mapToGlobal(pos),
                          type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton, buttons,
                          Qt::NoModifier);
        QApplication::sendEvent(m_view->viewport(), &event);
    }
    QPoint RowPoint(int row, int dy = 0) const {
        return QPoint(60, m_view->rowViewportPosition(row) + m_view->rowHeight(row) / 2 + dy);
    }
    // Drags row `from` and drops it at the top edge of row `onto`.
    void DragRow(int from, int onto) {
        const QPoint at = RowPoint(from);
        Mouse(QEvent::MouseButtonPress, at, Qt::LeftButton);
        Mouse(QEvent::MouseMove, at + QPoint(QApplication::startDragDistance() + 2, 0),
              Qt::LeftButton);
        const QPoint target = RowPoint(onto, -m_view->rowHeight(onto) / 2 + 1);
        Mouse(QEvent::MouseMove, target, Qt::LeftButton);
        Mouse(QEvent::MouseButtonRelease, target, Qt::NoButton);
    }

    QTemporaryDir m_dir;
    std::unique_ptr<CMVDoc> m_doc;
    std::unique_ptr<CMVView> m_view;
};

TEST_F(ViewUndoTest, EachEditIsUndoneAndRedoneExactly) {
    CMVView& view = MakeView(8);

    // Delete three cues: the records come back, not copies, with selection and highlight.
    view.SelectRows({1, 4, 6}, 4);
    Snapshot before = Take();
    ASSERT_TRUE(view.OnCmdMsg(ID_EDIT_CLEAR));
    EXPECT_EQ(UndoText(), "Delete 3 Cues");
    ExpectUndoRedo(before, Take());

    // Cut one cue (the clipboard keeps what was cut, whatever is undone).
    view.SelectRows({2}, 2);
    before = Take();
    ASSERT_TRUE(view.OnCmdMsg(ID_EDIT_CUT));
    EXPECT_EQ(UndoText(), "Cut Cue");
    const QByteArray clip = QGuiApplication::clipboard()->mimeData()->data(kMime);
    ExpectUndoRedo(before, Take());

    // Paste it twice before a selected block, which stays selected.
    view.SelectRows({0, 1}, 1);
    ASSERT_TRUE(view.OnCmdMsg(ID_EDIT_PASTE));
    ASSERT_TRUE(view.OnCmdMsg(ID_EDIT_PASTE));
    before = Take();
    ASSERT_TRUE(view.OnCmdMsg(ID_EDIT_PASTE));
    EXPECT_EQ(UndoText(), "Paste Cue");
    ExpectUndoRedo(before, Take());

    // Edit a cue in the settings dialog: every field back as it was.
    view.SelectRows({3}, 3);
    AnswerDialogs(true, [](CCueSettingsDlg& d) {
        d.findChild<QLineEdit*>("descriptionEdit")->setText("Thunder");
        d.findChild<QLineEdit*>("cueIdEdit")->setText("Q999");
    });
    before = Take();
    ASSERT_TRUE(view.OnCmdMsg(ID_EDIT_EDITCUE));
    EXPECT_EQ(UndoText(), "Edit Q999");
    const Snapshot edited = Take();
    EXPECT_NE(edited.bytes, before.bytes);
    ExpectUndoRedo(before, edited);
    EXPECT_EQ(view.GetRowTexts(3).value(1), "Thunder");

    // Drag a row two places down (pressing on it selects it, as in any list).
    view.SelectRows({1}, 1);
    before = Take();
    DragRow(1, 4);
    EXPECT_EQ(UndoText(), "Move Cue");
    ExpectUndoRedo(before, Take());
    EXPECT_NE(Take().records, before.records);

    // Add Cue: an undone Add gives its ID back, so the next Add draws the same one.
    view.SelectRows({0}, 0);
    AnswerDialogs(true);
    before = Take();
    ASSERT_TRUE(view.OnCmdMsg(ID_EDIT_ADDCUE));
    EXPECT_EQ(UndoText(), "Add Cue");
    const Snapshot added = Take();
    EXPECT_EQ(added.lastCueNumber, before.lastCueNumber + 10);
    ExpectUndoRedo(before, added);
    ASSERT_TRUE(view.OnCmdMsg(ID_EDIT_UNDO));
    ASSERT_TRUE(view.OnCmdMsg(ID_EDIT_ADDCUE));
    EXPECT_EQ(view.GetRowCue(1)->m_strID, QByteArray("Q090"));
    EXPECT_FALSE(view.GetUndoStack()->canRedo());  // a new edit ends the redo history

    // A dropped WAV file.
    const QString wav = m_dir.filePath("drop.wav");
    ASSERT_TRUE(viewtest::WriteTone(wav, 100));
    before = Take();
    view.OnDropFiles({wav}, RowPoint(2));
    EXPECT_EQ(UndoText(), "Drop File");
    const Snapshot dropped = Take();
    EXPECT_EQ(dropped.records.size(), before.records.size() + 1);
    ExpectUndoRedo(before, dropped);
    EXPECT_EQ(QGuiApplication::clipboard()->mimeData()->data(kMime), clip);
}

TEST_F(ViewUndoTest, AChainOfEditsUndoesToTheSavedFileAndRedoesToTheLastState) {
    CMVView& view = MakeView(12);
    const Snapshot saved = Take();
    QFile file(m_dir.filePath("show.mvl"));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    ASSERT_EQ(file.readAll(), saved.bytes);

    AnswerDialogs(true, [](CCueSettingsDlg& d) {
        d.findChild<QLineEdit*>("descriptionEdit")->setText("Storm");
    });
    // Each edit with the list just before and just after it.
    std::vector<std::pair<Snapshot, Snapshot>> edits;
    const auto edit = [&](const QList<int>& rows, const std::function<void()>& command) {
        if (!rows.isEmpty()) view.SelectRows(rows, rows.first());
        const Snapshot before = Take();
        command();
        edits.emplace_back(before, Take());
    };
    const auto command = [&](int id) { return [&view, id] { view.OnCmdMsg(id); }; };
    edit({0, 5, 6}, command(ID_EDIT_CUT));
    edit({2}, command(ID_EDIT_PASTE));
    edit({4}, command(ID_EDIT_EDITCUE));
    edit({}, command(ID_EDIT_ADDCUE));
    edit({0}, [&] { DragRow(0, 7); });
    edit({1, 2, 3}, command(ID_EDIT_CLEAR));
    ASSERT_EQ(view.GetUndoStack()->count(), 6);

    for (size_t i = edits.size(); i-- > 0;) {
        ASSERT_TRUE(view.OnCmdMsg(ID_EDIT_UNDO));
        EXPECT_EQ(Take(), edits[i].first) << "after undoing edit " << i;
    }
    EXPECT_EQ(Take().bytes, saved.bytes);
    EXPECT_FALSE(m_doc->IsModified());  // back at the saved list
    EXPECT_FALSE(view.OnUpdateCommand(ID_EDIT_UNDO).value());
    for (size_t i = 0; i < edits.size(); ++i) {
        ASSERT_TRUE(view.OnCmdMsg(ID_EDIT_REDO));
        EXPECT_EQ(Take(), edits[i].second) << "after redoing edit " << i;
    }
    EXPECT_FALSE(view.OnUpdateCommand(ID_EDIT_REDO).value());

    // Save after undoing everything writes the file as it was before the first edit.
    while (view.GetUndoStack()->canUndo()) view.OnCmdMsg(ID_EDIT_UNDO);
    QString error;
    ASSERT_TRUE(m_doc->OnSaveDocument(m_dir.filePath("again.mvl"), &error));
    QFile again(m_dir.filePath("again.mvl"));
    ASSERT_TRUE(again.open(QIODevice::ReadOnly));
    EXPECT_EQ(again.readAll(), saved.bytes);
}

TEST_F(ViewUndoTest, ModifiedFlagFollowsTheSavedStateThroughUndoRedoSaveAndNew) {
    CMVView& view = MakeView(4);
    EXPECT_FALSE(m_doc->IsModified());
    view.SelectRows({1}, 1);
    view.OnCmdMsg(ID_EDIT_CLEAR);
    EXPECT_TRUE(m_doc->IsModified());
    view.OnCmdMsg(ID_EDIT_UNDO);
    EXPECT_FALSE(m_doc->IsModified());
    view.OnCmdMsg(ID_EDIT_REDO);
    EXPECT_TRUE(m_doc->IsModified());

    // Saved after the delete: that is the clean state now, on either side of it.
    QString error;
    ASSERT_TRUE(m_doc->OnSaveDocument(m_dir.filePath("show.mvl"), &error));
    EXPECT_FALSE(m_doc->IsModified());
    view.OnCmdMsg(ID_EDIT_UNDO);
    EXPECT_TRUE(m_doc->IsModified());
    view.OnCmdMsg(ID_EDIT_REDO);
    EXPECT_FALSE(m_doc->IsModified());

    // Undo past the save and edit anew: the saved state can no longer be reached.
    view.OnCmdMsg(ID_EDIT_UNDO);
    view.SelectRows({0}, 0);
    view.OnCmdMsg(ID_EDIT_CLEAR);
    view.OnCmdMsg(ID_EDIT_UNDO);
    EXPECT_TRUE(m_doc->IsModified());

    // A cancelled Add Cue used up an ID: modified, and no undo goes back to the saved file.
    view.OnCmdMsg(ID_EDIT_REDO);
    ASSERT_TRUE(m_doc->OnSaveDocument(m_dir.filePath("show.mvl"), &error));
    AnswerDialogs(false);
    const int edits = view.GetUndoStack()->count();
    view.OnCmdMsg(ID_EDIT_ADDCUE);
    EXPECT_EQ(view.GetUndoStack()->count(), edits);
    EXPECT_TRUE(m_doc->IsModified());
    view.OnCmdMsg(ID_EDIT_UNDO);
    view.OnCmdMsg(ID_EDIT_REDO);
    EXPECT_TRUE(m_doc->IsModified());

    // New and Open start a new history.
    m_doc->OnNewDocument();
    EXPECT_FALSE(view.GetUndoStack()->canUndo());
    EXPECT_FALSE(m_doc->IsModified());
    ASSERT_TRUE(m_doc->OnOpenDocument(m_dir.filePath("show.mvl"), &error));
    EXPECT_FALSE(view.GetUndoStack()->canUndo());
    EXPECT_FALSE(view.GetUndoStack()->canRedo());
    EXPECT_FALSE(m_doc->IsModified());
}

TEST_F(ViewUndoTest, AnUndoStopsThePlayerOfACueItRemovesAndWaitsWhileDeleteWould) {
    CMVView& view = MakeView(3);
    const QString wav = m_dir.filePath("loop.wav");
    ASSERT_TRUE(viewtest::WriteTone(wav, 2000));

    // Paste a looping cue, play it, undo the paste: its player goes before its record.
    CQRecord* source = m_doc->GetCue(0);
    source->SetFilePath(wav.toUtf8());
    source->m_dwFlags = CQRecord::kTypeMultiple | CQRecord::kFlagLooped;
    view.SelectRows({0}, 0);
    view.OnCmdMsg(ID_EDIT_COPY);
    view.SelectRows({}, -1);
    view.OnCmdMsg(ID_EDIT_PASTE);
    ASSERT_EQ(view.GetRowCount(), 4);
    CQRecord* pasted = view.GetRowCue(3);
    view.SelectRows({3}, 3);
    ASSERT_TRUE(view.OnCmdMsg(ID_AUDIO_GO));
    ASSERT_TRUE(QTest::qWaitFor([&] { return pasted->m_nPlayCount.load() > 0; }, 3000));
    EXPECT_TRUE(view.OnUpdateCommand(ID_EDIT_UNDO).value());  // Paste is allowed while playing
    ASSERT_TRUE(view.OnCmdMsg(ID_EDIT_UNDO));
    EXPECT_EQ(view.GetOwnedPlayerCount(), 0);
    EXPECT_EQ(view.GetCurrentPlayer(), nullptr);
    EXPECT_EQ(view.GetRowCount(), 3);

    // Delete is not allowed while a cue plays, and neither is taking one back or doing it again.
    view.SelectRows({2}, 2);
    ASSERT_TRUE(view.OnCmdMsg(ID_EDIT_CLEAR));
    view.SelectRows({0}, 0);
    ASSERT_TRUE(view.OnCmdMsg(ID_AUDIO_GO));
    ASSERT_NE(view.GetCurrentPlayer(), nullptr);
    EXPECT_FALSE(view.OnUpdateCommand(ID_EDIT_UNDO).value());
    view.OnCmdMsg(ID_EDIT_UNDO);
    EXPECT_EQ(view.GetRowCount(), 2);
    view.StopAllPlayers();
    ASSERT_TRUE(view.OnCmdMsg(ID_EDIT_UNDO));
    EXPECT_EQ(view.GetRowCount(), 3);
    view.SelectRows({0}, 0);
    ASSERT_TRUE(view.OnCmdMsg(ID_AUDIO_GO));
    EXPECT_FALSE(view.OnUpdateCommand(ID_EDIT_REDO).value());
    view.StopAllPlayers();
}

TEST_F(ViewUndoTest, TenThousandPastedCuesAreUndoneAndRedoneWhole) {
    CMVView& view = MakeView(10);
    auto source = std::make_unique<CMVDoc>();
    for (int i = 0; i < 10000; ++i) source->AddCue(-1)->m_nVolume = -(i % 100);
    ASSERT_TRUE(CueClipboard::Place(
        CueClipboard::PadToBlocks(CueArchive::EncodeCueArray(source->GetCues()))));

    view.SelectRows({5}, 5);
    const Snapshot before = Take();
    ASSERT_TRUE(view.OnCmdMsg(ID_EDIT_PASTE));
    ASSERT_EQ(view.GetRowCount(), 10010);
    EXPECT_EQ(UndoText(), "Paste 10000 Cues");
    const Snapshot after = Take();
    ASSERT_TRUE(view.OnCmdMsg(ID_EDIT_UNDO));
    EXPECT_EQ(Take(), before);
    ASSERT_TRUE(view.OnCmdMsg(ID_EDIT_REDO));
    EXPECT_EQ(Take(), after);
}

}  // namespace
