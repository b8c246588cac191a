#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/audio/OutputDevice.h"
#include "platform/audio/OutputDeviceFactory.h"

class RtAudio;

// A sound card or sound server sink reached through RtAudio: PulseAudio (and PipeWire's
// PulseAudio server), JACK or ALSA. The stream is opened once with all the device's outputs
// (up to 64), 16-bit, at 44100 Hz when the device offers it and otherwise at the device's own
// rate (JACK runs at its server's rate), with a period of kPeriodFrames (JACK uses its server's
// period); on PulseAudio the server-side buffer is bounded through the stream's buffer count so
// that the server adds at most about 50 ms.
//
// Threads: Open/Close on the UI thread; RtAudio's callback thread runs the mixer.
class RtAudioDevice : public OutputDevice {
public:
    static constexpr uint32_t kPeriodFrames = 512;
    // PulseAudio: period * buffers bounds the server's queue (4 * 512 frames = 46 ms).
    static constexpr uint32_t kPulseBuffers = 4;
    static constexpr uint32_t kAlsaBuffers = 2;
    // A healthy stream never runs further ahead of real time than its server's queue. A stream
    // whose server has gone calls back without pause; beyond this lead the callback waits, so
    // cues keep their real-time pace (and end when they would have) and the thread does not
    // spin at real-time priority.
    static constexpr double kMaxLeadSeconds = 0.5;

    RtAudioDevice(AudioBackend api, unsigned int deviceId, std::string description,
                  uint32_t outputs = kChannels, uint32_t rate = kSampleRate);
    ~RtAudioDevice() override;

    bool Open() override;
    void Close() override;
    bool IsOpen() const override;
    uint32_t GetPeriodFrames() const override { return m_periodFrames; }

    // Lost: RtAudio closed the stream (JACK shut our client down), no callback came for
    // kStallSeconds, or the stream ran unpaced (every write failing: its server has gone).
    bool IsLost() const override;
    uint64_t GetDropoutCount() const override { return GetUnderflowCount(); }
    static constexpr double kStallSeconds = 0.5;

    AudioBackend GetApi() const { return m_api; }
    // Callbacks that reported an output underflow.
    uint64_t GetUnderflowCount() const { return m_underflows.load(std::memory_order_relaxed); }
    // Callbacks that had to wait because nothing paced the stream (its server has gone).
    uint64_t GetUnpacedCount() const { return m_unpaced.load(std::memory_order_relaxed); }
    // The latency RtAudio reports for the open stream, in frames (0 when the API cannot tell).
    long GetReportedLatencyFrames() const;
    // How far the mix runs ahead of real time: frames mixed since the first callback minus the
    // time elapsed since then, in seconds. After a second or so this is the sound queued
    // between the mixer and the speaker. UI thread, while open.
    double MeasureLeadSeconds() const;

    // The output devices the API offers, in its order, not yet opened. Never throws; an API
    // that cannot be reached yields none.
    static std::vector<std::unique_ptr<OutputDevice>> Enumerate(AudioBackend api);

private:
    // RtAudio's callback thread.
    static int Callback(void* output, void* input, unsigned int frames, double streamTime,
                        unsigned int status, void* userData);

    AudioBackend m_api;
    unsigned int m_deviceId;
    uint32_t m_periodFrames = kPeriodFrames;
    std::unique_ptr<RtAudio> m_audio;
    std::atomic<uint64_t> m_underflows{0};           // written by the callback thread
    std::atomic<uint64_t> m_unpaced{0};              // written by the callback thread
    std::atomic<int64_t> m_firstCallbackNs{0};       // steady clock; 0 until the first callback
    std::atomic<int64_t> m_lastCallbackNs{0};        // steady clock, written by the callback
    int64_t m_openedNs = 0;                          // UI thread
    std::atomic<uint64_t> m_firstCallbackFrames{0};  // frames the mixer had mixed before it
};
