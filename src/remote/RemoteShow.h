#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

#include "remote/RemoteRequest.h"
#include "view/CommandSource.h"

// What a remote display shows: the cues playing, the highlighted cue, the show's file.
struct ShowStatus {
    struct Playing {
        QString id;
        QString description;
        quint32 elapsedMs = 0;
        quint32 remainingMs = 0;
    };
    QList<Playing> playing;
    QString highlighted;  // the ID of the first highlighted cue; empty: none
    QString file;         // the show's file name; empty: not saved yet

    // {"status":"ok","playing":[{"id":..,"description":..,"elapsedMs":..,"remainingMs":..}],
    //  "highlighted":..,"file":..}
    QByteArray ToJson() const;
};

// The show as remote controllers reach it. The shell implements it on top of the frame's one
// command path, so a remote command is carried out exactly as its key would be. UI thread.
class IRemoteShow {
public:
    virtual ~IRemoteShow() = default;
    // Carries out a Command, Panic, StartCue, StopCue, FadeOutCue, SelectCue, MscGo or MscStop.
    virtual RemoteResult Perform(const RemoteRequest& request, const CommandSource& source) = 0;
    virtual ShowStatus GetStatus() const = 0;
};

namespace remote {

// {"status":"ok"} or {"status":"error","message":...}
QByteArray ResultJson(const RemoteResult& result);

// The cue a MIDI Show Control cue number names among `ids` (in list order): the first ID equal
// to the number as text (ignoring letter case), else the first whose digits make the same
// number ("10", "10.0" and "010" all name Q010; "10.5" names Q10.5). -1 when none does.
int MatchCueNumber(const QString& number, const QStringList& ids);

}  // namespace remote
