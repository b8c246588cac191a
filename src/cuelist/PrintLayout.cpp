#include "cuelist/PrintLayout.h"

#include <algorithm>
#include <limits>

namespace mvprint {

namespace {

int SumOfWidths(const std::array<int, kPrintColumns>& widths, int count) {
    int sum = 0;
    for (int i = 0; i < count; ++i) sum += widths[static_cast<size_t>(i)];
    return sum;
}

}  // namespace

std::array<int, kPrintColumns> MeasureColumns(const QList<PrintRow>& rows,
                                              const IPrintTextMeasurer& measurer) {
    std::array<int, kPrintColumns> widths{};
    if (rows.isEmpty()) return widths;
    std::array<int, kPrintColumns> widest{};
    for (const PrintRow& row : rows) {
        for (size_t j = 0; j < row.size(); ++j) {
            if (row[j].isEmpty()) continue;
            widest[j] = std::max(widest[j], measurer.TextWidth(row[j]));
        }
    }
    // A measurer could answer anything; keep the sums of widths far from overflow.
    constexpr int kMaxColumnWidth = std::numeric_limits<int>::max() / (4 * kPrintColumns);
    for (size_t j = 0; j < widths.size(); ++j)
        widths[j] = std::clamp(widest[j], 0, kMaxColumnWidth) + kCellPadding;
    return widths;
}

PrintRow ToPrintRow(const QStringList& texts) {
    PrintRow row;
    const qsizetype count = std::min<qsizetype>(texts.size(), kPrintColumns);
    for (qsizetype j = 0; j < count; ++j) row[static_cast<size_t>(j)] = texts[j];
    return row;
}

int LinesPerPage(int printableHeight) {
    // The table starts one margin below the top and the footer sits one margin above the
    // bottom; one row's height is left for the footer. A page too small for that still takes
    // one row, so every page makes progress.
    const int lines = (printableHeight - 2 * kMargin) / kLineHeight - 1;
    return std::max(1, lines);
}

int PageCount(int rowCount, int linesPerPage) {
    if (linesPerPage < 1) linesPerPage = 1;
    if (rowCount <= 0) return 1;
    return (rowCount - 1) / linesPerPage + 1;
}

PrintPage LayoutPage(const QList<PrintRow>& rows, const std::array<int, kPrintColumns>& widths,
                     const PrintRect& area, int pageNumber, const QString& title) {
    PrintPage page;
    const int rowCount = static_cast<int>(rows.size());
    const int lines = LinesPerPage(area.Height());
    const int pageCount = PageCount(rowCount, lines);
    pageNumber = std::clamp(pageNumber, 1, pageCount);
    page.number = pageNumber;

    const int x0 = area.left + kMargin;
    const int y0 = area.top - kMargin;
    const int first = (pageNumber - 1) * lines;
    const int r = std::max(0, std::min(lines, rowCount - first));
    page.firstRow = first;
    page.rowCount = r;

    const int tableWidth = SumOfWidths(widths, kPrintColumns);
    page.lines.reserve(r + 1 + kPrintColumns + 1);
    for (int k = 0; k <= r; ++k) {
        const int y = y0 - k * kLineHeight;
        page.lines.append(PrintLine{{x0, y}, {x0 + tableWidth, y}});
    }
    for (int j = 0; j <= kPrintColumns; ++j) {
        const int x = x0 + SumOfWidths(widths, j);
        page.lines.append(PrintLine{{x, y0}, {x, y0 - r * kLineHeight}});
    }

    page.texts.reserve(static_cast<qsizetype>(r) * kPrintColumns);
    for (int k = 0; k < r; ++k) {
        const PrintRow& row = rows[first + k];
        const int y = y0 - k * kLineHeight - kTextDrop;
        int x = x0;
        for (size_t j = 0; j < row.size(); ++j) {
            if (!row[j].isEmpty()) page.texts.append(PrintText{{x + kTextIndent, y}, row[j]});
            x += widths[j];
        }
    }

    page.footer.pos = {x0, area.bottom + kMargin};
    page.footer.text = QString::fromLatin1(kFooterFormat)
                           .arg(QString::number(pageNumber), QString::number(pageCount), title);
    return page;
}

PrintDocument LayoutDocument(const QList<PrintRow>& rows, const PrintRect& area,
                             const IPrintTextMeasurer& measurer, const QString& title) {
    PrintDocument doc;
    doc.columnWidths = MeasureColumns(rows, measurer);
    doc.linesPerPage = LinesPerPage(area.Height());
    doc.pageCount = PageCount(static_cast<int>(rows.size()), doc.linesPerPage);
    doc.pages.reserve(doc.pageCount);
    for (int n = 1; n <= doc.pageCount; ++n)
        doc.pages.append(LayoutPage(rows, doc.columnWidths, area, n, title));
    return doc;
}

}  // namespace mvprint
