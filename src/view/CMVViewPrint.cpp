// Printing of the cue list view: print, direct print and print preview. Every job lays the rows
// out as the list shows them, in list order, and prints through the same page painter, so the
// preview shows exactly the pages that printing produces.

#include <QPrintDialog>
#include <QPrintPreviewDialog>
#include <QPrintPreviewWidget>
#include <QPrinter>
#include <QSettings>

#include "cuelist/CMVDoc.h"
#include "view/CMVView.h"
#include "view/MessageBox.h"
#include "view/PrintRenderer.h"
#include "view/PrinterDefaults.h"

namespace {

// Pages shown side by side in print preview, remembered between runs.
constexpr const char* kPreviewPagesKey = "Settings/PreviewPages";

QList<mvprint::PrintRow> CollectRows(const CMVView& view) {
    QList<mvprint::PrintRow> rows;
    const int count = view.GetRowCount();
    rows.reserve(count);
    for (int row = 0; row < count; ++row) rows.append(mvprint::ToPrintRow(view.GetRowTexts(row)));
    return rows;
}

QString DocumentTitle(const CMVView& view) {
    const CMVDoc* doc = view.GetDocument();
    return doc ? doc->GetTitle() : QStringLiteral("Untitled");
}

void SetUpPrinter(QPrinter& printer, const PrinterDefaults* defaults, const CMVView& view) {
    if (defaults) defaults->ApplyTo(printer);
    printer.setDocName(DocumentTitle(view));
}

// Prints the view's list on `printer`; a job that fails is reported to the operator.
void PrintAndReport(CMVView& view, QPrinter& printer) {
    QString error;
    if (mvprint::PrintCueRows(&printer, CollectRows(view), DocumentTitle(view), &error)) return;
    mvui::ShowMessage(&view, QStringLiteral("The cue list could not be printed: %1.").arg(error),
                      QMessageBox::Warning);
}

}  // namespace

void CMVView::SetPrinterDefaults(PrinterDefaults* defaults) { m_pPrinterDefaults = defaults; }

void CMVView::OnFilePrint() {
    QPrinter printer(QPrinter::HighResolution);
    SetUpPrinter(printer, m_pPrinterDefaults, *this);
    QPrintDialog dialog(&printer, this);
    dialog.setOption(QAbstractPrintDialog::PrintSelection, false);
    dialog.setOption(QAbstractPrintDialog::PrintCurrentPage, false);
    dialog.setOption(QAbstractPrintDialog::PrintPageRange, true);
    if (dialog.exec() != QDialog::Accepted) return;
    if (m_pPrinterDefaults) m_pPrinterDefaults->TakeFrom(printer);
    PrintAndReport(*this, printer);
}

void CMVView::OnFilePrintDirect() {
    if (!PrinterDefaults::AnyPrinterInstalled()) {
        mvui::ShowMessage(this, QString::fromLatin1(PrinterDefaults::kNoPrinterText),
                          QMessageBox::Warning);
        return;
    }
    QPrinter printer(QPrinter::HighResolution);
    SetUpPrinter(printer, m_pPrinterDefaults, *this);
    PrintAndReport(*this, printer);
}

void CMVView::OnFilePrintPreview() {
    // Each preview has a printer of its own: previews that share one cannot be trusted to
    // replay their pages.
    QPrinter printer(QPrinter::HighResolution);
    SetUpPrinter(printer, m_pPrinterDefaults, *this);
    QPrintPreviewDialog dialog(&printer, this);
    dialog.setWindowTitle(tr("Print Preview"));
    // The same request draws the preview's pages and, from its Print button, the real job:
    // a job that fails there is reported as it is from the Print command.
    connect(&dialog, &QPrintPreviewDialog::paintRequested, this, [this](QPrinter* target) {
        if (target) PrintAndReport(*this, *target);
    });

    QSettings settings(QStringLiteral("Veldmark Software"), QStringLiteral("MARVANE"));
    auto* pages = dialog.findChild<QPrintPreviewWidget*>();
    if (pages && settings.value(kPreviewPagesKey, 1).toInt() == 2)
        pages->setViewMode(QPrintPreviewWidget::FacingPagesView);
    dialog.exec();
    if (pages)
        settings.setValue(kPreviewPagesKey,
                          pages->viewMode() == QPrintPreviewWidget::FacingPagesView ? 2 : 1);
}

bool CMVView::PrintList(QPrinter* printer) {
    if (!printer) return false;
    return mvprint::PrintCueRows(printer, CollectRows(*this), DocumentTitle(*this));
}
