#include "view/PrintRenderer.h"

#include <QFile>
#include <QFileInfo>
#include <QFontMetricsF>
#include <QPageLayout>
#include <QPageRanges>
#include <QPaintEngine>
#include <QPainter>
#include <QPen>
#include <QPrinter>
#include <QSizeF>
#include <algorithm>
#include <cmath>
#include <limits>

namespace mvprint {

namespace {

constexpr double kUnitsPerInch = 100.0;
const QColor kGridColour(192, 192, 192);

// The print font sized so that its character cell (ascent + descent) is `cellPx` device pixels.
QFont MakePrintFont(QPaintDevice* device, double cellPx) {
    QFont font;
    // Arial, or a face with the same widths where Arial is not installed.
    font.setFamilies({QStringLiteral("Arial"), QStringLiteral("Liberation Sans"),
                      QStringLiteral("Arimo"), QStringLiteral("Nimbus Sans"),
                      QStringLiteral("Helvetica")});
    // Plain glyphs as the list shows them: no ligatures, no kerning.
    font.setStyleHint(QFont::SansSerif,
                      QFont::StyleStrategy(QFont::PreferOutline | QFont::PreferNoShaping));
    font.setWeight(QFont::Normal);
    font.setItalic(false);
    font.setUnderline(false);
    font.setStrikeOut(false);
    font.setKerning(false);
    constexpr int kProbePx = 1000;
    font.setPixelSize(kProbePx);
    const double cellPerEm = QFontMetricsF(font, device).height() / kProbePx;
    const double emPx = cellPerEm > 0.0 ? cellPx / cellPerEm : cellPx;
    font.setPixelSize(std::max(1, static_cast<int>(std::lround(emPx))));
    return font;
}

// Whether the PDF file at `path` was written to its end. The PDF writer ends its job without
// complaint when the file system refused part of it (a full disk, a size limit), so what reached
// the file is looked at. A file that is no regular file (a pipe, a device) cannot be read back
// and counts as written.
bool PdfFileComplete(const QString& path) {
    if (!QFileInfo(path).isFile()) return true;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return false;
    constexpr qint64 kTail = 64;
    if (!file.seek(std::max<qint64>(0, file.size() - kTail))) return false;
    return file.read(kTail).contains("%%EOF");
}

}  // namespace

DeviceTextMeasurer::DeviceTextMeasurer(const QFont& font, QPaintDevice* device,
                                       double pixelsPerUnit)
    : m_metrics(font, device), m_pixelsPerUnit(pixelsPerUnit > 0.0 ? pixelsPerUnit : 1.0) {}

int DeviceTextMeasurer::TextWidth(const QString& text) const {
    const double units = std::ceil(m_metrics.horizontalAdvance(text) / m_pixelsPerUnit);
    // A text too wide for an int (a huge field of a damaged list) is as wide as an int allows.
    return static_cast<int>(std::clamp(units, 0.0, double(std::numeric_limits<int>::max())));
}

PrintRenderer::PrintRenderer(QPaintDevice* device, double dpiX, double dpiY)
    : m_sx((dpiX > 0.0 ? dpiX : kUnitsPerInch) / kUnitsPerInch),
      m_sy((dpiY > 0.0 ? dpiY : kUnitsPerInch) / kUnitsPerInch),
      m_font(MakePrintFont(device, kFontHeight * m_sy)),
      m_measurer(m_font, device, m_sx) {}

PrintRect PrintRenderer::PrintableArea(const QSizeF& printableSizePx) const {
    PrintRect area;
    area.left = 0;
    area.top = 0;
    area.right = static_cast<int>(std::floor(printableSizePx.width() / m_sx));
    area.bottom = -static_cast<int>(std::floor(printableSizePx.height() / m_sy));
    return area;
}

void PrintRenderer::DrawPage(QPainter& painter, const PrintPage& page,
                             const PrintRect& area) const {
    const auto toDevice = [&](const PrintPoint& p) {
        return QPointF((p.x - area.left) * m_sx, (area.top - p.y) * m_sy);
    };

    painter.save();
    painter.setRenderHint(QPainter::Antialiasing, false);
    QPen gridPen(kGridColour);
    gridPen.setStyle(Qt::SolidLine);
    gridPen.setWidthF(std::max(m_sy, 1.0));  // one logical unit
    gridPen.setCapStyle(Qt::SquareCap);
    painter.setPen(gridPen);
    painter.setBrush(Qt::NoBrush);
    for (const PrintLine& line : page.lines) {
        if (line.from == line.to) continue;  // an empty table has a grid of no length
        painter.drawLine(toDevice(line.from), toDevice(line.to));
    }

    painter.setFont(m_font);
    painter.setPen(Qt::black);
    painter.setBackgroundMode(Qt::TransparentMode);
    // Texts are placed by the top-left corner of their character cell.
    const double ascent = QFontMetricsF(m_font, painter.device()).ascent();
    const auto drawText = [&](const PrintText& t) {
        QPointF at = toDevice(t.pos);
        at.ry() += ascent;
        painter.drawText(at, t.text);
    };
    for (const PrintText& t : page.texts) drawText(t);
    drawText(page.footer);
    painter.restore();
}

PrintDocument LayoutForPrinter(QPrinter* printer, const QList<PrintRow>& rows,
                               const QString& title) {
    const int dpi = printer->resolution();
    const PrintRenderer renderer(printer, dpi, dpi);
    const QSizeF printable = printer->pageRect(QPrinter::DevicePixel).size();
    return LayoutDocument(rows, renderer.PrintableArea(printable), renderer.Measurer(), title);
}

bool PrintCueRows(QPrinter* printer, const QList<PrintRow>& rows, const QString& title,
                  QString* error, PrintDocument* laidOut) {
    const auto fail = [&](const QString& text) {
        if (error) *error = text;
        return false;
    };
    if (!printer) return fail(QStringLiteral("there is no printer"));
    const int dpi = printer->resolution();
    const PrintRenderer renderer(printer, dpi, dpi);
    const QSizeF printable = printer->pageRect(QPrinter::DevicePixel).size();
    const PrintRect area = renderer.PrintableArea(printable);
    const PrintDocument doc = LayoutDocument(rows, area, renderer.Measurer(), title);
    if (laidOut) *laidOut = doc;

    // The pages asked for: all, or those of the range, which may have gaps ("1-2, 5").
    const QPageRanges ranges =
        printer->printRange() == QPrinter::PageRange && printer->fromPage() > 0
            ? printer->pageRanges()
            : QPageRanges();
    QList<int> wanted;
    for (int n = 1; n <= doc.pageCount; ++n) {
        if (ranges.isEmpty() || ranges.contains(n)) wanted.append(n);
    }
    if (wanted.isEmpty())
        return fail(QStringLiteral("the pages asked for are not in the cue list"));

    // A print to a PDF file, not a preview of one (whose pages go to the preview's engine).
    const bool toPdfFile = printer->outputFormat() == QPrinter::PdfFormat &&
                           !printer->outputFileName().isEmpty() && printer->paintEngine() &&
                           printer->paintEngine()->type() == QPaintEngine::Pdf;
    QPainter painter;
    if (!painter.begin(printer)) return fail(QStringLiteral("the printer could not be opened"));
    for (int n : wanted) {
        if (n != wanted.first() && !printer->newPage()) {
            painter.end();
            return fail(QStringLiteral("the printer stopped before the last page"));
        }
        renderer.DrawPage(painter, doc.pages[n - 1], area);
    }
    if (!painter.end()) return fail(QStringLiteral("the printer could not finish the job"));
    if (toPdfFile && !PdfFileComplete(printer->outputFileName()))
        return fail(QStringLiteral("the PDF file could not be written completely"));
    return true;
}

}  // namespace mvprint
