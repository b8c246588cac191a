#include <gtest/gtest.h>

#include "cuelist/PrintLayout.h"

using namespace mvprint;

namespace {

// Seven units per character: enough to tell the columns apart.
class FixedWidthMeasurer : public IPrintTextMeasurer {
public:
    int TextWidth(const QString& text) const override { return 7 * static_cast<int>(text.size()); }
};

PrintRow MakeRow(int i) {
    PrintRow row;
    row[0] = QString::number(i + 1);
    row[1] = QStringLiteral("Cue %1").arg(i + 1);
    row[2] = QStringLiteral("thunder.wav");
    row[4] = QStringLiteral("0");
    row[5] = QStringLiteral("Max");
    row[6] = QStringLiteral("Centre");
    row[7] = QStringLiteral("0.0");
    row[8] = QStringLiteral("5.0");
    return row;
}

QList<PrintRow> MakeRows(int count) {
    QList<PrintRow> rows;
    for (int i = 0; i < count; ++i) rows.append(MakeRow(i));
    return rows;
}

// The printable area of a US Letter page in landscape: about 10.5 by 8 inches.
constexpr PrintRect kLetterLandscape{0, 0, 1050, -800};

bool IsHorizontal(const PrintLine& line) { return line.from.y == line.to.y; }

}  // namespace

TEST(PrintLayout, RowsAndPagesOnLandscapeLetter) {
    const FixedWidthMeasurer measurer;
    EXPECT_EQ(LinesPerPage(800), 49);

    const PrintDocument full = LayoutDocument(MakeRows(49), kLetterLandscape, measurer, "Act 1");
    ASSERT_EQ(full.pageCount, 1);
    ASSERT_EQ(full.pages.size(), 1);
    EXPECT_EQ(full.pages[0].rowCount, 49);
    EXPECT_EQ(full.pages[0].footer.text, "Page 1/1 of cue list for Act 1");

    const PrintDocument over = LayoutDocument(MakeRows(50), kLetterLandscape, measurer, "Act 1");
    ASSERT_EQ(over.pages.size(), 2);
    EXPECT_EQ(over.pages[0].rowCount, 49);
    EXPECT_EQ(over.pages[0].footer.text, "Page 1/2 of cue list for Act 1");
    EXPECT_EQ(over.pages[1].firstRow, 49);
    EXPECT_EQ(over.pages[1].rowCount, 1);
    EXPECT_EQ(over.pages[1].footer.text, "Page 2/2 of cue list for Act 1");
    // The only row of page 2 is the fiftieth cue, at the top of the table.
    ASSERT_FALSE(over.pages[1].texts.isEmpty());
    EXPECT_EQ(over.pages[1].texts[0].text, "50");
    EXPECT_EQ(over.pages[1].texts[0].pos, (PrintPoint{25 + 10, -25 - 1}));

    EXPECT_EQ(LayoutDocument(MakeRows(98), kLetterLandscape, measurer, "x").pageCount, 2);
    EXPECT_EQ(LayoutDocument(MakeRows(99), kLetterLandscape, measurer, "x").pageCount, 3);
}

TEST(PrintLayout, EmptyListPrintsOnlyTheFooter) {
    const FixedWidthMeasurer measurer;
    const PrintDocument doc = LayoutDocument({}, kLetterLandscape, measurer, "Untitled");
    ASSERT_EQ(doc.pages.size(), 1);
    const PrintPage& page = doc.pages[0];
    EXPECT_EQ(page.rowCount, 0);
    EXPECT_TRUE(page.texts.isEmpty());
    for (int w : doc.columnWidths) EXPECT_EQ(w, 0);
    // What grid there is has no length at all.
    for (const PrintLine& line : page.lines) EXPECT_EQ(line.from, line.to);
    EXPECT_EQ(page.footer.text, "Page 1/1 of cue list for Untitled");
    EXPECT_EQ(page.footer.pos, (PrintPoint{25, -800 + 25}));
}

TEST(PrintLayout, GridFramesEveryRowOfThePage) {
    const FixedWidthMeasurer measurer;
    const PrintRect area{100, 0, 1150, -800};
    const PrintDocument doc = LayoutDocument(MakeRows(52), area, measurer, "t");
    int tableWidth = 0;
    for (int w : doc.columnWidths) tableWidth += w;
    const int x0 = 125, y0 = -25;

    for (const PrintPage& page : doc.pages) {
        const int r = page.rowCount;
        QList<PrintLine> horizontal, vertical;
        for (const PrintLine& line : page.lines)
            (IsHorizontal(line) ? horizontal : vertical).append(line);
        ASSERT_EQ(horizontal.size(), r + 1) << "page " << page.number;
        ASSERT_EQ(vertical.size(), 11) << "page " << page.number;
        for (int k = 0; k <= r; ++k) {
            EXPECT_EQ(horizontal[k].from, (PrintPoint{x0, y0 - 15 * k}));
            EXPECT_EQ(horizontal[k].to, (PrintPoint{x0 + tableWidth, y0 - 15 * k}));
        }
        int x = x0;
        for (int j = 0; j <= 10; ++j) {
            EXPECT_EQ(vertical[j].from, (PrintPoint{x, y0}));
            // The grid ends right below the last row of the page, also on the short last page.
            EXPECT_EQ(vertical[j].to, (PrintPoint{x, y0 - 15 * r}));
            if (j < 10) x += doc.columnWidths[static_cast<size_t>(j)];
        }
    }
    EXPECT_EQ(doc.pages.last().rowCount, 3);
}

TEST(PrintLayout, ColumnsAreMeasuredOverTheWholeList) {
    const FixedWidthMeasurer measurer;
    QList<PrintRow> rows = MakeRows(60);
    // The longest description sits on page 2; page 1 gets the same wide column.
    rows[55][1] = QStringLiteral("A very long description of the storm");
    rows[3][9] = QStringLiteral("notes");
    const PrintDocument doc = LayoutDocument(rows, kLetterLandscape, measurer, "t");
    ASSERT_EQ(doc.pages.size(), 2);

    EXPECT_EQ(doc.columnWidths[0], 7 * 2 + 20);  // "60"
    EXPECT_EQ(doc.columnWidths[1], 7 * 36 + 20);
    EXPECT_EQ(doc.columnWidths[3], 20);  // no flags anywhere: padding only
    EXPECT_EQ(doc.columnWidths[9], 7 * 5 + 20);

    // Row k of a page, column j: x0 + widths of the columns before + 10, y0 - 15k - 1.
    const auto findText = [](const PrintPage& page, const QString& text) {
        for (const PrintText& t : page.texts)
            if (t.text == text) return t.pos;
        return PrintPoint{-1, -1};
    };
    const int fileX = 25 + doc.columnWidths[0] + doc.columnWidths[1] + 10;
    EXPECT_EQ(findText(doc.pages[0], "Cue 1"), (PrintPoint{25 + doc.columnWidths[0] + 10, -26}));
    EXPECT_EQ(findText(doc.pages[0], "Cue 2"), (PrintPoint{25 + doc.columnWidths[0] + 10, -41}));
    EXPECT_EQ(findText(doc.pages[1], "Cue 50"), (PrintPoint{25 + doc.columnWidths[0] + 10, -26}));
    EXPECT_EQ(doc.pages[0].texts[2].pos.x, fileX);
    EXPECT_EQ(doc.pages[1].texts[2].pos.x, fileX);
    int notesX = 25 + 10;
    for (size_t j = 0; j < 9; ++j) notesX += doc.columnWidths[j];
    EXPECT_EQ(findText(doc.pages[0], "notes"), (PrintPoint{notesX, -25 - 3 * 15 - 1}));
}

TEST(PrintLayout, TinyPrintableAreaStillMakesProgress) {
    const FixedWidthMeasurer measurer;
    // Heights that leave no whole row, including none at all and a rectangle given upside down.
    for (const PrintRect area : {PrintRect{0, 0, 500, 0}, PrintRect{0, 0, 500, -10},
                                 PrintRect{0, 0, 500, -79}, PrintRect{0, 0, 500, 40}}) {
        const PrintDocument doc = LayoutDocument(MakeRows(5), area, measurer, "t");
        EXPECT_EQ(doc.linesPerPage, 1);
        ASSERT_EQ(doc.pages.size(), 5);
        for (int n = 0; n < 5; ++n) {
            EXPECT_EQ(doc.pages[n].firstRow, n);
            EXPECT_EQ(doc.pages[n].rowCount, 1);
        }
        EXPECT_EQ(doc.pages[4].footer.text, "Page 5/5 of cue list for t");
    }
    EXPECT_EQ(LinesPerPage(-1000), 1);
    EXPECT_EQ(LinesPerPage(94), 1);
    EXPECT_EQ(LinesPerPage(95), 2);
    EXPECT_EQ(PageCount(10, 0), 10);
}

TEST(PrintLayout, PageNumbersOutsideTheJobAreClamped) {
    const FixedWidthMeasurer measurer;
    const QList<PrintRow> rows = MakeRows(3);
    const auto widths = MeasureColumns(rows, measurer);
    EXPECT_EQ(LayoutPage(rows, widths, kLetterLandscape, 7, "t").number, 1);
    EXPECT_EQ(LayoutPage(rows, widths, kLetterLandscape, 0, "t").rowCount, 3);
}

TEST(PrintLayout, TitleIsPrintedAsItIs) {
    const FixedWidthMeasurer measurer;
    const PrintDocument doc =
        LayoutDocument(MakeRows(1), kLetterLandscape, measurer, "100%1 %2 storm.MVL");
    EXPECT_EQ(doc.pages[0].footer.text, "Page 1/1 of cue list for 100%1 %2 storm.MVL");
}
