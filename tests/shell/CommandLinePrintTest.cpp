#include <gtest/gtest.h>

#include <QFile>
#include <QPrinter>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

#include "cuelist/CMVDoc.h"
#include "cuelist/CQRecord.h"
#include "shell/CommandLineInfo.h"
#include "shell/CommandLinePrint.h"
#include "view/MessageBox.h"
#include "view/PrinterDefaults.h"

namespace {

class CommandLinePrintTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(m_dir.isValid());
        mvui::SetMessageHandlerForTesting(
            [this](const QString& text, QMessageBox::Icon icon, QMessageBox::StandardButtons) {
                m_messages << text;
                m_icons << icon;
                return int(QMessageBox::Ok);
            });
    }
    void TearDown() override { mvui::SetMessageHandlerForTesting({}); }

    QString SaveList(int cues) {
        CMVDoc doc;
        doc.OnNewDocument();
        for (int i = 0; i < cues; ++i) doc.AddCue(-1)->m_strDescription = "Rain";
        const QString path = m_dir.filePath("show.MVL");
        QString error;
        EXPECT_TRUE(doc.OnSaveDocument(path, &error));
        return path;
    }

    QTemporaryDir m_dir;
    QStringList m_messages;
    QList<QMessageBox::Icon> m_icons;
};

}  // namespace

TEST_F(CommandLinePrintTest, PrintsTheWholeListOnThePrinterGiven) {
    const QString list = SaveList(60);
    QPrinter printer(QPrinter::HighResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(m_dir.filePath("out.pdf"));
    printer.setPageLayout(QPageLayout(QPageSize(QPageSize::Letter), QPageLayout::Landscape,
                                      QMarginsF(0.25, 0.25, 0.25, 0.25), QPageLayout::Inch));
    // A page range left over from an earlier job does not cut the list short.
    printer.setPrintRange(QPrinter::PageRange);
    printer.setFromTo(2, 2);
    QString error;
    ASSERT_TRUE(PrintCueListFile(list, &printer, &error)) << error.toStdString();
    EXPECT_TRUE(m_messages.isEmpty());

    if (QStandardPaths::findExecutable("pdftotext").isEmpty()) return;
    QProcess text;
    text.start("pdftotext", {m_dir.filePath("out.pdf"), "-"});
    ASSERT_TRUE(text.waitForFinished(60000));
    const QString out = QString::fromUtf8(text.readAllStandardOutput());
    EXPECT_TRUE(out.contains("Page 1/2 of cue list for show.MVL"));
    EXPECT_TRUE(out.contains("Page 2/2 of cue list for show.MVL"));
}

TEST_F(CommandLinePrintTest, UnreadableListIsReportedAndNothingPrinted) {
    QPrinter printer(QPrinter::HighResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(m_dir.filePath("none.pdf"));
    QString error;
    EXPECT_FALSE(PrintCueListFile(m_dir.filePath("missing.MVL"), &printer, &error));
    EXPECT_FALSE(error.isEmpty());
    EXPECT_FALSE(QFile::exists(m_dir.filePath("none.pdf")));
}

TEST_F(CommandLinePrintTest, UnknownPrinterIsReportedInsteadOfFailingSilently) {
    const QString list = SaveList(2);
    const CommandLineInfo info =
        CommandLineInfo::Parse({"/pt", list, "No Such Printer 7f3a", "winspool", "Ne00:"});
    ASSERT_EQ(info.m_nShellCommand, CommandLineInfo::FilePrintTo);
    EXPECT_EQ(PrintFromCommandLine(info), 1);
    ASSERT_EQ(m_messages.size(), 1);
    EXPECT_EQ(m_icons[0], QMessageBox::Warning);
    if (PrinterDefaults::AnyPrinterInstalled())
        EXPECT_TRUE(m_messages[0].contains("No Such Printer 7f3a"));
    else
        EXPECT_EQ(m_messages[0], PrinterDefaults::kNoPrinterText);
}

TEST_F(CommandLinePrintTest, NoPrinterAtAllIsReported) {
    if (PrinterDefaults::AnyPrinterInstalled()) GTEST_SKIP() << "would print on a real printer";
    const QString list = SaveList(2);
    const CommandLineInfo info = CommandLineInfo::Parse({"/p", list});
    ASSERT_EQ(info.m_nShellCommand, CommandLineInfo::FilePrint);
    EXPECT_EQ(PrintFromCommandLine(info), 1);
    ASSERT_EQ(m_messages.size(), 1);
    EXPECT_EQ(m_messages[0], PrinterDefaults::kNoPrinterText);
    EXPECT_EQ(m_icons[0], QMessageBox::Warning);
}
