// marvane-cli check: the show check of a cue list, as text or JSON.
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <cstdio>

#include "cli/CliAudio.h"
#include "cli/Commands.h"
#include "cuelist/CMVDoc.h"
#include "engine/CSoundOutput.h"
#include "engine/ShowCheck.h"
#include "platform/text/AnsiText.h"

namespace cli {

namespace {

int Fail(const QString& message, int status = 1) {
    std::fputs(message.toLocal8Bit().constData(), stderr);
    std::fputc('\n', stderr);
    return status;
}

}  // namespace

int RunCheck(const QStringList& args) {
    const QString usage = QStringLiteral("usage: marvane-cli check [--json] LIST_FILE");
    bool json = false;
    QString listPath;
    for (const QString& arg : args) {
        if (arg == QLatin1String("--json") && !json) {
            json = true;
        } else if (listPath.isEmpty() && !arg.startsWith(QLatin1String("--"))) {
            listPath = arg;
        } else {
            return Fail(usage, 2);
        }
    }
    if (listPath.isEmpty()) return Fail(usage, 2);

    CMVDoc doc;
    QString error;
    if (!doc.OnOpenDocument(listPath, &error)) return Fail(error);

    // Channels are judged against the outputs this machine opens.
    int channelCount = -1;
    QHash<int, QString> missingChannels;
    ApplyAudioPreferences(theSoundOutput);
    if (theSoundOutput.Initialize()) {
        channelCount = theSoundOutput.GetChannelCount();
        for (const auto& [channel, name] : theSoundOutput.GetMissingChannels())
            missingChannels.insert(channel, QString::fromStdString(name));
        theSoundOutput.ReleaseDevices();
    } else {
        std::fputs("No audio output could be opened here: the channels were not checked.\n",
                   stderr);
    }
    const showcheck::Report report =
        showcheck::Check(showcheck::Snapshot(doc.GetCues()), channelCount, missingChannels);

    if (json) {
        QJsonArray problems;
        for (const showcheck::Problem& p : report.problems) {
            QJsonObject object;
            object.insert(QStringLiteral("row"), p.row + 1);
            object.insert(QStringLiteral("id"), ToDisplayText(p.id));
            object.insert(QStringLiteral("description"), ToDisplayText(p.description));
            object.insert(QStringLiteral("problem"), p.text);
            problems.append(object);
        }
        QJsonObject root;
        root.insert(QStringLiteral("cues"), report.cues);
        root.insert(QStringLiteral("problems"), problems);
        std::fputs(QJsonDocument(root).toJson(QJsonDocument::Indented).constData(), stdout);
    } else {
        for (const showcheck::Problem& p : report.problems) {
            std::printf("row %d\t%s\t%s\t%s\n", p.row + 1, ToDisplayText(p.id).toUtf8().constData(),
                        ToDisplayText(p.description).toUtf8().constData(),
                        p.text.toUtf8().constData());
        }
        std::printf("%s\n", report.Summary().toUtf8().constData());
    }
    return report.problems.isEmpty() ? 0 : 1;
}

}  // namespace cli
