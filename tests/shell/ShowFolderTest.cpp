// The show check in the window (row marks, File > Check Show..., Find Missing Files...) and
// File > Collect Show Folder...
#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QUndoStack>
#include <memory>

#include "cuelist/CMVDoc.h"
#include "cuelist/CQRecord.h"
#include "engine/CSoundOutput.h"
#include "shell/AppSettings.h"
#include "shell/CCheckShowDlg.h"
#include "shell/CMainFrame.h"
#include "shell/FrameFixture.h"
#include "view/CCueListModel.h"
#include "view/CMVView.h"
#include "view/CommandIds.h"
#include "view/MessageBox.h"
#include "view/ShowChecker.h"
#include "view/ViewTestSupport.h"

namespace {

class ShowFolderTest : public FrameFixture {
protected:
    ShowFolderTest() : FrameFixture(300, QMessageBox::Ok) {}
    static void SetUpTestSuite() { ASSERT_TRUE(theSoundOutput.Initialize()); }
    static void TearDownTestSuite() { theSoundOutput.ReleaseDevices(); }

    void SetUp() override {
        FrameFixture::SetUp();
        QFile broken(m_dir.filePath("broken.mp3"));
        ASSERT_TRUE(broken.open(QIODevice::WriteOnly));
        broken.write(QByteArray(4000, '\x42'));
        broken.close();
    }

    void TearDown() override {
        FrameFixture::TearDown();
        CCheckShowDlg::SetFolderChooserForTesting({});
        CMainFrame::SetCollectFolderChooserForTesting({});
    }

    CQRecord* Add(const QString& path, int channel = 0) {
        CQRecord* cue = viewtest::AddCue(*m_doc, path, CQRecord::kTypeNormal);
        cue->m_nChannel = channel;
        return cue;
    }

    // Checks the list now and waits for the report.
    void Check() {
        m_frame->GetView()->RequestShowCheck(true);
        m_frame->GetView()->GetShowChecker()->WaitForReport();
    }
};

TEST_F(ShowFolderTest, RowsThatWouldFailAreMarkedWithTheReasonAndTheFileIsLeftAlone) {
    Add(m_tone);
    Add(m_dir.filePath("gone.wav"));
    Add(m_dir.filePath("broken.mp3"));
    Add(m_tone, 9);
    QString error;
    ASSERT_TRUE(m_doc->OnSaveDocument(m_dir.filePath("show.mvl"), &error));
    CMainFrame& frame = MakeFrame();
    CMVView& view = *frame.GetView();
    // The check runs by itself shortly after the list is shown.
    ASSERT_TRUE(QTest::qWaitFor([&] { return !view.GetRowProblem(1).isEmpty(); }, 5000));
    EXPECT_EQ(view.GetRowProblem(0), QString());
    EXPECT_EQ(view.GetRowProblem(1), "File not found: " + m_dir.filePath("gone.wav"));
    EXPECT_TRUE(view.GetRowProblem(2).startsWith("Not a sound file this program can play"));
    EXPECT_EQ(view.GetRowProblem(3),
              "Channel 9 does not exist here: the cue will play on channel 0");
    const QModelIndex mark = view.model()->index(1, 0);
    EXPECT_EQ(mark.data(Qt::ToolTipRole).toString(), view.GetRowProblem(1));
    EXPECT_TRUE(mark.data(CCueListModel::kProblemRole).toBool());
    EXPECT_FALSE(view.model()->index(0, 0).data(CCueListModel::kProblemRole).toBool());
    EXPECT_FALSE(m_doc->IsModified());

    // An edit that mends a path is checked again by itself.
    view.GetRowCue(1)->m_strPath = QFile::encodeName(m_tone);
    view.InvalidateCueRow(1);
    EXPECT_TRUE(QTest::qWaitFor([&] { return view.GetRowProblem(1).isEmpty(); }, 5000));

    // The dialog lists what is left; double-clicking a problem highlights its row.
    ASSERT_TRUE(frame.DispatchCommand(ID_FILE_CHECKSHOW, Qt::NoModifier));
    CCheckShowDlg* dialog = frame.GetCheckShowDialog();
    ASSERT_NE(dialog, nullptr);
    view.GetShowChecker()->WaitForReport();
    EXPECT_TRUE(dialog->isVisible());
    EXPECT_EQ(dialog->GetSummary(), "4 cues, 2 problems");
    QTableWidget* table = dialog->GetTable();
    ASSERT_EQ(table->rowCount(), 2);
    EXPECT_EQ(table->item(1, 0)->text(), "4");
    EXPECT_EQ(table->item(1, 3)->text(), view.GetRowProblem(3));
    emit table->cellDoubleClicked(1, 2);
    EXPECT_EQ(view.GetSelectedRows(), QList<int>({3}));
}

TEST_F(ShowFolderTest, FindMissingFilesRepointsCuesToFilesFoundBelowTheListOrInAChosenFolder) {
    // The show's files were moved into an audio/ subfolder, and one to another disk.
    Add(m_dir.filePath("Thunder.wav"));
    Add(m_dir.filePath("rain.wav"));
    Add(m_dir.filePath("Thunder.wav"));
    Add(m_dir.filePath("nowhere.wav"));
    QString error;
    ASSERT_TRUE(m_doc->OnSaveDocument(m_dir.filePath("show.mvl"), &error));
    ASSERT_TRUE(QDir(m_dir.path()).mkpath("audio/sfx"));
    ASSERT_TRUE(QFile::copy(m_tone, m_dir.filePath("audio/sfx/THUNDER.WAV")));
    QTemporaryDir other;
    ASSERT_TRUE(QFile::copy(m_tone, other.filePath("rain.wav")));
    CCheckShowDlg::SetFolderChooserForTesting([&](QWidget*) { return other.path(); });

    CMainFrame& frame = MakeFrame();
    Check();
    ASSERT_TRUE(frame.DispatchCommand(ID_FILE_CHECKSHOW, Qt::NoModifier));
    CCheckShowDlg* dialog = frame.GetCheckShowDialog();
    QPushButton* find = nullptr;
    for (QPushButton* button : dialog->findChildren<QPushButton*>()) {
        if (button->text() == "Find Missing Files...") find = button;
    }
    ASSERT_NE(find, nullptr);
    ASSERT_TRUE(find->isEnabled());
    find->click();

    EXPECT_EQ(m_doc->GetCue(0)->m_strPath,
              QFile::encodeName(m_dir.filePath("audio/sfx/THUNDER.WAV")));
    EXPECT_EQ(m_doc->GetCue(2)->m_strPath, m_doc->GetCue(0)->m_strPath);
    EXPECT_EQ(m_doc->GetCue(1)->m_strPath, QFile::encodeName(other.filePath("rain.wav")));
    EXPECT_EQ(m_doc->GetCue(3)->m_strPath, QFile::encodeName(m_dir.filePath("nowhere.wav")));
    EXPECT_TRUE(m_doc->IsModified());
    ASSERT_EQ(m_messages.size(), 1);
    EXPECT_TRUE(m_messages[0].startsWith("2 missing file(s) found."));
    EXPECT_TRUE(m_messages[0].contains("nowhere.wav"));
    frame.GetView()->GetShowChecker()->WaitForReport();
    EXPECT_EQ(dialog->GetSummary(), "4 cues, 1 problem");

    // One undoable edit puts every path back.
    QUndoStack* undo = frame.GetView()->GetUndoStack();
    EXPECT_EQ(undo->undoText(), "Find Missing Files");
    undo->undo();
    EXPECT_EQ(m_doc->GetCue(0)->m_strPath, QFile::encodeName(m_dir.filePath("Thunder.wav")));
    EXPECT_EQ(m_doc->GetCue(1)->m_strPath, QFile::encodeName(m_dir.filePath("rain.wav")));
}

TEST_F(ShowFolderTest, CollectShowFolderCopiesTheListAndItsFilesAndSaysWhatIsMissing) {
    Add(m_tone);
    Add(m_dir.filePath("gone.wav"));
    QString error;
    ASSERT_TRUE(m_doc->OnSaveDocument(m_dir.filePath("Show.mvl"), &error));
    const QByteArray saved = [&] {
        QFile f(m_dir.filePath("Show.mvl"));
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }();
    const QString target = m_dir.filePath("packed");
    CMainFrame::SetCollectFolderChooserForTesting([&](QWidget*) { return target; });
    CMainFrame& frame = MakeFrame();
    ASSERT_TRUE(frame.DispatchCommand(ID_FILE_COLLECT, Qt::NoModifier));
    EXPECT_EQ(QDir(target).entryList(QDir::Files, QDir::Name),
              QStringList({"Show.mvl", "tone.wav"}));
    ASSERT_EQ(m_messages.size(), 1);
    EXPECT_TRUE(m_messages[0].contains("gone.wav"));
    EXPECT_EQ(m_doc->GetCue(0)->m_strPath, QFile::encodeName(m_tone));  // the list is untouched
    EXPECT_FALSE(m_doc->IsModified());
    QFile original(m_dir.filePath("Show.mvl"));
    ASSERT_TRUE(original.open(QIODevice::ReadOnly));
    EXPECT_EQ(original.readAll(), saved);

    CMVDoc copy;
    ASSERT_TRUE(copy.OnOpenDocument(target + "/Show.mvl", &error));
    EXPECT_EQ(copy.GetCue(0)->m_strPath, QFile::encodeName(QDir(target).filePath("tone.wav")));

    // Into a folder that is not empty: refused with a message, nothing written.
    m_messages.clear();
    ASSERT_TRUE(frame.DispatchCommand(ID_FILE_COLLECT, Qt::NoModifier));
    ASSERT_EQ(m_messages.size(), 1);
    EXPECT_TRUE(m_messages[0].contains("not empty"));
    EXPECT_EQ(QDir(target).entryList(QDir::Files).size(), 2);
}

}  // namespace
