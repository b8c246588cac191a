#include <QGuiApplication>
#include <QMarginsF>
#include <QPageLayout>
#include <QPageSize>
#include <QPrinter>
#include <cstdio>

#include "cli/Commands.h"
#include "cuelist/CMVDoc.h"
#include "cuelist/CQRecord.h"
#include "cuelist/PrintLayout.h"
#include "view/PrintRenderer.h"

namespace cli {

namespace {

constexpr const char* kPrintUsage =
    "usage: marvane-cli print LIST_FILE OUT.pdf [--paper letter|a4] [--portrait]\n";

// A printer's unprintable border: the table and footer sit where they would on paper.
constexpr double kPdfMarginInch = 0.25;

int Fail(const QString& text) {
    std::fprintf(stderr, "marvane-cli print: %s\n", text.toLocal8Bit().constData());
    return 1;
}

}  // namespace

int RunPrint(const QStringList& args) {
    QString listPath;
    QString outPath;
    QPageSize::PageSizeId paper = QPageSize::Letter;
    QPageLayout::Orientation orientation = QPageLayout::Landscape;
    for (qsizetype i = 0; i < args.size(); ++i) {
        const QString& arg = args[i];
        if (arg == QLatin1String("--portrait")) {
            orientation = QPageLayout::Portrait;
        } else if (arg == QLatin1String("--paper")) {
            if (i + 1 >= args.size()) {
                std::fputs(kPrintUsage, stderr);
                return 2;
            }
            const QString name = args[++i].toLower();
            if (name == QLatin1String("letter")) {
                paper = QPageSize::Letter;
            } else if (name == QLatin1String("a4")) {
                paper = QPageSize::A4;
            } else {
                std::fputs(kPrintUsage, stderr);
                return 2;
            }
        } else if (arg.startsWith(QLatin1String("--"))) {
            std::fputs(kPrintUsage, stderr);
            return 2;
        } else if (listPath.isEmpty()) {
            listPath = arg;
        } else if (outPath.isEmpty()) {
            outPath = arg;
        } else {
            std::fputs(kPrintUsage, stderr);
            return 2;
        }
    }
    if (listPath.isEmpty() || outPath.isEmpty()) {
        std::fputs(kPrintUsage, stderr);
        return 2;
    }

    // Fonts and the PDF engine need a GUI application; no display is needed for a PDF.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    static int argc = 1;
    static char name[] = "marvane-cli";
    static char* argv[] = {name, nullptr};
    QGuiApplication app(argc, argv);

    CMVDoc doc;
    QString error;
    if (!doc.OnOpenDocument(listPath, &error)) return Fail(error);

    QList<mvprint::PrintRow> rows;
    rows.reserve(doc.GetCueCount());
    for (const CQRecord* cue : doc.GetCues()) rows.append(mvprint::ToPrintRow(cue->GetRowTexts()));

    QPrinter printer(QPrinter::HighResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(outPath);
    printer.setDocName(doc.GetTitle());
    printer.setPageLayout(
        QPageLayout(QPageSize(paper), orientation,
                    QMarginsF(kPdfMarginInch, kPdfMarginInch, kPdfMarginInch, kPdfMarginInch),
                    QPageLayout::Inch));

    mvprint::PrintDocument layout;
    if (!mvprint::PrintCueRows(&printer, rows, doc.GetTitle(), &error, &layout))
        return Fail(QStringLiteral("%1: %2").arg(outPath, error));
    std::printf("%d cues, %d rows per page, %d pages\n", static_cast<int>(rows.size()),
                layout.linesPerPage, layout.pageCount);
    return 0;
}

}  // namespace cli
