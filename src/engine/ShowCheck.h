#pragma once

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QString>

class CQRecord;

// Checks, before the performance, that every cue of a list would play: its sound file present,
// readable and decodable, its channel present. Works on a snapshot of the cues, so it may run on
// any thread while the list is edited; each distinct file is opened once.
namespace showcheck {

// What the check needs of one cue, copied on the UI thread.
struct CueSnapshot {
    const void* key = nullptr;  // the record it was taken from; never dereferenced by the check
    QByteArray id;
    QByteArray description;
    QByteArray path;
    int32_t channel = 0;
    bool operator==(const CueSnapshot&) const = default;
};

struct Problem {
    enum class Kind {
        Missing,         // the file is not there
        Unreadable,      // it is there but cannot be read
        NotPlayable,     // it is no sound file this program can play
        Channel,         // its channel does not exist here
        ChannelMissing,  // its channel is kept for a chosen device that is not connected
    };
    int row = 0;                // 0-based
    const void* key = nullptr;  // the record of the snapshot
    QByteArray id;
    QByteArray description;
    QByteArray path;
    Kind kind = Kind::Missing;
    QString text;  // for the operator: "File not found: /show/bell.wav"
};

struct Report {
    int cues = 0;
    QList<Problem> problems;
    bool channelsChecked = false;
    // "15 cues, 2 problems"
    QString Summary() const;
    // The problem text of each row (several problems of one row joined by new lines).
    QString RowProblem(int row) const;
    int MissingFileCount() const;
};

// Copies what the check needs of `cues` (UI thread, or any thread that owns them).
QList<CueSnapshot> Snapshot(const QList<CQRecord*>& cues);

// Checks every cue. `channelCount` is the number of output channels here, or -1 when no output
// could be opened (channels are then not judged). `missingChannels`: the channels kept for
// chosen devices that are not connected, with the names they are shown with.
Report Check(const QList<CueSnapshot>& cues, int channelCount,
             const QHash<int, QString>& missingChannels = {});

}  // namespace showcheck
