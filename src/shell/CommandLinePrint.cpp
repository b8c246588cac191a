#include "shell/CommandLinePrint.h"

#include <QPrinter>
#include <QPrinterInfo>

#include "cuelist/CMVDoc.h"
#include "cuelist/CQRecord.h"
#include "cuelist/PrintLayout.h"
#include "shell/CommandLineInfo.h"
#include "view/MessageBox.h"
#include "view/PrintRenderer.h"
#include "view/PrinterDefaults.h"

namespace {

int Fail(const QString& text) {
    mvui::ShowMessage(nullptr, text, QMessageBox::Warning);
    return 1;
}

}  // namespace

bool PrintCueListFile(const QString& path, QPrinter* printer, QString* errorText) {
    CMVDoc doc;
    QString error;
    if (!doc.OnOpenDocument(path, &error)) {
        if (errorText) *errorText = error;
        return false;
    }
    QList<mvprint::PrintRow> rows;
    rows.reserve(doc.GetCueCount());
    for (const CQRecord* cue : doc.GetCues()) rows.append(mvprint::ToPrintRow(cue->GetRowTexts()));

    printer->setDocName(doc.GetTitle());
    printer->setPrintRange(QPrinter::AllPages);
    if (!mvprint::PrintCueRows(printer, rows, doc.GetTitle(), &error)) {
        if (errorText)
            *errorText = QStringLiteral("The cue list %1 could not be printed: %2.")
                             .arg(doc.GetTitle(), error);
        return false;
    }
    return true;
}

int PrintFromCommandLine(const CommandLineInfo& info) {
    QPrinterInfo target;
    if (info.m_nShellCommand == CommandLineInfo::FilePrintTo) {
        target = QPrinterInfo::printerInfo(info.m_strPrinterName);
        if (target.isNull()) {
            if (!PrinterDefaults::AnyPrinterInstalled())
                return Fail(QString::fromLatin1(PrinterDefaults::kNoPrinterText));
            return Fail(
                QStringLiteral("The printer \"%1\" is not installed.").arg(info.m_strPrinterName));
        }
    } else if (info.m_nShellCommand == CommandLineInfo::FilePrint) {
        target = QPrinterInfo::defaultPrinter();
        if (target.isNull()) {
            if (!PrinterDefaults::AnyPrinterInstalled())
                return Fail(QString::fromLatin1(PrinterDefaults::kNoPrinterText));
            return Fail(QStringLiteral(
                "No default printer is chosen. Choose one, then print the cue list again."));
        }
    } else {
        return 1;
    }

    QPrinter printer(target, QPrinter::HighResolution);
    QString error;
    if (!PrintCueListFile(info.m_strFileName, &printer, &error)) return Fail(error);
    return 0;
}
