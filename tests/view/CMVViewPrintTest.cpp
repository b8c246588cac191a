#include <gtest/gtest.h>

#include <QApplication>
#include <QFile>
#include <QImage>
#include <QPageRanges>
#include <QPrintPreviewDialog>
#include <QPrintPreviewWidget>
#include <QPrinter>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTimer>
#include <limits>
#include <memory>

#include "cuelist/CMVDoc.h"
#include "cuelist/CQRecord.h"
#include "view/CMVView.h"
#include "view/CommandIds.h"
#include "view/MessageBox.h"
#include "view/PrintRenderer.h"
#include "view/PrinterDefaults.h"

namespace {

// A PDF printer with a landscape US Letter page and a printer's quarter-inch borders.
void SetUpPdfPrinter(QPrinter& printer, const QString& path) {
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(path);
    printer.setPageLayout(QPageLayout(QPageSize(QPageSize::Letter), QPageLayout::Landscape,
                                      QMarginsF(0.25, 0.25, 0.25, 0.25), QPageLayout::Inch));
}

QString PdfText(const QString& pdf) {
    QProcess process;
    process.start("pdftotext", {"-layout", pdf, "-"});
    if (!process.waitForFinished(60000)) return {};
    return QString::fromUtf8(process.readAllStandardOutput());
}

class ViewPrintTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(m_dir.isValid());
        m_doc = std::make_unique<CMVDoc>();
        m_doc->OnNewDocument();
    }
    void TearDown() override { mvui::SetMessageHandlerForTesting({}); }

    CMVView& MakeView(int cues) {
        for (int i = 0; i < cues; ++i) {
            CQRecord* cue = m_doc->AddCue(-1);
            cue->m_strDescription = "Storm " + QByteArray::number(i + 1);
        }
        m_view = std::make_unique<CMVView>(m_doc.get());
        m_view->resize(900, 400);
        m_view->OnInitialUpdate();
        return *m_view;
    }

    QTemporaryDir m_dir;
    std::unique_ptr<CMVDoc> m_doc;
    std::unique_ptr<CMVView> m_view;
};

}  // namespace

TEST_F(ViewPrintTest, PrintsTheRowsAsTheListShowsThemInListOrder) {
    if (QStandardPaths::findExecutable("pdftotext").isEmpty()) GTEST_SKIP() << "no pdftotext";
    CMVView& view = MakeView(50);
    // The list order is what prints: the last cue dragged to the top prints first.
    view.MoveListItem(49, 0);
    view.RebuildFromList();
    m_doc->GetCue(1)->m_nPan = 25;
    view.UpdateListItem(m_doc->GetCue(1));

    QPrinter printer(QPrinter::HighResolution);
    SetUpPdfPrinter(printer, m_dir.filePath("list.pdf"));
    ASSERT_TRUE(view.PrintList(&printer));

    const QStringList pages = PdfText(m_dir.filePath("list.pdf")).split('\f');
    ASSERT_GE(pages.size(), 2);
    EXPECT_TRUE(pages[0].contains("Page 1/2 of cue list for Untitled"));
    EXPECT_TRUE(pages[1].contains("Page 2/2 of cue list for Untitled"));
    EXPECT_LT(pages[0].indexOf("Storm 50"), pages[0].indexOf("Storm 1 "));
    EXPECT_TRUE(pages[0].contains("R25"));
    EXPECT_TRUE(pages[1].contains("Storm 49"));
    EXPECT_FALSE(pages[1].contains("Storm 48"));
}

TEST_F(ViewPrintTest, PrintsOnlyThePagesOfTheRangeAskedFor) {
    if (QStandardPaths::findExecutable("pdftotext").isEmpty()) GTEST_SKIP() << "no pdftotext";
    CMVView& view = MakeView(150);  // four pages: 49 + 49 + 49 + 3 rows
    QPrinter printer(QPrinter::HighResolution);
    SetUpPdfPrinter(printer, m_dir.filePath("range.pdf"));
    printer.setPrintRange(QPrinter::PageRange);
    printer.setPageRanges(QPageRanges::fromString("1, 3-4"));
    ASSERT_TRUE(view.PrintList(&printer));
    QStringList pages = PdfText(m_dir.filePath("range.pdf")).split('\f');
    while (!pages.isEmpty() && pages.last().trimmed().isEmpty()) pages.removeLast();
    ASSERT_EQ(pages.size(), 3);
    EXPECT_TRUE(pages[0].contains("Page 1/4 of cue list for Untitled"));
    EXPECT_TRUE(pages[1].contains("Page 3/4 of cue list for Untitled"));
    EXPECT_TRUE(pages[1].contains("Storm 99 "));
    EXPECT_TRUE(pages[2].contains("Page 4/4 of cue list for Untitled"));

    // A range past the last page prints nothing and says so.
    QPrinter beyond(QPrinter::HighResolution);
    SetUpPdfPrinter(beyond, m_dir.filePath("beyond.pdf"));
    beyond.setPrintRange(QPrinter::PageRange);
    beyond.setFromTo(5, 6);
    EXPECT_FALSE(view.PrintList(&beyond));
    EXPECT_FALSE(QFile::exists(m_dir.filePath("beyond.pdf")));
}

TEST_F(ViewPrintTest, PreviewShowsTheSamePagesAsPrinting) {
    CMVView& view = MakeView(120);
    QPrinter printer(QPrinter::HighResolution);
    SetUpPdfPrinter(printer, m_dir.filePath("unused.pdf"));
    QList<mvprint::PrintRow> rows;
    for (int r = 0; r < view.GetRowCount(); ++r)
        rows.append(mvprint::ToPrintRow(view.GetRowTexts(r)));
    const int expected = mvprint::LayoutForPrinter(&printer, rows, "Untitled").pageCount;
    EXPECT_EQ(expected, 3);  // 49 + 49 + 22

    QPrintPreviewWidget preview(&printer);
    QObject::connect(&preview, &QPrintPreviewWidget::paintRequested, &view,
                     [&view](QPrinter* target) { view.PrintList(target); });
    preview.updatePreview();
    EXPECT_EQ(preview.pageCount(), expected);
}

TEST_F(ViewPrintTest, PreviewCommandOpensItsOwnPreviewOfEveryPage) {
    CMVView& view = MakeView(150);
    ASSERT_EQ(view.OnUpdateCommand(ID_FILE_PRINT_PREVIEW), std::optional<bool>(true));
    QList<mvprint::PrintRow> rows;
    for (int r = 0; r < view.GetRowCount(); ++r)
        rows.append(mvprint::ToPrintRow(view.GetRowTexts(r)));
    // Two previews in a row, each on a printer of its own.
    for (int round = 0; round < 2; ++round) {
        int pages = -1;
        int expected = -2;
        QTimer::singleShot(0, [&] {
            auto* dialog = qobject_cast<QPrintPreviewDialog*>(QApplication::activeModalWidget());
            if (!dialog) return;
            expected = mvprint::LayoutForPrinter(dialog->printer(), rows, "Untitled").pageCount;
            if (auto* widget = dialog->findChild<QPrintPreviewWidget*>()) {
                widget->updatePreview();
                pages = widget->pageCount();
            }
            dialog->reject();
        });
        EXPECT_TRUE(view.OnCmdMsg(ID_FILE_PRINT_PREVIEW));
        EXPECT_GE(expected, 3) << "round " << round;  // 150 rows on Letter or A4, either way up
        EXPECT_EQ(pages, expected) << "round " << round;
    }
}

TEST_F(ViewPrintTest, PrintFromThePreviewThatFailsSaysSo) {
    CMVView& view = MakeView(3);
    QStringList shown;
    mvui::SetMessageHandlerForTesting(
        [&](const QString& text, QMessageBox::Icon, QMessageBox::StandardButtons) {
            shown << text;
            return int(QMessageBox::Ok);
        });
    bool printed = false;
    QTimer::singleShot(0, [&] {
        auto* dialog = qobject_cast<QPrintPreviewDialog*>(QApplication::activeModalWidget());
        if (!dialog) return;
        auto* widget = dialog->findChild<QPrintPreviewWidget*>();
        if (widget) {
            // The preview's Print button, to a file that cannot be written.
            QPrinter* printer = dialog->printer();
            printer->setOutputFormat(QPrinter::PdfFormat);
            printer->setOutputFileName(m_dir.filePath("no/such/folder/list.pdf"));
            widget->print();
            printed = true;
        }
        dialog->reject();
    });
    view.OnFilePrintPreview();
    ASSERT_TRUE(printed);
    ASSERT_EQ(shown.size(), 1);
    EXPECT_EQ(shown[0], "The cue list could not be printed: the printer could not be opened.");
}

TEST_F(ViewPrintTest, DirectPrintWithoutAnyPrinterSaysSo) {
    if (PrinterDefaults::AnyPrinterInstalled()) GTEST_SKIP() << "a printer is installed here";
    CMVView& view = MakeView(3);
    QStringList shown;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    mvui::SetMessageHandlerForTesting(
        [&](const QString& text, QMessageBox::Icon i, QMessageBox::StandardButtons) {
            shown << text;
            icon = i;
            return int(QMessageBox::Ok);
        });
    view.OnFilePrintDirect();
    ASSERT_EQ(shown.size(), 1);
    EXPECT_EQ(shown[0], PrinterDefaults::kNoPrinterText);
    EXPECT_EQ(icon, QMessageBox::Warning);
}

TEST_F(ViewPrintTest, PrintDialogChoicesCarryOverToTheNextJob) {
    PrinterDefaults defaults;
    QPrinter chosen(QPrinter::HighResolution);
    chosen.setOutputFormat(QPrinter::PdfFormat);
    chosen.setOutputFileName(m_dir.filePath("chosen.pdf"));
    chosen.setPageLayout(QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Portrait,
                                     QMarginsF(10, 12, 10, 12), QPageLayout::Millimeter));
    defaults.TakeFrom(chosen);

    QPrinter next(QPrinter::HighResolution);
    next.setPageOrientation(QPageLayout::Landscape);
    defaults.ApplyTo(next);
    EXPECT_EQ(next.pageLayout().pageSize().id(), QPageSize::A4);
    EXPECT_EQ(next.pageLayout().orientation(), QPageLayout::Portrait);
    // A print-to-file choice is not a printer to keep.
    EXPECT_TRUE(defaults.GetPrinterName().isEmpty());
    EXPECT_TRUE(next.outputFileName().isEmpty());
}

TEST(PrintRendererTest, WidthsBeyondAnIntAreHeldAtItsLargestValue) {
    QImage page(100, 100, QImage::Format_RGB32);
    const mvprint::PrintRenderer renderer(&page, 100, 100);
    EXPECT_GT(renderer.Measurer().TextWidth("Storm"), 0);
    EXPECT_EQ(renderer.Measurer().TextWidth(QString()), 0);
    // So few device pixels to a unit that a word is wider than any int.
    const mvprint::DeviceTextMeasurer tiny(renderer.Font(), &page, 1e-9);
    EXPECT_EQ(tiny.TextWidth("Storm"), std::numeric_limits<int>::max());
}

TEST(PrinterDefaultsTest, LandscapeOnlyWhenADefaultPrinterExists) {
    PrinterDefaults defaults;
    const bool hasDefault = defaults.Initialize();
    QPrinter printer(QPrinter::HighResolution);
    printer.setPageOrientation(QPageLayout::Portrait);
    defaults.ApplyTo(printer);
    EXPECT_EQ(printer.pageLayout().orientation(),
              hasDefault ? QPageLayout::Landscape : QPageLayout::Portrait);
}
