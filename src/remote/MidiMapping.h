#pragma once

#include <QList>
#include <QString>
#include <QStringList>
#include <optional>

#include "remote/MidiParser.h"
#include "remote/RemoteRequest.h"

// One MIDI mapping: a Note On, Program Change or Control Change (a channel or any, a number, and
// optionally only at or above a velocity or value) gives an action written as its OSC address,
// with the target of a live command after it: "/go", "/cue/Q010/start", "/live/volumeUp 2".
// Stored as text, one mapping a line: "note any 60 0 /go", "cc 1 7 64 /live/volumeUp 2".
struct MidiMapping {
    MidiEvent::Type type = MidiEvent::Type::NoteOn;
    int channel = -1;   // 0..15; -1: any
    int number = 0;     // 0..127
    int threshold = 0;  // 0..127: the velocity or value must be at least this
    QString action;

    bool Matches(const MidiEvent& event) const;
    // The request of `action`, or nullopt with the reason in `error`.
    std::optional<RemoteRequest> Request(QString* error = nullptr) const;

    QString ToText() const;
    // nullopt for text that is not a mapping (or whose action is not one).
    static std::optional<MidiMapping> FromText(const QString& text);

    // Note On 60 (any channel) = Go, Note On 61 = Stop All.
    static QList<MidiMapping> Defaults();
    static QStringList ToTexts(const QList<MidiMapping>& mappings);
    // Lines that are not mappings are left out.
    static QList<MidiMapping> FromTexts(const QStringList& texts);

    // The actions the Preferences page offers (an ID may replace {id}).
    static QStringList ActionChoices();
};
