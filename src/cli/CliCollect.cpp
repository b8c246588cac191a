// marvane-cli collect: a cue list and its sound files copied into one folder.
#include <QFileInfo>
#include <cstdio>

#include "cli/Commands.h"
#include "cuelist/CMVDoc.h"
#include "cuelist/ShowCollect.h"

namespace cli {

int RunCollect(const QStringList& args) {
    if (args.size() != 2 || args[0].startsWith(QLatin1String("--"))) {
        std::fputs("usage: marvane-cli collect LIST_FILE FOLDER\n", stderr);
        return 2;
    }
    CMVDoc doc;
    QString error;
    if (!doc.OnOpenDocument(args[0], &error)) {
        std::fprintf(stderr, "%s\n", error.toLocal8Bit().constData());
        return 1;
    }
    const showcollect::Result result =
        showcollect::Collect(doc, QFileInfo(args[0]).fileName(), args[1]);
    if (!result.ok) {
        std::fprintf(stderr, "%s\n", result.error.toLocal8Bit().constData());
        return 1;
    }
    for (const QString& missing : result.missing) {
        std::fprintf(stderr, "Missing, not collected: %s\n", missing.toLocal8Bit().constData());
    }
    std::printf("%d sound files and the list copied into %s\n", result.filesCopied,
                result.listPath.toLocal8Bit().constData());
    return result.missing.isEmpty() ? 0 : 1;
}

}  // namespace cli
