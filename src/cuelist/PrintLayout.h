#pragma once

#include <QList>
#include <QString>
#include <QStringList>
#include <array>

// The printed cue list: a plain table of the ten texts of each list row, a light grey grid and a
// footer per page. Everything here is in the printer's logical units of 0.01 inch with y growing
// upward, so the printable rectangle has its top at y = 0 and its bottom at a negative y.
// The layout is a pure function of the rows, the printable rectangle and a text measurer, so
// printing, print preview and the PDF export all draw the same pages. UI thread (or any single
// thread); nothing here is shared.
namespace mvprint {

inline constexpr int kPrintColumns = 10;  // list columns 1..10; the playing mark is not printed
inline constexpr int kFontHeight = 14;    // character-cell height of the print font
inline constexpr int kLineHeight = kFontHeight + 1;  // row pitch
inline constexpr int kMargin = 25;       // from the printable rectangle to table and footer
inline constexpr int kCellPadding = 20;  // added to the widest text of a column
inline constexpr int kTextIndent = 10;   // text from the left edge of its cell
inline constexpr int kTextDrop = 1;      // text top below the grid line above it
inline constexpr const char* kFooterFormat = "Page %1/%2 of cue list for %3";

using PrintRow = std::array<QString, kPrintColumns>;

// Width of a text in logical units, as drawn with the print font on the target device.
class IPrintTextMeasurer {
public:
    virtual ~IPrintTextMeasurer() = default;
    virtual int TextWidth(const QString& text) const = 0;
};

// The printable rectangle in logical units (y upward: bottom < top).
struct PrintRect {
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;
    int Height() const { return top > bottom ? top - bottom : bottom - top; }
};

struct PrintPoint {
    int x = 0;
    int y = 0;
    friend bool operator==(const PrintPoint&, const PrintPoint&) = default;
};

// A grid line, drawn with the grey pen (solid, width 1, RGB 192,192,192).
struct PrintLine {
    PrintPoint from;
    PrintPoint to;
};

// A text placed by the top-left corner of its character cell, drawn with the print font
// ("Arial", cell height 14, normal weight) on a transparent background, never clipped.
struct PrintText {
    PrintPoint pos;
    QString text;
};

struct PrintPage {
    int number = 1;    // 1-based
    int firstRow = 0;  // index of the first list row on this page
    int rowCount = 0;  // rows on this page
    QList<PrintLine> lines;
    QList<PrintText> texts;  // cell texts, row by row, columns left to right
    PrintText footer;
};

struct PrintDocument {
    std::array<int, kPrintColumns> columnWidths{};
    int linesPerPage = 1;
    int pageCount = 1;
    QList<PrintPage> pages;
};

// Width of each printed column: the widest text of that column over all rows plus padding, or 0
// when there are no rows. Every page of a job uses these widths.
std::array<int, kPrintColumns> MeasureColumns(const QList<PrintRow>& rows,
                                              const IPrintTextMeasurer& measurer);

// Rows that fit on one page of the given printable height. Never less than one, so that a tiny
// printable area still makes progress page by page.
int LinesPerPage(int printableHeight);

// Number of pages for `rowCount` rows at `linesPerPage` rows each; an empty list has one page.
int PageCount(int rowCount, int linesPerPage);

// One page (1-based `pageNumber`) of the table.
PrintPage LayoutPage(const QList<PrintRow>& rows, const std::array<int, kPrintColumns>& widths,
                     const PrintRect& area, int pageNumber, const QString& title);

// The ten printed texts of a list row (columns 1..10, as the list shows them); texts missing
// at the end are empty and texts beyond the tenth are ignored.
PrintRow ToPrintRow(const QStringList& texts);

// Every page of the printed list.
PrintDocument LayoutDocument(const QList<PrintRow>& rows, const PrintRect& area,
                             const IPrintTextMeasurer& measurer, const QString& title);

}  // namespace mvprint
