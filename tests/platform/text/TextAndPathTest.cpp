#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include "platform/text/AnsiText.h"
#include "platform/text/CaseInsensitiveLookup.h"
#include "platform/text/PathRules.h"

TEST(AnsiText, ValidUtf8IsShownAsUtf8OtherBytesAsWindows1252) {
    EXPECT_EQ(ToDisplayText("plain"), "plain");
    EXPECT_EQ(ToDisplayText("Caf\xc3\xa9"), QString::fromUtf16(u"Caf\u00e9"));
    EXPECT_EQ(ToDisplayText("Caf\xe9"), QString::fromUtf16(u"Caf\u00e9"));
    EXPECT_EQ(ToDisplayText("\x80\x85\x9f"), QString::fromUtf16(u"\u20ac\u2026\u0178"));
    EXPECT_EQ(ToDisplayText("\x81\x8d"), QString::fromUtf16(u"\u0081\u008d"));  // unassigned
    EXPECT_EQ(ToDisplayText(QByteArray("a\0b", 3)).size(), 3);
    EXPECT_EQ(FromEditedText(QString::fromUtf16(u"\u20ac5")),
              "\xe2\x82\xac"
              "5");
    // Whatever the bytes, each shows as one character when it is not UTF-8.
    QByteArray all;
    for (int i = 1; i < 256; ++i) all.append(static_cast<char>(i));
    EXPECT_EQ(ToDisplayText(all).size(), 255);
}

TEST(AnsiText, Utf8ValidationRejectsMalformedSequences) {
    EXPECT_TRUE(IsValidUtf8(""));
    EXPECT_TRUE(IsValidUtf8("\xf0\x9f\x8e\xb5"));       // U+1F3B5
    EXPECT_TRUE(IsValidUtf8("\xf4\x8f\xbf\xbf"));       // U+10FFFF
    EXPECT_FALSE(IsValidUtf8("\xc0\xaf"));              // overlong '/'
    EXPECT_FALSE(IsValidUtf8("\xe0\x80\xaf"));          // overlong
    EXPECT_FALSE(IsValidUtf8("\xed\xa0\x80"));          // surrogate
    EXPECT_FALSE(IsValidUtf8("\xf4\x90\x80\x80"));      // above U+10FFFF
    EXPECT_FALSE(IsValidUtf8("\xe2\x82"));              // cut short
    EXPECT_FALSE(IsValidUtf8("\x80"));                  // lone continuation
    EXPECT_FALSE(IsValidUtf8("\xf8\x88\x80\x80\x80"));  // five-byte form
}

TEST(PathRules, BothSeparatorsSplitPaths) {
    using namespace mvpath;
    EXPECT_EQ(FindFileName("D:\\Sounds\\Bell.wav"), "Bell.wav");
    EXPECT_EQ(FindFileName("/home/show/Bell.wav"), "Bell.wav");
    EXPECT_EQ(FindFileName("mixed/dir\\Bell.wav"), "Bell.wav");
    EXPECT_EQ(FindFileName("Bell.wav"), "Bell.wav");
    EXPECT_EQ(FindFileName("dir/"), "");
    EXPECT_EQ(FindExtension("a/b.tar.WAV"), ".WAV");
    EXPECT_EQ(FindExtension("a.dir\\noext"), "");
    EXPECT_EQ(FindExtension(".hidden"), ".hidden");
    EXPECT_EQ(RemoveExtension("D:\\Show\\Thunder.wav"), "D:\\Show\\Thunder");
    EXPECT_EQ(RemoveExtension("a.dir/noext"), "a.dir/noext");
    EXPECT_EQ(RemoveFileSpec("/show/list.MVL"), "/show");
    EXPECT_EQ(RemoveFileSpec("/list.MVL"), "/");
    EXPECT_EQ(RemoveFileSpec("list.MVL"), "");
    EXPECT_EQ(RemoveFileSpec("C:\\Show\\list.MVL"), "C:\\Show");
}

TEST(PathRules, AppendPutsExactlyOneSeparatorBetween) {
    using namespace mvpath;
    QByteArray joined;
    ASSERT_TRUE(Append("/show", "Bell.wav", &joined));
    EXPECT_EQ(joined, "/show/Bell.wav");
    ASSERT_TRUE(Append("/show/", "Bell.wav", &joined));
    EXPECT_EQ(joined, "/show/Bell.wav");
    ASSERT_TRUE(Append("C:\\show\\", "\\Bell.wav", &joined));
    EXPECT_EQ(joined, "C:\\show\\Bell.wav");
    ASSERT_TRUE(Append("", "Bell.wav", &joined));
    EXPECT_EQ(joined, "Bell.wav");

    // At the limit and one past it.
    const QByteArray folder = "/" + QByteArray(kMaxPath - 10, 'f');
    ASSERT_TRUE(Append(folder, QByteArray(8, 'n'), &joined));
    EXPECT_EQ(joined.size(), kMaxPath);
    QByteArray untouched = "keep";
    EXPECT_FALSE(Append(folder, QByteArray(9, 'n'), &untouched));
    EXPECT_EQ(untouched, "keep");
}

TEST(PathRules, ExistenceAndCaseInsensitiveLookup) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    {
        QFile file(dir.filePath("Bell.WAV"));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    }
    ASSERT_TRUE(QDir(dir.path()).mkdir("bell.wav.d"));
    const QByteArray folder = QFile::encodeName(dir.path());
    EXPECT_TRUE(mvpath::FileExists(folder + "/Bell.WAV"));
    EXPECT_FALSE(mvpath::FileExists(folder + "/bell.wav"));
    EXPECT_FALSE(mvpath::FileExists(folder));  // a folder is not a file
    EXPECT_FALSE(mvpath::FileExists(""));
    EXPECT_FALSE(mvpath::FileExists(folder + QByteArray("/Bell.WAV\0x", 11)));
    EXPECT_FALSE(mvpath::FileExists("/" + QByteArray(5000, 'x')));

    EXPECT_EQ(mvpath::FindExistingIgnoringCase(folder + "/bell.wav"), folder + "/Bell.WAV");
    EXPECT_EQ(mvpath::FindExistingIgnoringCase(folder + "/Bell.WAV"), folder + "/Bell.WAV");
    EXPECT_EQ(mvpath::FindExistingIgnoringCase(folder + "/BELL.WAV.D"), "");  // folders don't count
    EXPECT_EQ(mvpath::FindExistingIgnoringCase(folder + "/other.wav"), "");
    EXPECT_EQ(mvpath::FindExistingIgnoringCase("/no/such/folder/x.wav"), "");

    // A lookup reads a folder once: a file added later is not seen by it.
    CaseInsensitiveLookup lookup;
    EXPECT_EQ(lookup.Find(folder + "/RAIN.wav"), "");
    {
        QFile file(dir.filePath("rain.wav"));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    }
    EXPECT_EQ(lookup.Find(folder + "/RAIN.wav"), "");
    EXPECT_EQ(CaseInsensitiveLookup().Find(folder + "/RAIN.wav"), folder + "/rain.wav");
}
