#include "view/PrinterDefaults.h"

#include <QPageSetupDialog>
#include <QPrinterInfo>

bool PrinterDefaults::Initialize() {
    const QPrinterInfo info = QPrinterInfo::defaultPrinter();
    if (info.isNull()) return false;
    m_orientation = QPageLayout::Landscape;
    return true;
}

bool PrinterDefaults::AnyPrinterInstalled() {
    return !QPrinterInfo::availablePrinterNames().isEmpty();
}

void PrinterDefaults::ApplyTo(QPrinter& printer) const {
    if (!m_strPrinterName.isEmpty()) printer.setPrinterName(m_strPrinterName);
    if (m_pageLayout) {
        printer.setPageLayout(*m_pageLayout);
    } else if (m_orientation) {
        printer.setPageOrientation(*m_orientation);
    }
    if (m_colorMode) printer.setColorMode(*m_colorMode);
    if (m_duplex) printer.setDuplex(*m_duplex);
}

void PrinterDefaults::TakeFrom(const QPrinter& printer) {
    if (printer.outputFormat() == QPrinter::NativeFormat && printer.outputFileName().isEmpty())
        m_strPrinterName = printer.printerName();
    m_pageLayout = printer.pageLayout();
    m_orientation = m_pageLayout->orientation();
    m_colorMode = printer.colorMode();
    m_duplex = printer.duplex();
}

bool PrinterDefaults::RunPrintSetup(QWidget* parent) {
    QPrinter printer(QPrinter::HighResolution);
    ApplyTo(printer);
    QPageSetupDialog dialog(&printer, parent);
    if (dialog.exec() != QDialog::Accepted) return false;
    TakeFrom(printer);
    return true;
}

std::optional<QPageLayout::Orientation> PrinterDefaults::GetOrientation() const {
    return m_orientation;
}
