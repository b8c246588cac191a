#pragma once

#include <cstdint>
#include <string>
#include <vector>

// One playback sink of a PulseAudio server (or of PipeWire's PulseAudio service), as the
// server describes it.
struct PulseSinkInfo {
    std::string name;         // the server's name for it, e.g. "alsa_output.usb-...", "chanA"
    std::string description;  // the name the operator knows it by
    uint32_t channels = 2;    // its outputs, 1..32 (the protocol's limit)
    uint32_t rate = 44100;    // its frames per second
    // Its channel map, one pa_channel_position_t per output in output order.
    std::vector<int> positions;
};

// Asks the server (PULSE_SERVER, else the user's own) for its sinks, in the server's order.
// Empty, with *error set, when no server answers within `timeoutMs` or it refuses the list.
// Never starts a server. It uses a connection and main loop of its own, so any thread may call
// it, any number of times (a later rescan calls it again from a worker thread).
std::vector<PulseSinkInfo> ListPulseSinks(std::string* error = nullptr, int timeoutMs = 2000);
