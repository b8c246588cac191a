#include "engine/ShowCheck.h"

#include <QHash>

#include "cuelist/CQRecord.h"
#include "platform/media/SoundFileOpener.h"

namespace showcheck {

namespace {

struct FileVerdict {
    bool ok = true;
    Problem::Kind kind = Problem::Kind::Missing;
    QString text;
};

FileVerdict CheckFile(const QByteArray& path) {
    FileVerdict verdict;
    if (path.isEmpty()) {
        verdict.ok = false;
        verdict.text = QStringLiteral("No sound file chosen");
        return verdict;
    }
    mvmedia::OpenedSound opened = mvmedia::OpenSoundFile(path);
    int16_t left = 0;
    int16_t right = 0;
    if (opened.reader) {
        // Decoding the first block shows that the sound behind the header can be decoded.
        if (opened.reader->GetFrameCount() == 0 || opened.reader->ReadFrame(left, right)) {
            return verdict;
        }
        opened.reason = QStringLiteral("its sound cannot be decoded");
    }
    verdict.ok = false;
    if (opened.reason.startsWith(QStringLiteral("File not found"))) {
        verdict.kind = Problem::Kind::Missing;
        verdict.text = opened.reason;
    } else if (opened.reason.startsWith(QStringLiteral("File cannot be read"))) {
        verdict.kind = Problem::Kind::Unreadable;
        verdict.text = opened.reason;
    } else {
        verdict.kind = Problem::Kind::NotPlayable;
        verdict.text =
            QStringLiteral("Not a sound file this program can play (%1)")
                .arg(opened.reason.isEmpty() ? QStringLiteral("unknown format") : opened.reason);
    }
    return verdict;
}

}  // namespace

QString Report::Summary() const {
    return QStringLiteral("%1 %2, %3 %4")
        .arg(cues)
        .arg(cues == 1 ? QStringLiteral("cue") : QStringLiteral("cues"))
        .arg(problems.size())
        .arg(problems.size() == 1 ? QStringLiteral("problem") : QStringLiteral("problems"));
}

QString Report::RowProblem(int row) const {
    QStringList texts;
    for (const Problem& p : problems) {
        if (p.row == row) texts.append(p.text);
    }
    return texts.join(QLatin1Char('\n'));
}

int Report::MissingFileCount() const {
    int n = 0;
    for (const Problem& p : problems) n += p.kind == Problem::Kind::Missing;
    return n;
}

QList<CueSnapshot> Snapshot(const QList<CQRecord*>& cues) {
    QList<CueSnapshot> out;
    out.reserve(cues.size());
    for (const CQRecord* cue : cues) {
        CueSnapshot s;
        s.key = cue;
        if (cue != nullptr) {
            s.id = cue->m_strID;
            s.description = cue->m_strDescription;
            s.path = cue->m_strPath;
            s.channel = cue->m_nChannel;
        }
        out.append(s);
    }
    return out;
}

Report Check(const QList<CueSnapshot>& cues, int channelCount,
             const QHash<int, QString>& missingChannels) {
    Report report;
    report.cues = static_cast<int>(cues.size());
    report.channelsChecked = channelCount >= 0;
    QHash<QByteArray, FileVerdict> verdicts;
    for (int row = 0; row < cues.size(); ++row) {
        const CueSnapshot& cue = cues[row];
        Problem problem;
        problem.row = row;
        problem.key = cue.key;
        problem.id = cue.id;
        problem.description = cue.description;
        problem.path = cue.path;

        auto found = verdicts.constFind(cue.path);
        if (found == verdicts.constEnd()) found = verdicts.insert(cue.path, CheckFile(cue.path));
        if (!found->ok) {
            problem.kind = found->kind;
            problem.text = found->text;
            report.problems.append(problem);
        }
        if (report.channelsChecked && (cue.channel < 0 || cue.channel >= channelCount)) {
            problem.kind = Problem::Kind::Channel;
            problem.text =
                QStringLiteral("Channel %1 does not exist here: the cue will play on channel 0")
                    .arg(cue.channel);
            report.problems.append(problem);
        } else if (report.channelsChecked && missingChannels.contains(cue.channel)) {
            problem.kind = Problem::Kind::ChannelMissing;
            problem.text = QStringLiteral(
                               "Channel %1 (%2) is missing: its device is not "
                               "connected, so the cue will not play")
                               .arg(cue.channel)
                               .arg(missingChannels.value(cue.channel));
            report.problems.append(problem);
        }
    }
    return report;
}

}  // namespace showcheck
