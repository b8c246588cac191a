#pragma once

#include <QPageLayout>
#include <QPrinter>
#include <QString>
#include <optional>

class QWidget;

// The printer settings every print job of the program starts from: the printer, its paper,
// orientation and margins, colour and duplex. They start as the default printer's own; at
// start-up the application makes landscape the default orientation when a default printer
// exists. Print Setup and the print dialog change them for the rest of the run (they are not
// stored). The application object owns one and lends it to the view. UI thread only.
class PrinterDefaults {
public:
    // What the operator is told when a print command finds no printer at all.
    static constexpr const char* kNoPrinterText =
        "No printer is installed. Install a printer, then print the cue list again.";

    // Looks for the system's default printer; when there is one, landscape becomes the default
    // orientation. Returns whether a default printer exists. Nothing else changes.
    bool Initialize();

    // Whether any printer is installed (printing to a PDF file needs none).
    static bool AnyPrinterInstalled();

    // Sets up a new printer for a job or a preview from these settings.
    void ApplyTo(QPrinter& printer) const;
    // Keeps the settings of `printer` (after Print Setup or a print dialog was accepted). A
    // printer that writes a file leaves the printer choice as it was.
    void TakeFrom(const QPrinter& printer);

    // The Print Setup command: the page setup dialog on these settings; returns whether it was
    // accepted (the settings changed then).
    bool RunPrintSetup(QWidget* parent);

    QString GetPrinterName() const { return m_strPrinterName; }
    std::optional<QPageLayout::Orientation> GetOrientation() const;

private:
    QString m_strPrinterName;                               // empty: the system's default printer
    std::optional<QPageLayout> m_pageLayout;                // from Print Setup or a print dialog
    std::optional<QPageLayout::Orientation> m_orientation;  // the start-up default
    std::optional<QPrinter::ColorMode> m_colorMode;
    std::optional<QPrinter::DuplexMode> m_duplex;
};
