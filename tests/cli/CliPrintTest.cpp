#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>

#include "cli/CliProcess.h"
#include "cuelist/CMVDoc.h"
#include "cuelist/CQRecord.h"

// marvane-cli print, read back with pdftotext and pdfinfo (poppler-utils).
namespace {

using clitest::kCli;

struct ProcessResult {
    int exitCode = -1;
    QString out;
    QString err;
};

ProcessResult RunProgram(const QString& program, const QStringList& args) {
    const clitest::Result run = clitest::Run(program, args, 60000);
    return {run.status, QString::fromUtf8(run.out), QString::fromUtf8(run.err)};
}

class CliPrint : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(m_dir.isValid());
        if (QStandardPaths::findExecutable("pdftotext").isEmpty())
            GTEST_SKIP() << "pdftotext (poppler-utils) is not installed";
    }

    // Saves a list of `count` cues named Q001... with the description "Cue n".
    QString SaveList(const QString& name, int count) {
        CMVDoc doc;
        doc.OnNewDocument();
        for (int i = 0; i < count; ++i) {
            CQRecord* cue = doc.AddCue(-1);
            cue->m_strID = QByteArray("Q") + QByteArray::number(i + 1).rightJustified(3, '0');
            cue->m_strDescription = "Cue " + QByteArray::number(i + 1);
            cue->m_strPath = "sounds/thunder.wav";
        }
        return Save(doc, name);
    }

    QString Save(CMVDoc& doc, const QString& name) {
        const QString path = m_dir.filePath(name);
        QString error;
        EXPECT_TRUE(doc.OnSaveDocument(path, &error)) << error.toStdString();
        return path;
    }

    QString Pdf(const QString& name) const { return m_dir.filePath(name); }

    static QString PdfText(const QString& pdf) {
        const ProcessResult run = RunProgram("pdftotext", {"-layout", pdf, "-"});
        EXPECT_EQ(run.exitCode, 0) << run.err.toStdString();
        return run.out;
    }

    static QString PdfInfo(const QString& pdf) {
        const ProcessResult run = RunProgram("pdfinfo", {pdf});
        EXPECT_EQ(run.exitCode, 0) << run.err.toStdString();
        return run.out;
    }

    static int PageCount(const QString& pdf) {
        const auto match = QRegularExpression("Pages:\\s+(\\d+)").match(PdfInfo(pdf));
        return match.hasMatch() ? match.captured(1).toInt() : -1;
    }

    QTemporaryDir m_dir;
};

}  // namespace

TEST_F(CliPrint, FortyNineCuesFillOneLandscapeLetterPage) {
    const QString list = SaveList("show.MVL", 49);
    const ProcessResult run = RunProgram(kCli, {"print", list, Pdf("one.pdf")});
    ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
    EXPECT_TRUE(run.out.contains("49 rows per page")) << run.out.toStdString();

    EXPECT_EQ(PageCount(Pdf("one.pdf")), 1);
    EXPECT_TRUE(PdfInfo(Pdf("one.pdf")).contains("792 x 612 pts"));  // US Letter, landscape
    const QString text = PdfText(Pdf("one.pdf"));
    EXPECT_TRUE(text.contains("Page 1/1 of cue list for show.MVL")) << text.toStdString();
    for (const char* cell : {"Q001", "Q049", "Cue 49", "thunder.wav", "Max", "Centre", "5.0"})
        EXPECT_TRUE(text.contains(cell)) << cell;
    EXPECT_FALSE(text.contains("sounds/"));  // only the file-name part is printed
}

TEST_F(CliPrint, FiftiethCueGoesOnASecondPage) {
    const QString list = SaveList("show.MVL", 50);
    const ProcessResult run = RunProgram(kCli, {"print", list, Pdf("two.pdf")});
    ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
    ASSERT_EQ(PageCount(Pdf("two.pdf")), 2);

    const QStringList pages = PdfText(Pdf("two.pdf")).split('\f');
    ASSERT_GE(pages.size(), 2);
    EXPECT_TRUE(pages[0].contains("Page 1/2 of cue list for show.MVL"));
    EXPECT_TRUE(pages[0].contains("Q049"));
    EXPECT_FALSE(pages[0].contains("Q050"));
    EXPECT_TRUE(pages[1].contains("Page 2/2 of cue list for show.MVL"));
    EXPECT_TRUE(pages[1].contains("Q050"));
    EXPECT_FALSE(pages[1].contains("Q049"));
}

TEST_F(CliPrint, EmptyListPrintsOnePageWithTheFooter) {
    CMVDoc doc;
    doc.OnNewDocument();
    const QString list = Save(doc, "empty.MVL");
    const ProcessResult run = RunProgram(kCli, {"print", list, Pdf("empty.pdf")});
    ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
    EXPECT_EQ(PageCount(Pdf("empty.pdf")), 1);
    EXPECT_EQ(PdfText(Pdf("empty.pdf")).trimmed(), "Page 1/1 of cue list for empty.MVL");
}

TEST_F(CliPrint, PaperAndOrientationOptions) {
    const QString list = SaveList("long.MVL", 71);
    const ProcessResult run =
        RunProgram(kCli, {"print", list, Pdf("a4.pdf"), "--paper", "a4", "--portrait"});
    ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
    // 11.69 in less two quarter-inch borders: (1119 - 50) / 15 - 1 = 70 rows.
    EXPECT_TRUE(run.out.contains("70 rows per page")) << run.out.toStdString();
    EXPECT_TRUE(PdfInfo(Pdf("a4.pdf")).contains("(A4)"));
    EXPECT_EQ(PageCount(Pdf("a4.pdf")), 2);
}

TEST_F(CliPrint, TextsThatAreNotUtf8PrintAsTheListShowsThem) {
    CMVDoc doc;
    doc.OnNewDocument();
    CQRecord* cue = doc.AddCue(-1);
    cue->m_strDescription = "Caf\xe9 scene";   // Windows-1252
    cue->m_strNotes = "Fade \xc3\xa0 la fin";  // UTF-8
    cue->m_nPan = -30;
    cue->m_nVolume = -6;
    cue->m_dwFadeIn = 1250;
    const QString list = Save(doc, "texts.MVL");
    ASSERT_EQ(RunProgram(kCli, {"print", list, Pdf("texts.pdf")}).exitCode, 0);
    const QString text = PdfText(Pdf("texts.pdf"));
    for (const QString& cell : {QString::fromUtf8("Café scene"), QString::fromUtf8("Fade à la fin"),
                                QString("L30"), QString("-6dB"), QString("1.3")})
        EXPECT_TRUE(text.contains(cell)) << cell.toStdString() << "\n" << text.toStdString();
}

TEST_F(CliPrint, BadArgumentsAndFilesFailWithoutOutput) {
    EXPECT_EQ(RunProgram(kCli, {"print"}).exitCode, 2);
    EXPECT_EQ(RunProgram(kCli, {"print", "a.MVL"}).exitCode, 2);
    EXPECT_EQ(RunProgram(kCli, {"print", "a.MVL", "b.pdf", "--paper", "legal"}).exitCode, 2);
    EXPECT_EQ(RunProgram(kCli, {"print", "a.MVL", "b.pdf", "--paper"}).exitCode, 2);

    const ProcessResult missing =
        RunProgram(kCli, {"print", m_dir.filePath("none.MVL"), Pdf("none.pdf")});
    EXPECT_EQ(missing.exitCode, 1);
    EXPECT_FALSE(missing.err.isEmpty());
    EXPECT_FALSE(QFile::exists(Pdf("none.pdf")));

    QFile junk(m_dir.filePath("junk.MVL"));
    ASSERT_TRUE(junk.open(QIODevice::WriteOnly));
    junk.write("\xff\xff\xff\x7f this is not a cue list");
    junk.close();
    EXPECT_EQ(RunProgram(kCli, {"print", junk.fileName(), Pdf("junk.pdf")}).exitCode, 1);
    EXPECT_FALSE(QFile::exists(Pdf("junk.pdf")));

    const QString list = SaveList("ok.MVL", 1);
    const ProcessResult unwritable =
        RunProgram(kCli, {"print", list, m_dir.filePath("no/such/folder/out.pdf")});
    EXPECT_EQ(unwritable.exitCode, 1);
}

TEST_F(CliPrint, PdfCutShortByTheFileSystemFails) {
    const QString list = SaveList("limit.MVL", 60);
    // The file may grow to 2 KiB only, and going past it fails a write instead of ending the
    // program: the PDF is cut short, as on a full disk.
    const ProcessResult cut = RunProgram(
        "/bin/sh", {"-c", "ulimit -f 4 && trap '' XFSZ && exec \"$0\" print \"$1\" \"$2\"", kCli,
                    list, Pdf("cut.pdf")});
    EXPECT_EQ(cut.exitCode, 1) << cut.out.toStdString();
    EXPECT_TRUE(cut.err.contains("could not be written completely")) << cut.err.toStdString();

    // Without the limit the same list prints.
    EXPECT_EQ(RunProgram(kCli, {"print", list, Pdf("whole.pdf")}).exitCode, 0);
    EXPECT_EQ(PageCount(Pdf("whole.pdf")), 2);
}
