#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include "cuelist/CQRecord.h"
#include "cuelist/CueArchive.h"
#include "platform/text/CaseInsensitiveLookup.h"

namespace {

void Touch(const QString& path) {
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly)) << path.toStdString();
}

QByteArray Bytes(const QString& path) { return QFile::encodeName(path); }

}  // namespace

TEST(CQRecord, NewRecordHasInitialValuesAndRowTexts) {
    CQRecord cue;
    EXPECT_TRUE(cue.m_strID.isEmpty());
    EXPECT_TRUE(cue.m_strDescription.isEmpty());
    EXPECT_TRUE(cue.m_strPath.isEmpty());
    EXPECT_TRUE(cue.m_strNotes.isEmpty());
    EXPECT_EQ(cue.m_dwFadeOut, 5000u);
    EXPECT_EQ(cue.m_dwFadeIn + cue.m_dwFlags + cue.m_byReserved, 0u);
    EXPECT_EQ(cue.m_nChannel | cue.m_nVolume | cue.m_nPan | cue.m_nPlayCount, 0);
    EXPECT_EQ(cue.GetRowTexts(),
              QStringList({"", "", "", "", "0", "Max", "Centre", "0.0", "5.0", ""}));
}

TEST(CQRecord, SetFilePathNamesTheCueAfterItsFileUntilTheOperatorRenamesIt) {
    CQRecord cue;
    cue.SetFilePath("D:\\Show\\Thunder.wav");
    EXPECT_EQ(cue.m_strDescription, "Thunder");
    EXPECT_EQ(cue.GetRowText(3), "Thunder.wav");
    cue.SetFilePath("/show/Rain.tar.wav");  // follows the file while unchanged
    EXPECT_EQ(cue.m_strDescription, "Rain.tar");
    cue.m_strDescription = "Storm";
    cue.SetFilePath("D:\\Show\\Wind.wav");
    EXPECT_EQ(cue.m_strDescription, "Storm");
    EXPECT_EQ(cue.m_strPath, "D:\\Show\\Wind.wav");

    CQRecord lower;
    lower.SetFilePath("D:\\Show\\Thunder.wav");
    lower.m_strDescription = "thunder";  // differs only in case: the operator's text
    lower.SetFilePath("D:\\Show\\Rain.wav");
    EXPECT_EQ(lower.m_strDescription, "thunder");
}

TEST(CQRecord, IsWaveFileLooksAtTheLastExtensionOfTheFileName) {
    CQRecord cue;
    for (const char* path : {"a.wav", "a.WAV", "a.Wav", "dir.x\\b.wav", "dir/c.tar.wav"}) {
        cue.m_strPath = path;
        EXPECT_TRUE(cue.IsWaveFile()) << path;
    }
    for (const char* path : {"a.wave", "a.mp3", "noext", "dir.wav/noext", "dir.wav\\x", ""}) {
        cue.m_strPath = path;
        EXPECT_FALSE(cue.IsWaveFile()) << path;
    }
}

TEST(CQRecord, RowTextsOfFlagsNumbersAndTimes) {
    CQRecord cue;
    auto flags = [&](uint32_t value) {
        cue.m_dwFlags = value;
        return cue.GetRowText(4);
    };
    EXPECT_EQ(flags(CQRecord::kTypeBackground | CQRecord::kFlagExclusive | CQRecord::kFlagLooped),
              "BXL");
    EXPECT_EQ(flags(CQRecord::kFlagLooped), "L");
    EXPECT_EQ(flags(CQRecord::kTypeAutomatic), "A");
    EXPECT_EQ(flags(CQRecord::kTypeMultiple | CQRecord::kFlagExclusive), "MX");
    EXPECT_EQ(flags(7), "");  // a type the program never sets shows no letter

    auto volume = [&](int32_t value) {
        cue.m_nVolume = value;
        return cue.GetRowText(6);
    };
    EXPECT_EQ(volume(0), "Max");
    EXPECT_EQ(volume(-1), "-1dB");
    EXPECT_EQ(volume(-100), "-100dB");

    auto pan = [&](int32_t value) {
        cue.m_nPan = value;
        return cue.GetRowText(7);
    };
    EXPECT_EQ(pan(-100), "L100");
    EXPECT_EQ(pan(100), "R100");
    EXPECT_EQ(pan(1), "R1");
    EXPECT_EQ(pan(0), "Centre");
    EXPECT_EQ(pan(INT32_MIN), "L2147483648");

    cue.m_nChannel = -1;
    EXPECT_EQ(cue.GetRowText(5), "-1");

    cue.m_dwFadeOut = 1250;
    cue.m_dwFadeIn = 60000;
    EXPECT_EQ(cue.GetRowText(9), "1.3");
    EXPECT_EQ(cue.GetRowText(8), "60.0");
    EXPECT_EQ(cue.GetRowText(0), "");
    EXPECT_EQ(cue.GetRowText(11), "");
}

TEST(CQRecord, FadeTimesRoundOnTheExactDecimalExpansion) {
    EXPECT_EQ(FormatFadeSeconds(250), "0.3");  // 0.25 exactly: the 5 rounds up
    EXPECT_EQ(FormatFadeSeconds(150), "0.1");  // the double nearest 0.15 lies below it
    EXPECT_EQ(FormatFadeSeconds(1250), "1.3");
    EXPECT_EQ(FormatFadeSeconds(5000), "5.0");
    EXPECT_EQ(FormatFadeSeconds(2009), "2.0");
    EXPECT_EQ(FormatFadeSeconds(950), "1.0");  // carries into the units
    EXPECT_EQ(FormatFadeSeconds(0), "0.0");
    EXPECT_EQ(FormatFadeSeconds(4294967295u), "4294967.3");
}

TEST(CQRecord, RowTextsDecodeBytesForDisplay) {
    CQRecord cue;
    cue.m_strDescription = "Caf\xe9";             // Windows-1252
    cue.m_strNotes = "Caf\xc3\xa9 \xe2\x82\xac";  // UTF-8
    EXPECT_EQ(cue.GetRowText(2), QString::fromUtf16(u"Caf\u00e9"));
    EXPECT_EQ(cue.GetRowText(10), QString::fromUtf16(u"Caf\u00e9 \u20ac"));
    EXPECT_EQ(cue.GetRowTextBytes(2), "Caf\xe9");
}

TEST(CQRecordResolvePath, MovedListFindsItsFilesInItsNewFolder) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString show = dir.filePath("Show");
    ASSERT_TRUE(QDir().mkpath(show));
    Touch(show + "/Thunder.wav");
    Touch(dir.filePath("Kept.wav"));

    CQRecord moved;
    moved.m_strPath = "F:\\Old\\Thunder.wav";
    moved.ResolvePath(Bytes(show));
    EXPECT_EQ(moved.m_strPath, Bytes(show + "/Thunder.wav"));

    CQRecord present;
    present.m_strPath = Bytes(dir.filePath("Kept.wav"));
    present.ResolvePath(Bytes(show));
    EXPECT_EQ(present.m_strPath, Bytes(dir.filePath("Kept.wav")));

    // Missing in the new folder too: pointed there anyway, reported only when played.
    CQRecord missing;
    missing.m_strPath = "/gone/Away.wav";
    missing.ResolvePath(Bytes(show + "/"));
    EXPECT_EQ(missing.m_strPath, Bytes(show + "/Away.wav"));

    // No file name: nothing to find, and the cue is not pointed at the folder itself.
    CQRecord empty;
    empty.ResolvePath(Bytes(show));
    EXPECT_EQ(empty.m_strPath, "");
    empty.m_strPath = "C:\\Show\\";
    empty.ResolvePath(Bytes(show));
    EXPECT_EQ(empty.m_strPath, "C:\\Show\\");
}

TEST(CQRecordResolvePath, AcceptsANameThatDiffersOnlyInCase) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    Touch(dir.filePath("RAIN.WAV"));
    Touch(dir.filePath("old.wav"));
    CaseInsensitiveLookup lookup;

    CQRecord moved;
    moved.m_strPath = "C:\\Show\\rain.wav";
    moved.ResolvePath(Bytes(dir.path()), &lookup);
    EXPECT_EQ(moved.m_strPath, Bytes(dir.filePath("RAIN.WAV")));

    CQRecord sameFolder;
    sameFolder.m_strPath = Bytes(dir.filePath("OLD.wav"));
    sameFolder.ResolvePath("/elsewhere", &lookup);
    EXPECT_EQ(sameFolder.m_strPath, Bytes(dir.filePath("old.wav")));
}

TEST(CQRecordResolvePath, PathTooLongForTheFileSystemIsLeftAlone) {
    CQRecord cue;
    cue.m_strPath = "C:\\x\\" + QByteArray(300, 'n') + ".wav";
    const QByteArray before = cue.m_strPath;
    cue.ResolvePath("/" + QByteArray(4000, 'f'));
    EXPECT_EQ(cue.m_strPath, before);
}

TEST(CQRecord, SerializeLeavesThePlayCountAlone) {
    CQRecord source;
    source.m_strID = "Q1";
    source.m_byReserved = 7;
    QByteArray bytes;
    CueArchive writer(&bytes);
    source.Serialize(writer);

    CQRecord target;
    target.m_nPlayCount = 2;
    CueArchive reader{QByteArrayView(bytes)};
    target.Serialize(reader);
    EXPECT_FALSE(reader.Failed());
    EXPECT_EQ(target.m_strID, "Q1");
    EXPECT_EQ(target.m_byReserved, 7);
    EXPECT_EQ(target.m_nPlayCount.load(), 2);
}
