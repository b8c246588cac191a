// Autosave of long lists and autosaves that fail: the recovery copy always equals the list as it
// is, whatever was edited since the copy before (which shares what did not change); a copy that
// cannot be written is said, leaves the list alone, leaves nothing half-written and is written
// at a later try.
#include <gtest/gtest.h>
#include <sys/resource.h>

#include <QDir>
#include <QFile>
#include <QRandomGenerator>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <csignal>

#include "cuelist/CMVDoc.h"
#include "cuelist/CQRecord.h"
#include "shell/CAutoSaver.h"

namespace {

QByteArray ReadFile(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

class AutoSaveTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(m_dir.isValid());
        m_folder = m_dir.filePath("recovery");
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
};

TEST_F(AutoSaveTest, EveryCopyEqualsTheListWhateverChangedSinceTheCopyBefore) {
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

TEST_F(AutoSaveTest, ACopyThatCannotBeWrittenIsSaidLeavesTheListAloneAndIsTriedAgain) {
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
    struct sigaction ignore {};
    struct sigaction previous {};
    ignore.sa_handler = SIG_IGN;
    ::sigaction(SIGXFSZ, &ignore, &previous);
    rlimit old{};
    ::getrlimit(RLIMIT_FSIZE, &old);
    rlimit small = old;
    small.rlim_cur = 4096;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
    const bool written = Write(saver, &message);
    ::setrlimit(RLIMIT_FSIZE, &old);
    ::sigaction(SIGXFSZ, &previous, nullptr);
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
