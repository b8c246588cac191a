#pragma once

#include <QFont>
#include <QFontMetricsF>
#include <QList>
#include <QString>

#include "cuelist/PrintLayout.h"

class QPainter;
class QPaintDevice;
class QPrinter;
class QSizeF;

// Draws the printed cue list (see cuelist/PrintLayout.h) on a printer, a print preview page or a
// PDF. The layout's logical units of 0.01 inch, y upward, are mapped onto device pixels with the
// top-left corner of the printable area at the origin. Printing, preview and the PDF export all
// go through PrintCueRows, so they produce the same pages. UI thread (or the one thread of a
// command-line tool).
namespace mvprint {

// Measures texts with the print font as the device draws them, in whole logical units.
class DeviceTextMeasurer : public IPrintTextMeasurer {
public:
    DeviceTextMeasurer(const QFont& font, QPaintDevice* device, double pixelsPerUnit);
    int TextWidth(const QString& text) const override;

private:
    QFontMetricsF m_metrics;
    double m_pixelsPerUnit;
};

class PrintRenderer {
public:
    // `device` is what is painted on; `dpiX`/`dpiY` its resolution in pixels per inch.
    PrintRenderer(QPaintDevice* device, double dpiX, double dpiY);

    // The print font: "Arial" (or the closest match) of normal weight with a character cell
    // 14 logical units high, sized in device pixels.
    const QFont& Font() const { return m_font; }
    const IPrintTextMeasurer& Measurer() const { return m_measurer; }
    // The printable rectangle in logical units for a printable area of the given device size.
    PrintRect PrintableArea(const QSizeF& printableSizePx) const;
    // Draws one page: the grid with the grey pen, then the texts and the footer with the font.
    void DrawPage(QPainter& painter, const PrintPage& page, const PrintRect& area) const;

private:
    double m_sx;  // device pixels per logical unit, across
    double m_sy;  // and down
    QFont m_font;
    DeviceTextMeasurer m_measurer;
};

// The rows of a print job as printing would lay them out on `printer` (its paper, orientation,
// margins and resolution).
PrintDocument LayoutForPrinter(QPrinter* printer, const QList<PrintRow>& rows,
                               const QString& title);

// Lays the rows out for `printer` and prints the pages of the printer's page range (all pages
// when no range is set); the layout goes to *laidOut when given. Returns false, with a reason in
// *error when given, when the printer cannot be opened or the range holds no page of the list.
bool PrintCueRows(QPrinter* printer, const QList<PrintRow>& rows, const QString& title,
                  QString* error = nullptr, PrintDocument* laidOut = nullptr);

}  // namespace mvprint
