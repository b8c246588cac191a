#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fcntl.h>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include "TestCues.h"
#include "cuelist/CMVDoc.h"
#include "cuelist/CQRecord.h"
#include "cuelist/CueListFile.h"
#include "support/FileSizeLimit.h"

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

QStringList Ids(const CMVDoc& doc) {
    QStringList ids;
    for (CQRecord* cue : doc.GetCues()) ids << QString::fromLatin1(cue->m_strID);
    return ids;
}

// Records every cue announced for destruction and checks that it is still alive and listed.
struct DestroyWatch {
    explicit DestroyWatch(CMVDoc* doc) {
        QObject::connect(doc, &CMVDoc::aboutToDestroyCues, [this, doc](const QList<CQRecord*>& c) {
            for (CQRecord* cue : c) {
                EXPECT_GE(doc->IndexOf(cue), 0) << "announced cue is not in the list";
                ids << QString::fromLatin1(cue->m_strID);  // still a live record
            }
        });
    }
    QStringList ids;
};

class CMVDocFiles : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(m_dir.isValid()); }
    QString Path(const QString& name) const { return m_dir.filePath(name); }
    QTemporaryDir m_dir;
};

}  // namespace

TEST(CMVDoc, DefaultIdsAdvanceByTenAndNeverGoBack) {
    CMVDoc doc;
    doc.AddCue(-1);
    doc.AddCue(-1);
    doc.DeleteCue(1);  // a cancelled Add Cue has still used its number
    doc.AddCue(-1);
    EXPECT_EQ(Ids(doc), QStringList({"Q010", "Q030"}));

    while (doc.GetCueCount() < 98) doc.AddCue(-1);
    EXPECT_EQ(doc.GetCue(97)->m_strID, "Q990");
    EXPECT_EQ(doc.AddCue(-1)->m_strID, "Q1000");

    while (doc.GetCueCount() > 0) doc.DeleteCue(0);
    EXPECT_EQ(doc.AddCue(-1)->m_strID, "Q1010");
    doc.OnNewDocument();
    EXPECT_EQ(doc.AddCue(-1)->m_strID, "Q010");
}

TEST(CMVDoc, AddCuePlacesTheCueAndMarksTheDocument) {
    CMVDoc doc;
    EXPECT_FALSE(doc.IsModified());
    doc.AddCue(-1);
    EXPECT_TRUE(doc.IsModified());
    doc.AddCue(5);  // past the end: appended
    doc.AddCue(0);  // at the top
    doc.AddCue(1);
    EXPECT_EQ(Ids(doc), QStringList({"Q030", "Q040", "Q010", "Q020"}));
    doc.SetModifiedFlag(false);
    doc.DeleteCue(7);   // out of range: nothing
    doc.DeleteCue(-1);  // nothing
    doc.DeleteCue(0);
    EXPECT_EQ(doc.GetCueCount(), 3);
    EXPECT_FALSE(doc.IsModified());  // deleting leaves the flag alone
    EXPECT_EQ(doc.GetTitle(), "Untitled");
}

TEST(CMVDoc, EveryPathThatDestroysRecordsAnnouncesThemFirst) {
    auto doc = std::make_unique<CMVDoc>();
    DestroyWatch watch(doc.get());
    for (int i = 0; i < 6; ++i) doc->AddCue(-1);
    doc->DeleteCue(0);
    EXPECT_EQ(watch.ids, QStringList({"Q010"}));
    doc->DeleteCues({doc->GetCue(0), doc->GetCue(0), nullptr});
    EXPECT_EQ(watch.ids, QStringList({"Q010", "Q020"}));

    // Rebuilding from the rows: Q040 dropped, a pasted record adopted, repeats ignored.
    auto* pasted = new CQRecord;
    pasted->m_strID = "P1";
    doc->RebuildFromList({doc->GetCue(3), pasted, doc->GetCue(0), pasted, nullptr, doc->GetCue(2)});
    EXPECT_EQ(Ids(*doc), QStringList({"Q060", "P1", "Q030", "Q050"}));
    EXPECT_EQ(watch.ids.last(), "Q040");

    CQRecord* taken = doc->TakeCue(1);
    EXPECT_EQ(taken, pasted);
    doc->InsertCue(0, taken);
    doc->InsertCue(0, taken);  // already held: ignored
    doc->MoveCue(0, 99);
    EXPECT_EQ(Ids(*doc), QStringList({"Q060", "Q030", "Q050", "P1"}));

    doc->DeleteContents();
    EXPECT_EQ(doc->GetCueCount(), 0);
    EXPECT_EQ(doc->m_nLastCueNumber, 0);
    EXPECT_EQ(watch.ids.size(), 7);

    doc->AddCue(-1);
    doc.reset();  // the document's end destroys its records too
    EXPECT_EQ(watch.ids.last(), "Q010");
}

TEST_F(CMVDocFiles, SaveOpenSaveGivesTheSameBytes) {
    const QString sound = Path("Bell.wav");
    WriteFile(sound, "RIFF");
    CMVDoc doc;
    CQRecord* cue = doc.AddCue(-1);
    cue->SetFilePath(QFile::encodeName(sound));
    cue->m_nVolume = -12;
    cue->m_byReserved = 7;
    doc.AddCue(-1)->SetFilePath(QFile::encodeName(sound));
    QString error;
    ASSERT_TRUE(doc.OnSaveDocument(Path("show.MVL"), &error)) << error.toStdString();
    EXPECT_FALSE(doc.IsModified());
    EXPECT_EQ(doc.GetTitle(), "show.MVL");
    const QByteArray first = ReadFile(Path("show.MVL"));

    CMVDoc reopened;
    ASSERT_TRUE(reopened.OnOpenDocument(Path("show.MVL"), &error)) << error.toStdString();
    EXPECT_FALSE(reopened.IsModified());
    EXPECT_EQ(reopened.m_nLastCueNumber, 20);
    EXPECT_EQ(reopened.GetCue(0)->m_byReserved, 7);
    ASSERT_TRUE(reopened.OnSaveDocument(Path("again.MVL"), &error));
    EXPECT_EQ(ReadFile(Path("again.MVL")).toHex(), first.toHex());
    EXPECT_EQ(reopened.AddCue(-1)->m_strID, "Q030");  // the sequence continues
}

TEST_F(CMVDocFiles, OpeningResolvesSoundPathsAgainstTheListsFolder) {
    QByteArray bytes = testcues::ReadGolden("two_cues.mvl");
    ASSERT_FALSE(bytes.isEmpty());
    WriteFile(Path("moved.MVL"), bytes);
    WriteFile(Path("Bell.wav"), "RIFF");
    CMVDoc doc;
    QString error;
    ASSERT_TRUE(doc.OnOpenDocument(Path("moved.MVL"), &error));
    EXPECT_EQ(doc.GetCue(0)->m_strPath, QFile::encodeName(Path("Bell.wav")));
    EXPECT_EQ(doc.GetCue(1)->m_strPath, QFile::encodeName(Path("Rain.wav")));  // missing too
}

TEST_F(CMVDocFiles, ZeroByteFileIsAnEmptyList) {
    WriteFile(Path("empty.MVL"), QByteArray());
    CMVDoc doc;
    doc.AddCue(-1);
    QString error;
    ASSERT_TRUE(doc.OnOpenDocument(Path("empty.MVL"), &error));
    EXPECT_EQ(doc.GetCueCount(), 0);
    EXPECT_FALSE(doc.IsModified());
    EXPECT_EQ(doc.GetTitle(), "empty.MVL");
    EXPECT_EQ(doc.AddCue(-1)->m_strID, "Q010");
}

TEST_F(CMVDocFiles, UnreadableContentsLeaveANewEmptyList) {
    const QByteArray golden = testcues::ReadGolden("two_cues.mvl");
    const QByteArray broken[] = {
        golden.left(60),                                                // ends inside a cue
        golden.left(golden.size() - 1),                                 // inside the last word
        QByteArray(golden).replace("CQRecord", "CQRecorD"),             // bad class
        QByteArray(golden).replace(4, 2, QByteArray::fromHex("0200")),  // bad schema
        QByteArray::fromHex("0200") + golden.mid(2, 73) + QByteArray::fromHex("0200"),  // ref
    };
    for (const QByteArray& bytes : broken) {
        WriteFile(Path("bad.MVL"), bytes);
        CMVDoc doc;
        DestroyWatch watch(&doc);
        doc.AddCue(-1);
        QString error;
        EXPECT_FALSE(doc.OnOpenDocument(Path("bad.MVL"), &error));
        EXPECT_EQ(error, "Unexpected file format.") << bytes.toHex().constData();
        EXPECT_EQ(doc.GetCueCount(), 0);
        EXPECT_EQ(doc.m_nLastCueNumber, 0);
        EXPECT_EQ(doc.GetTitle(), "Untitled");
        EXPECT_FALSE(doc.IsModified());
        EXPECT_EQ(watch.ids, QStringList({"Q010"}));
    }
}

TEST_F(CMVDocFiles, FilesThatCannotBeOpenedLeaveTheListAlone) {
    CMVDoc doc;
    doc.AddCue(-1);
    QString error;
    ASSERT_TRUE(doc.OnSaveDocument(Path("current.MVL"), &error));
    doc.AddCue(-1);

    EXPECT_FALSE(doc.OnOpenDocument(Path("missing.MVL"), &error));
    EXPECT_EQ(error, Path("missing.MVL") + " was not found.");
    EXPECT_FALSE(doc.OnOpenDocument(Path("nofolder/x.MVL"), &error));
    EXPECT_EQ(error, Path("nofolder/x.MVL") + " contains an invalid path.");
    EXPECT_FALSE(doc.OnOpenDocument(m_dir.path(), &error));
    EXPECT_EQ(error, "Access to " + m_dir.path() + " was denied.");
    // Neither a FIFO (which would block) nor an endless device is read.
    ASSERT_EQ(::mkfifo(QFile::encodeName(Path("fifo.MVL")).constData(), 0600), 0);
    EXPECT_FALSE(doc.OnOpenDocument(Path("fifo.MVL"), &error));
    EXPECT_EQ(error, "Access to " + Path("fifo.MVL") + " was denied.");
    EXPECT_FALSE(doc.OnOpenDocument("/dev/zero", &error));
    EXPECT_EQ(error, "Access to /dev/zero was denied.");

    // Another copy of the program holds the file while saving it.
    const QByteArray locked = QFile::encodeName(Path("current.MVL"));
    const int fd = ::open(locked.constData(), O_RDONLY);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::flock(fd, LOCK_EX), 0);
    EXPECT_FALSE(doc.OnOpenDocument(Path("current.MVL"), &error));
    EXPECT_EQ(error, "A sharing violation occurred while accessing " + Path("current.MVL") + ".");
    ::close(fd);

    EXPECT_EQ(Ids(doc), QStringList({"Q010", "Q020"}));
    EXPECT_EQ(doc.GetTitle(), "current.MVL");
    EXPECT_TRUE(doc.IsModified());
}

TEST_F(CMVDocFiles, SaveFailuresKeepTheDocumentModified) {
    CMVDoc doc;
    doc.AddCue(-1);
    QString error;
    EXPECT_FALSE(doc.OnSaveDocument(QString(), &error));
    EXPECT_EQ(error, "Invalid filename.");
    EXPECT_FALSE(doc.OnSaveDocument(Path("nofolder/x.MVL"), &error));
    EXPECT_EQ(error, Path("nofolder/x.MVL") + " contains an invalid path.");
    ASSERT_TRUE(QDir().mkpath(Path("folder.MVL")));
    EXPECT_FALSE(doc.OnSaveDocument(Path("folder.MVL"), &error));
    EXPECT_EQ(error, "Access to " + Path("folder.MVL") + " was denied.");
    ASSERT_EQ(::mkfifo(QFile::encodeName(Path("fifo.MVL")).constData(), 0600), 0);
    EXPECT_FALSE(doc.OnSaveDocument(Path("fifo.MVL"), &error));
    EXPECT_EQ(error, "Access to " + Path("fifo.MVL") + " was denied.");

    // A reader of another copy holds the file.
    WriteFile(Path("busy.MVL"), "old");
    const QByteArray busy = QFile::encodeName(Path("busy.MVL"));
    const int fd = ::open(busy.constData(), O_RDONLY);
    ASSERT_EQ(::flock(fd, LOCK_SH), 0);
    EXPECT_FALSE(doc.OnSaveDocument(Path("busy.MVL"), &error));
    EXPECT_EQ(error, "A sharing violation occurred while accessing " + Path("busy.MVL") + ".");
    ::close(fd);
    EXPECT_EQ(ReadFile(Path("busy.MVL")), "old");

    EXPECT_TRUE(doc.IsModified());
    EXPECT_EQ(doc.GetPathName(), QString());
}

TEST_F(CMVDocFiles, FailedWriteNeverDamagesTheOldFile) {
    CMVDoc doc;
    for (int i = 0; i < 200; ++i) doc.AddCue(-1)->m_strNotes = QByteArray(100, 'n');
    WriteFile(Path("show.MVL"), "the previous show");
    QString error;
    bool saved = true;
    {
        // Files may not grow past 1 KiB: the write fails as on a full disk.
        const FileSizeLimit limit(1024);
        ASSERT_TRUE(limit.IsSet());
        saved = doc.OnSaveDocument(Path("show.MVL"), &error);
    }

    EXPECT_FALSE(saved);
    EXPECT_EQ(error, "Disk full while accessing " + Path("show.MVL") + ".");
    EXPECT_EQ(ReadFile(Path("show.MVL")), "the previous show");
    EXPECT_EQ(QDir(m_dir.path()).entryList(QDir::Files | QDir::Hidden),
              QStringList({"show.MVL"}));  // no temporary file left behind
    EXPECT_TRUE(doc.IsModified());
}

// What a save killed between writing its temporary file and renaming it leaves behind: the
// file with its name, no longer locked (the process and its descriptors are gone).
struct KilledBeforeRename {};

// File systems without unnamed temporary files (some network and FUSE ones) are saved to
// through a named temporary file: the save is whole, and one killed before its rename leaves
// the old show as it was and its temporary file for the next save to remove.
TEST_F(CMVDocFiles, WithoutUnnamedTemporaryFilesSavesAreWholeAndAKilledOnesFileIsRemovedLater) {
    CueListFile::TestHooks hooks;
    hooks.unnamedTemporaries = false;
    QByteArray seen;
    bool lockedWhileNamed = false;
    hooks.beforeRename = [&](const QByteArray& temp) {
        seen = temp;
        const int fd = ::open(temp.constData(), O_RDONLY);
        lockedWhileNamed = fd >= 0 && ::flock(fd, LOCK_EX | LOCK_NB) != 0;
        if (fd >= 0) ::close(fd);
    };
    CueListFile::SetTestHooks(hooks);
    CMVDoc doc;
    for (int i = 0; i < 300; ++i) doc.AddCue(-1)->m_strNotes = QByteArray(100, 'n');
    WriteFile(Path("show.MVL"), "the previous show");
    QString error;
    EXPECT_TRUE(doc.OnSaveDocument(Path("show.MVL"), &error)) << error.toStdString();
    EXPECT_TRUE(QFileInfo(QFile::decodeName(seen)).fileName().startsWith(".show.MVL.mvsave-"));
    EXPECT_TRUE(lockedWhileNamed) << "no other save may take it for a left-over";
    EXPECT_EQ(ReadFile(Path("show.MVL")), doc.SaveToBytes());
    EXPECT_EQ(QDir(m_dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList({"show.MVL"}));

    const QByteArray saved = doc.SaveToBytes();
    doc.AddCue(0)->m_strDescription = "added";
    hooks.beforeRename = [](const QByteArray&) { throw KilledBeforeRename{}; };
    CueListFile::SetTestHooks(hooks);
    FileError::Cause cause = FileError::kNone;
    EXPECT_THROW(CueListFile::Write(QFile::encodeName(Path("show.MVL")), doc.SaveToBytes(), &cause),
                 KilledBeforeRename);
    EXPECT_EQ(ReadFile(Path("show.MVL")), saved);
    EXPECT_EQ(QDir(m_dir.path()).entryList(QDir::Files | QDir::Hidden).size(), 2);

    hooks.beforeRename = nullptr;
    CueListFile::SetTestHooks(hooks);
    EXPECT_TRUE(doc.OnSaveDocument(Path("show.MVL"), &error)) << error.toStdString();
    CueListFile::SetTestHooks({});
    EXPECT_EQ(ReadFile(Path("show.MVL")), doc.SaveToBytes());
    EXPECT_EQ(QDir(m_dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList({"show.MVL"}));
}

TEST_F(CMVDocFiles, SavesUnderTheLongestNameTheFileSystemTakes) {
    CMVDoc doc;
    doc.AddCue(-1);
    QString error;
    for (const int length : {200, 247, 248, 255}) {
        const QString name = QString(length - 4, 'n') + ".MVL";
        ASSERT_TRUE(doc.OnSaveDocument(Path(name), &error)) << length << error.toStdString();
        ASSERT_TRUE(doc.OnSaveDocument(Path(name), &error)) << length << " again";
        EXPECT_EQ(ReadFile(Path(name)), doc.SaveToBytes()) << length;
    }
    EXPECT_EQ(QDir(m_dir.path()).entryList(QDir::Files | QDir::Hidden).size(), 4)
        << "no temporary file left behind";
    EXPECT_FALSE(doc.OnSaveDocument(Path(QString(256, 'n')), &error)) << "one byte too long";
    EXPECT_FALSE(error.isEmpty());
}

TEST_F(CMVDocFiles, SaveKeepsPermissionsAndFollowsLinks) {
    CMVDoc doc;
    doc.AddCue(-1);
    WriteFile(Path("real.MVL"), "old");
    const QByteArray real = QFile::encodeName(Path("real.MVL"));
    ASSERT_EQ(::chmod(real.constData(), 0640), 0);
    ASSERT_TRUE(QFile::link(Path("real.MVL"), Path("link.MVL")));
    QString error;
    ASSERT_TRUE(doc.OnSaveDocument(Path("link.MVL"), &error)) << error.toStdString();
    EXPECT_TRUE(QFileInfo(Path("link.MVL")).isSymLink());
    EXPECT_EQ(ReadFile(Path("real.MVL")), doc.SaveToBytes());
    struct stat st {};
    ASSERT_EQ(::stat(real.constData(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u);

    // A link to a file not yet there (relative, through a second link) stays a link, and the
    // save creates the file it names.
    ASSERT_TRUE(QDir(m_dir.path()).mkdir("lists"));
    ASSERT_EQ(::symlink("lists/new.MVL", QFile::encodeName(Path("hop.MVL")).constData()), 0);
    ASSERT_EQ(::symlink("hop.MVL", QFile::encodeName(Path("dangling.MVL")).constData()), 0);
    ASSERT_TRUE(doc.OnSaveDocument(Path("dangling.MVL"), &error)) << error.toStdString();
    EXPECT_TRUE(QFileInfo(Path("dangling.MVL")).isSymLink());
    EXPECT_TRUE(QFileInfo(Path("hop.MVL")).isSymLink());
    EXPECT_EQ(ReadFile(Path("lists/new.MVL")), doc.SaveToBytes());

    // A link into a folder that does not exist, or a loop of links: the save fails, and the
    // links are left as they were.
    ASSERT_EQ(::symlink("nowhere/x.MVL", QFile::encodeName(Path("lost.MVL")).constData()), 0);
    EXPECT_FALSE(doc.OnSaveDocument(Path("lost.MVL"), &error));
    EXPECT_TRUE(QFileInfo(Path("lost.MVL")).isSymLink());
    ASSERT_EQ(::symlink("loopB.MVL", QFile::encodeName(Path("loopA.MVL")).constData()), 0);
    ASSERT_EQ(::symlink("loopA.MVL", QFile::encodeName(Path("loopB.MVL")).constData()), 0);
    EXPECT_FALSE(doc.OnSaveDocument(Path("loopA.MVL"), &error));
    EXPECT_FALSE(error.isEmpty());
    EXPECT_TRUE(QFileInfo(Path("loopA.MVL")).isSymLink());
    EXPECT_TRUE(QFileInfo(Path("loopB.MVL")).isSymLink());
}

namespace {

TEST_F(CMVDocFiles, ASaveRemovesTemporaryFilesOfSavesWhoseProcessIsGoneAndNothingElse) {
    CMVDoc doc;
    doc.AddCue(-1);
    // Left by saves killed before their rename (no process holds them any more).
    WriteFile(Path(".show.MVL.mvsave-a1B2c3"), QByteArray(4096, 'x'));
    WriteFile(Path(".other.MVL.mvsave-Zz9900"), "half a list");
    WriteFile(Path(".mvsave-LongNm"), "half a list");
    // The older naming, untouched for minutes: a save of this show that never finished.
    WriteFile(Path(".show.MVL.Qw3rTy"), "half a list");
    WriteFile(Path(".mvl-save.Qw3rTy"), "half a list");
    const QDateTime old = QDateTime::currentDateTime().addSecs(-600);
    for (const char* name : {".show.MVL.Qw3rTy", ".mvl-save.Qw3rTy"}) {
        QFile file(Path(name));
        ASSERT_TRUE(file.open(QIODevice::ReadWrite));
        ASSERT_TRUE(file.setFileTime(old, QFileDevice::FileModificationTime));
    }
    // Kept: a save writing at this moment (it holds its lock), an older-style name written
    // just now, other programs' hidden files, and names that only look alike.
    WriteFile(Path(".show.MVL.mvsave-Live01"), "being written");
    const int live =
        ::open(QFile::encodeName(Path(".show.MVL.mvsave-Live01")).constData(), O_RDONLY);
    ASSERT_GE(live, 0);
    ASSERT_EQ(::flock(live, LOCK_EX), 0);
    const QStringList kept = {".show.MVL.Fresh1", ".notes.txt.abcdef", ".show.MVL.mvsave-abc",
                              "show.MVL.mvsave-a1B2c3", ".show.MVL.mvsave-a1B2c$"};
    for (const QString& name : kept) WriteFile(Path(name), "keep");
    {
        QFile notes(Path(".notes.txt.abcdef"));
        ASSERT_TRUE(notes.open(QIODevice::ReadWrite));
        ASSERT_TRUE(notes.setFileTime(old, QFileDevice::FileModificationTime));
    }

    QString error;
    ASSERT_TRUE(doc.OnSaveDocument(Path("show.MVL"), &error)) << error.toStdString();
    QStringList expected = kept;
    expected << "show.MVL"
             << ".show.MVL.mvsave-Live01";
    expected.sort();
    QStringList found = QDir(m_dir.path()).entryList(QDir::Files | QDir::Hidden);
    found.sort();
    EXPECT_EQ(found, expected);
    ::close(live);

    // Once its writer is gone, the next save takes that one too.
    ASSERT_TRUE(doc.OnSaveDocument(Path("show.MVL"), &error));
    EXPECT_FALSE(QFileInfo::exists(Path(".show.MVL.mvsave-Live01")));
    EXPECT_EQ(ReadFile(Path("show.MVL")), doc.SaveToBytes());
}

}  // namespace
