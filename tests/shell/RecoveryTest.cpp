// Autosave and recovery: recovery copies written from a snapshot off the UI thread, equal to
// the list whatever changed since the copy before, and removed when nothing is left to
// recover; a copy that cannot be written said, nothing half-written left, and tried again;
// copies of programs that ended offered at the next start, recovered as the original show,
// discarded, kept for later, or set aside when damaged; copies of running programs left alone.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRandomGenerator>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <memory>
#include <vector>

#include "cuelist/CMVDoc.h"
#include "cuelist/CQRecord.h"
#include "engine/CSoundOutput.h"
#include "shell/AppSettings.h"
#include "shell/CAutoSaver.h"
#include "shell/CMainFrame.h"
#include "shell/CMarvaneApp.h"
#include "shell/CRecoveryStore.h"
#include "shell/CSplashWnd.h"
#include "support/FileSizeLimit.h"
#include "view/CMVView.h"
#include "view/CommandIds.h"
#include "view/MessageBox.h"

namespace {

QByteArray ReadFile(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

void WriteFile(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(bytes);
}

class RecoveryTest : public ::testing::Test {
protected:
    void SetUp() override {
        mvapp::OpenSettings().clear();
        ASSERT_TRUE(m_dir.isValid());
        m_folder = m_dir.filePath("recovery");
        mvui::SetMessageHandlerForTesting(
            [this](const QString& text, QMessageBox::Icon, QMessageBox::StandardButtons) {
                m_messages.push_back(text);
                return int(QMessageBox::Ok);
            });
        CSplashWnd::EnableSplash(false);
    }
    void TearDown() override {
        if (m_app) m_app->ExitInstance();
        m_app.reset();
        mvui::SetMessageHandlerForTesting({});
    }

    // Starts the program with `args`, answering the recovery question with `choice`.
    CMarvaneApp& Start(CMarvaneApp::RecoveryChoice choice, const QStringList& args = {}) {
        m_app = std::make_unique<CMarvaneApp>();
        m_app->SetRegisterDesktopIntegration(false);
        m_app->SetRecoveryFolder(m_folder);
        m_app->SetRecoveryChooserForTesting([this, choice](const QString& text) {
            m_questions.push_back(text);
            return choice;
        });
        EXPECT_TRUE(m_app->InitInstance(args));
        return *m_app;
    }

    // A list of `n` cues saved as `name`; the document stays open.
    std::unique_ptr<CMVDoc> SavedList(const QString& name, int n) {
        auto doc = std::make_unique<CMVDoc>();
        doc->OnNewDocument();
        for (int i = 0; i < n; ++i)
            doc->AddCue(-1)->m_strDescription = "cue " + QByteArray::number(i);
        QString error;
        EXPECT_TRUE(doc->OnSaveDocument(m_dir.filePath(name), &error));
        return doc;
    }

    // A copy as a program that ended would have left it: list and sidecar, nobody's lock.
    RecoveryCopy LeaveCopy(const QByteArray& list, const QString& original, const QString& id) {
        QDir().mkpath(m_folder);
        RecoveryCopy copy;
        copy.id = id;
        copy.listPath = QDir(m_folder).filePath(id + ".mvl");
        copy.sidecarPath = QDir(m_folder).filePath(id + ".json");
        copy.lockPath = QDir(m_folder).filePath(id + ".lock");
        copy.originalPath = original;
        copy.title = original.isEmpty() ? "Untitled" : QFileInfo(original).fileName();
        copy.time = QDateTime::currentDateTime();
        copy.pid = 999999;
        WriteFile(copy.listPath, list);
        WriteFile(copy.sidecarPath, CRecoveryStore::SidecarBytes(copy));
        WriteFile(copy.lockPath, "");
        return copy;
    }

    // Writes a copy now; returns whether it was written, with the message when not.
    bool Write(CAutoSaver& saver, QString* message = nullptr) {
        QSignalSpy spy(&saver, &CAutoSaver::written);
        saver.WriteNow();
        EXPECT_TRUE(saver.WaitUntilWritten(10000));
        if (spy.isEmpty()) spy.wait(5000);
        if (spy.isEmpty()) return false;
        if (message != nullptr) *message = spy.last().at(1).toString();
        return spy.last().at(0).toBool();
    }

    QStringList FolderFiles() const {
        QStringList files = QDir(m_folder).entryList(QDir::Files | QDir::Hidden);
        files.sort();
        return files;
    }

    QTemporaryDir m_dir;
    QString m_folder;
    std::unique_ptr<CMarvaneApp> m_app;
    std::vector<QString> m_messages;
    std::vector<QString> m_questions;
};

TEST_F(RecoveryTest, ACopyIsWrittenAfterEditsAndRemovedWhenNothingIsLeftToRecover) {
    std::unique_ptr<CMVDoc> doc = SavedList("show.mvl", 5);
    CMVView view(doc.get());
    CAutoSaver saver(doc.get(), view.GetUndoStack(), m_folder);
    const RecoveryCopy& copy = saver.GetCopy();

    // An edit, then quiet: the copy follows 2 s later, as the file would be saved now.
    view.SelectRows({1, 2}, 1);
    ASSERT_TRUE(view.OnCmdMsg(ID_EDIT_CLEAR));
    EXPECT_FALSE(QFile::exists(copy.listPath));
    ASSERT_TRUE(QTest::qWaitFor([&] { return QFile::exists(copy.sidecarPath); }, 5000));
    ASSERT_TRUE(saver.WaitUntilWritten(5000));
    EXPECT_EQ(ReadFile(copy.listPath), doc->SaveToBytes());
    const QJsonObject sidecar = QJsonDocument::fromJson(ReadFile(copy.sidecarPath)).object();
    EXPECT_EQ(sidecar.value("original").toString(), m_dir.filePath("show.mvl"));
    EXPECT_EQ(sidecar.value("pid").toInteger(), QCoreApplication::applicationPid());
    // While this program runs, its copy is nobody's orphan.
    EXPECT_TRUE(CRecoveryStore(m_folder).FindOrphans().isEmpty());

    // Undone back to the saved list: nothing to recover.
    ASSERT_TRUE(view.OnCmdMsg(ID_EDIT_UNDO));
    ASSERT_TRUE(saver.WaitUntilWritten(5000));
    EXPECT_EQ(FolderFiles(), QStringList());

    // Edited again, written, then saved: gone again.
    ASSERT_TRUE(view.OnCmdMsg(ID_EDIT_REDO));
    saver.WriteNow();
    ASSERT_TRUE(saver.WaitUntilWritten(5000));
    EXPECT_EQ(ReadFile(copy.listPath), doc->SaveToBytes());
    QString error;
    ASSERT_TRUE(doc->OnSaveDocument(m_dir.filePath("show.mvl"), &error));
    ASSERT_TRUE(saver.WaitUntilWritten(5000));
    EXPECT_EQ(FolderFiles(), QStringList());

    // Replaced by New: gone.
    view.SelectRows({0}, 0);
    view.OnCmdMsg(ID_EDIT_CLEAR);
    saver.WriteNow();
    ASSERT_TRUE(saver.WaitUntilWritten(5000));
    EXPECT_TRUE(QFile::exists(copy.listPath));
    doc->OnNewDocument();
    ASSERT_TRUE(saver.WaitUntilWritten(5000));
    EXPECT_EQ(FolderFiles(), QStringList());
}

TEST_F(RecoveryTest, ACopyLeftByAProgramThatEndedIsRecoveredAsTheOriginalShow) {
    std::unique_ptr<CMVDoc> edited = SavedList("Act1.mvl", 4);
    edited->DeleteCue(2);
    edited->AddCue(0)->m_strNotes = "added after the save";
    const QString original = m_dir.filePath("Act1.mvl");
    const QByteArray before = ReadFile(original);
    LeaveCopy(edited->SaveToBytes(), original, "marvane-1-1");

    CMarvaneApp& app = Start(CMarvaneApp::RecoveryChoice::Recover);
    ASSERT_EQ(m_questions.size(), 1u);
    EXPECT_TRUE(m_questions[0].startsWith(
        "Marvane closed unexpectedly. Unsaved changes to Act1.mvl from "));
    EXPECT_TRUE(m_questions[0].endsWith(" can be recovered."));
    CMVDoc* doc = app.GetDocument();
    EXPECT_EQ(doc->SaveToBytes(), edited->SaveToBytes());
    EXPECT_EQ(doc->GetPathName(), original);
    EXPECT_TRUE(doc->IsModified());
    EXPECT_EQ(app.GetMainFrame()->windowTitle(), "Act1.mvl* - Marvane");
    EXPECT_EQ(ReadFile(original), before);  // untouched until the operator saves
    EXPECT_FALSE(app.GetMainFrame()->GetView()->GetUndoStack()->canUndo());

    // Save writes the original file; the copy is gone with it.
    ASSERT_TRUE(app.GetDocManager()->OnFileSave());
    EXPECT_EQ(ReadFile(original), edited->SaveToBytes());
    ASSERT_TRUE(app.GetAutoSaver()->WaitUntilWritten(5000));
    EXPECT_EQ(FolderFiles(), QStringList());
}

TEST_F(RecoveryTest, DiscardRemovesLaterKeepsAndARunningProgramsCopyIsNotOffered) {
    auto list = SavedList("a.mvl", 2);
    const RecoveryCopy first =
        LeaveCopy(list->SaveToBytes(), m_dir.filePath("a.mvl"), "marvane-1-1");
    // Another copy of the program, running: it holds the lock of its copy.
    const RecoveryCopy running = LeaveCopy(list->SaveToBytes(), QString(), "marvane-2-2");
    const int lock = ::open(QFile::encodeName(running.lockPath).constData(), O_RDWR);
    ASSERT_GE(lock, 0);
    ASSERT_EQ(::flock(lock, LOCK_EX), 0);

    Start(CMarvaneApp::RecoveryChoice::Later);
    EXPECT_EQ(m_questions.size(), 1u);
    EXPECT_TRUE(QFile::exists(first.listPath));
    m_app->ExitInstance();
    m_app.reset();

    Start(CMarvaneApp::RecoveryChoice::Discard);
    EXPECT_EQ(m_questions.size(), 2u);
    EXPECT_FALSE(QFile::exists(first.listPath));
    EXPECT_FALSE(QFile::exists(first.sidecarPath));
    EXPECT_TRUE(QFile::exists(running.listPath));
    EXPECT_FALSE(m_app->GetDocument()->IsModified());
    ::close(lock);
}

TEST_F(RecoveryTest, ADamagedCopyIsExplainedAndKeptAndTheListIsLeftAlone) {
    const RecoveryCopy copy =
        LeaveCopy(QByteArray::fromHex("0500ffff01000800") + "CQRe", QString(), "marvane-3-3");
    CMarvaneApp& app = Start(CMarvaneApp::RecoveryChoice::Recover);
    ASSERT_EQ(m_messages.size(), 1u);
    EXPECT_TRUE(m_messages[0].startsWith("The recovery copy of Untitled from "))
        << m_messages[0].toStdString();
    EXPECT_TRUE(m_messages[0].contains("Unexpected file format.")) << m_messages[0].toStdString();
    EXPECT_TRUE(m_messages[0].contains(copy.listPath + ".damaged"));
    EXPECT_TRUE(QFile::exists(copy.listPath + ".damaged"));
    EXPECT_EQ(app.GetDocument()->GetCueCount(), 0);
    EXPECT_FALSE(app.GetDocument()->IsModified());

    // Not offered again, and never removed by the program.
    m_app->ExitInstance();
    m_app.reset();
    Start(CMarvaneApp::RecoveryChoice::Recover);
    EXPECT_EQ(m_questions.size(), 1u);
    EXPECT_TRUE(QFile::exists(copy.listPath + ".damaged"));
}

TEST_F(RecoveryTest, EveryCopyEqualsTheListWhateverChangedSinceTheCopyBefore) {
    CMVDoc doc;
    doc.OnNewDocument();
    for (int i = 0; i < 5000; ++i) {
        CQRecord* cue = doc.AddCue(-1);
        cue->m_strDescription = "cue " + QByteArray::number(i);
        cue->m_strNotes = "note";
    }
    CAutoSaver saver(&doc, nullptr, m_folder);
    const QString copy = saver.GetCopy().listPath;
    ASSERT_TRUE(Write(saver));
    ASSERT_EQ(ReadFile(copy), doc.SaveToBytes());

    // One field of one cue: only its share of the list is copied again.
    doc.GetCue(2500)->m_nVolume = -12;
    ASSERT_TRUE(Write(saver));
    EXPECT_EQ(ReadFile(copy), doc.SaveToBytes());
    EXPECT_LT(saver.GetLastCopiedCues(), 2000u);

    QRandomGenerator random(14);
    for (int round = 0; round < 70; ++round) {
        const int at = random.bounded(doc.GetCueCount());
        CQRecord* cue = doc.GetCue(at);
        switch (round % 10) {
            case 0:  // a text written in place, same length
                if (!cue->m_strNotes.isEmpty()) cue->m_strNotes.data()[0] = 'N';
                break;
            case 1:  // a text grown in place
                cue->m_strDescription.append('+');
                break;
            case 2:  // one number at a time, a different one each time
                switch (round / 10) {
                    case 0:
                        cue->m_dwFlags.store(CQRecord::kFlagLooped);
                        break;
                    case 1:
                        cue->m_nChannel += 1;
                        break;
                    case 2:
                        cue->m_nVolume -= 1;
                        break;
                    case 3:
                        cue->m_nPan += 1;
                        break;
                    case 4:
                        cue->m_dwFadeIn += 1;
                        break;
                    case 5:
                        cue->m_dwFadeOut += 1;
                        break;
                    default:
                        cue->m_byReserved += 1;
                        break;
                }
                break;
            case 3:
                doc.AddCue(at)->m_strPath = "new.wav";
                break;
            case 4:  // a cue replaced by a new one, likely in the same memory and place
                doc.DeleteCue(at);
                doc.AddCue(at)->m_strNotes = "note";
                break;
            case 5:
                doc.MoveCue(at, random.bounded(doc.GetCueCount()));
                break;
            case 6:
                doc.DeleteCue(at);
                break;
            case 7:  // many cues at the top, one at a time, with a copy after each
                for (int i = 0; i < 5; ++i) {
                    doc.AddCue(0);
                    doc.SetModifiedFlag();
                    ASSERT_TRUE(Write(saver));
                    ASSERT_EQ(ReadFile(copy), doc.SaveToBytes());
                }
                break;
            case 8:  // the same value again: no change, the copy stays right
                cue->m_strID = QByteArray(cue->m_strID);
                break;
            default:
                cue->m_strID = "Q" + QByteArray::number(round);
                cue->m_strPath = cue->m_strID;
                break;
        }
        doc.SetModifiedFlag();
        ASSERT_TRUE(Write(saver)) << round;
        ASSERT_EQ(ReadFile(copy), doc.SaveToBytes()) << "round " << round;
    }

    // A list replaced entirely (opened): its copy is all of it.
    doc.DeleteContents();
    for (int i = 0; i < 3; ++i) doc.AddCue(-1);
    ASSERT_TRUE(Write(saver));
    EXPECT_EQ(ReadFile(copy), doc.SaveToBytes());
}

TEST_F(RecoveryTest, ASnapshotTakenInStepsIsOfOneStateOfTheList) {
    CMVDoc doc;
    doc.OnNewDocument();
    for (int i = 0; i < 20000; ++i)
        doc.AddCue(-1)->m_strDescription = "cue " + QByteArray::number(i);
    CAutoSaver saver(&doc, nullptr, m_folder);
    const QString copy = saver.GetCopy().listPath;

    // Between two steps a cue is moved, or deleted (its record destroyed), and one already
    // looked at is changed: the snapshot starts over and is of the list as it is now.
    for (const bool destroy : {false, true}) {
        saver.WriteNow();
        ASSERT_TRUE(saver.IsSnapshotting());
        if (destroy)
            doc.DeleteCue(15000);
        else
            doc.MoveCue(15000, 0);
        doc.GetCue(100)->m_strNotes = "changed " + QByteArray::number(destroy);
        ASSERT_TRUE(QTest::qWaitFor([&] { return !saver.IsSnapshotting(); }, 5000));
        ASSERT_TRUE(saver.WaitUntilWritten(10000));
        EXPECT_EQ(ReadFile(copy), doc.SaveToBytes()) << destroy;
    }

    // Discarded while under way: it never brings the copy back.
    doc.GetCue(0)->m_nVolume = -3;
    saver.WriteNow();
    ASSERT_TRUE(saver.IsSnapshotting());
    saver.DiscardCopy();
    QTest::qWait(50);
    ASSERT_TRUE(saver.WaitUntilWritten(10000));
    EXPECT_EQ(FolderFiles(), QStringList());
}

TEST_F(RecoveryTest, ACopyThatCannotBeWrittenIsSaidLeavesTheListAloneAndIsTriedAgain) {
    CMVDoc doc;
    doc.OnNewDocument();
    for (int i = 0; i < 300; ++i) doc.AddCue(-1)->m_strNotes = QByteArray(100, 'n');
    const QByteArray list = doc.SaveToBytes();
    // The recovery folder cannot be made: a file has its name.
    QFile blocker(m_folder);
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    CAutoSaver saver(&doc, nullptr, m_folder);
    QString message;
    EXPECT_FALSE(Write(saver, &message));
    EXPECT_EQ(message, "The recovery folder " + m_folder + " could not be created.");
    EXPECT_TRUE(doc.IsModified());
    EXPECT_EQ(doc.SaveToBytes(), list);
    EXPECT_TRUE(saver.IsWriteDue()) << "tried again later without another edit";

    // The folder is there now, but the disk fills up while the copy is written.
    ASSERT_TRUE(QFile::remove(m_folder));
    ASSERT_TRUE(QDir().mkpath(m_folder));
    bool written = true;
    {
        const FileSizeLimit limit(4096);
        ASSERT_TRUE(limit.IsSet());
        written = Write(saver, &message);
    }
    EXPECT_FALSE(written);
    EXPECT_EQ(message, "The recovery copy could not be written: Disk full while accessing " +
                           saver.GetCopy().listPath + ".");
    EXPECT_EQ(FolderFiles(), QStringList({saver.GetCopy().id + ".lock"})) << "nothing half-written";
    EXPECT_TRUE(doc.IsModified());
    EXPECT_EQ(doc.SaveToBytes(), list);
    EXPECT_TRUE(saver.IsWriteDue());

    // The next try, with room again, writes the whole copy.
    ASSERT_TRUE(Write(saver, &message)) << message.toStdString();
    EXPECT_EQ(ReadFile(saver.GetCopy().listPath), list);
    EXPECT_EQ(FolderFiles().size(), 3);  // list, sidecar, lock
    EXPECT_FALSE(saver.IsWriteDue());
}

}  // namespace
