// Printing of the cue list view: print, direct print and print preview.

#include "view/CMVView.h"

void CMVView::OnFilePrint() {}

void CMVView::OnFilePrintDirect() {}

void CMVView::OnFilePrintPreview() {}

bool CMVView::PrintList(QPrinter* printer) {
    Q_UNUSED(printer);
    return false;
}
