#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/audio/OutputDevice.h"

// Which devices the program opens. MARVANE_AUDIO:
//   unset or empty   PulseAudio (PipeWire's PulseAudio server too), one device per sink
//   pulse            the same
//   alsa             RtAudio on ALSA
//   jack             the JACK server, natively (JackDevice)
//   virtual:N[xC][@RATE][:PREFIX]
//                    N virtual real-time devices "Virtual output 1" .. "Virtual output N" of
//                    C outputs (default 2) at RATE frames per second (default 44100); with
//                    PREFIX device K (from 0) writes its mix to PREFIX-K.wav (C channels);
//                    with MARVANE_CAPTURE_TIMES=1 also PREFIX-K.times, the wall-clock time at
//                    which each period of the capture was mixed (end-to-end timing)
enum class AudioBackend { Pulse, Jack, Alsa, Virtual };

struct AudioSelection {
    AudioBackend backend = AudioBackend::Pulse;
    int virtualCount = 0;       // Virtual only, 1..kMaxVirtualDevices
    int virtualOutputs = 2;     // Virtual only, 1..OutputDevice::kMaxOutputs
    int virtualRate = 44100;    // Virtual only, kMinRate..kMaxRate
    std::string capturePrefix;  // Virtual only; empty = no capture
};

// Builds and opens the devices of a selection. All of it runs on the UI thread at start-up.
class OutputDeviceFactory {
public:
    static constexpr int kMaxVirtualDevices = 64;
    static constexpr int kMinRate = 8000;
    static constexpr int kMaxRate = 192000;
    static constexpr const char* kEnvironmentVariable = "MARVANE_AUDIO";

    // Parses a MARVANE_AUDIO value; nullopt with *error set when it is not understood.
    static std::optional<AudioSelection> ParseSelection(std::string_view value,
                                                        std::string* error = nullptr);
    static std::optional<AudioSelection> SelectionFromEnvironment(std::string* error = nullptr);

    // The devices the selection offers, in enumeration order, not yet opened. A device that
    // cannot even be described is left out.
    static std::vector<std::unique_ptr<OutputDevice>> CreateCandidates(
        const AudioSelection& selection);
    // Test hook, as if virtual devices were plugged in while the program runs: every later
    // listing of virtual devices offers `count` more after the selection's N ("Virtual output
    // N+1" ...), of the selection's outputs, rate and capture prefix; 0 unplugs them from the
    // listing again. Any thread (the listing may run on a scanner's thread).
    static void PlugVirtualDevicesForTesting(int count);

    // Opens each candidate in order and keeps those that open, without gaps.
    static std::vector<std::unique_ptr<OutputDevice>> OpenAll(
        std::vector<std::unique_ptr<OutputDevice>> candidates);
    // SelectionFromEnvironment + CreateCandidates + OpenAll. Empty (with *error) when the
    // variable is not understood or no device opened.
    static std::vector<std::unique_ptr<OutputDevice>> OpenFromEnvironment(
        std::string* error = nullptr);
};
