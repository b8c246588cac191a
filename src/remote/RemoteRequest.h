#pragma once

#include <QString>

// One show-control request from a remote controller (an OSC message, a MIDI message or its
// mapping), in terms of the commands the keys give. Made on the thread that decoded it, carried
// out on the UI thread.
struct RemoteRequest {
    enum class Kind {
        Command,     // `command` (ID_AUDIO_GO, ID_AUDIO_STOPALL or a live command) for `target`
        Panic,       // Fade All where the program has it, otherwise Stop All
        StartCue,    // the cue `cueId` started without moving the highlight
        StopCue,     // every player of `cueId` killed
        FadeOutCue,  // every player of `cueId` faded out
        SelectCue,   // `cueId` highlighted
        MscGo,       // MIDI Show Control GO with cue number `cueId` (matched by number)
        MscStop,     // MIDI Show Control STOP with cue number `cueId`
        Status,      // the state for a remote display
        Updates,     // `on`: push the state to the sender whenever it changes
        Connect,     // the passcode `text`
        Reply,       // a reply of another machine (`text`: its JSON)
    };
    // Which players a live command reaches: as the key alone, with Shift, with Ctrl.
    enum Target { kCurrent = 0, kOthers = 1, kAll = 2 };

    Kind kind = Kind::Command;
    int command = 0;
    int target = kCurrent;
    QString cueId;
    QString text;
    bool on = true;
};

// What became of a request carried out on the UI thread.
struct RemoteResult {
    bool ok = true;
    QString message;  // why not, when !ok

    static RemoteResult Ok() { return {}; }
    static RemoteResult Error(const QString& message) { return {false, message}; }
};
