#pragma once

#include <QList>
#include <QString>

#include "view/CommandSource.h"

// One show-control action the view has carried out, reported after the fact: the Go log writes
// it down and backup machines are told of it. Disabled commands are never reported.
struct ShowAction {
    enum class Kind {
        Go,          // Go on the highlighted rows; `cues` are the cues it tried to start
        GoIgnored,   // a Go refused by the double-press guard; `cues` are the highlighted rows
        StopAll,     // Stop All; `cues` are the cues that were playing
        FadeAll,     // Fade All; `cues` are the cues that were playing
        Live,        // a live command (`command`) for `target`; `cues` are the cues it reached
        StartCue,    // one cue started by name, the highlight left alone
        KillCue,     // one cue, or one of its players, killed by name
        FadeOutCue,  // one cue, or one of its players, faded out by name
        SelectCue,   // one cue highlighted by name
    };
    // Which players a live command reached: the current one, the others (Shift) or all (Ctrl).
    enum class Target { Current, Others, All };

    // A cue as the list shows it.
    struct Cue {
        QString id;
        QString description;
        bool started = true;  // Go and StartCue: whether its player started
    };

    Kind kind = Kind::Go;
    int command = 0;  // Live: the command number (ID_AUDIO_KILL, ...)
    Target target = Target::Current;
    QList<Cue> cues;
    CommandSource source;

    // The action's name as the Go log writes it: GO, GO_IGNORED, STOP_ALL, FADE_ALL, START,
    // KILL, FADE_OUT, SELECT, and for live commands FADE_IN, FADE_OUT, KILL, SPEED_UP,
    // SLOW_DOWN, NORMAL_SPEED, VOLUME_UP, VOLUME_DOWN.
    QString LogName() const;
};
