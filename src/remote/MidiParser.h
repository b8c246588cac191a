#pragma once

#include <QString>
#include <cstddef>
#include <optional>

// One MIDI message as show control reads it.
struct MidiEvent {
    enum class Type { None, NoteOn, ProgramChange, ControlChange, SysEx };
    Type type = Type::None;
    int channel = 0;  // 0..15
    int number = 0;   // note, program or controller number
    int value = 0;    // velocity or controller value

    // "Note On ch 1 #60 vel 100", as the Preferences page shows what it heard.
    QString ToText() const;
};

// A MIDI Show Control command (a universal real-time SysEx: F0 7F device 02 format command
// [cue number [00 cue list [00 path]]] F7).
struct MscCommand {
    enum Command { kGo = 0x01, kStop = 0x02, kResume = 0x03, kAllOff = 0x08 };
    static constexpr int kAllCall = 0x7F;      // device ID every device answers to
    static constexpr int kFormatSound = 0x10;  // command format "Sound"
    static constexpr int kFormatAll = 0x7F;    // command format "All types"
    static constexpr int kMaxCueNumberLength = 24;

    int deviceId = 0;
    int format = 0;
    int command = 0;
    QString cueNumber;  // digits and dots; empty: none given
};

namespace midi {

// A channel message (Note On with a velocity above 0, Program Change, Control Change) or a
// SysEx; Type::None for anything else (Note Off, clock, truncated messages). Any thread.
MidiEvent Parse(const unsigned char* data, std::size_t size);

// A MIDI Show Control command, or nullopt when the bytes are not a well-formed one (wrong
// header, bytes of 0x80 and above inside, no F7 at the end, a cue number that is not digits
// and dots). Any thread.
std::optional<MscCommand> ParseMsc(const unsigned char* data, std::size_t size);

// Whether a command is for this machine: its device ID is ours, or the all-call, or ours is the
// all-call; its format is ours or "All types", or ours is "All types". Any thread.
bool IsForUs(const MscCommand& command, int ourDeviceId, int ourFormat);

}  // namespace midi
