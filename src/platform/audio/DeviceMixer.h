#pragma once

#include <array>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

class RateConverter;
class SoundBuffer;

// Mixes every playing SoundBuffer of one output device into interleaved 16-bit frames of the
// device's outputs, each buffer on its own output or pair of outputs, summing with saturation,
// and signals each buffer's notification events as its cursor passes them. The buffers play
// at 44100 Hz; a device at another rate gets the mix converted to its rate.
//
// Threads: Attach/Detach from control threads (UI, engine); Mix from the device thread only
// (RtAudio callback, virtual clock, offline renderer). Mix never allocates, never does I/O and
// never takes a lock: buffers live in a fixed array of atomic pointers, and Detach waits until
// any mixing pass that could have seen the buffer has finished before it returns, so a buffer
// is never freed while a pass reads it.
class DeviceMixer : public std::enable_shared_from_this<DeviceMixer> {
public:
    static constexpr uint32_t kMaxBuffers = 512;
    static constexpr uint32_t kMaxFramesPerPass = 4096;
    static constexpr uint32_t kMaxOutputs = 64;
    static constexpr uint32_t kMixRate = 44100;

    // `outputs` 1..kMaxOutputs (clamped), `deviceRate` the frames per second Mix produces.
    explicit DeviceMixer(uint32_t outputs = 2, uint32_t deviceRate = kMixRate);
    ~DeviceMixer();
    DeviceMixer(const DeviceMixer&) = delete;
    DeviceMixer& operator=(const DeviceMixer&) = delete;

    uint32_t GetOutputCount() const { return m_outputs; }
    uint32_t GetDeviceRate() const { return m_deviceRate; }
    // Whether the rate converter a device at another rate needs could be made.
    bool IsReady() const;

    // Adds a buffer to the mix; false when kMaxBuffers are attached, it is attached to
    // another mixer or its outputs are not all on this device. Control thread.
    bool Attach(SoundBuffer* buffer);
    // Removes it; returns once no mixing pass can still read it. Safe when not attached.
    // Control thread (also called by ~SoundBuffer).
    void Detach(SoundBuffer* buffer);

    // The device has gone: abandons every attached buffer (see SoundBuffer::Abandon) so that
    // their workers end. Buffers attached later play normally. Control thread.
    void AbandonAll();

    // Writes `frames` interleaved frames (GetOutputCount() * frames samples) of the mix at the
    // device rate. Device thread.
    void Mix(int16_t* out, uint32_t frames);

    // Offline renderer (device thread, 44100 Hz devices): frames until the first playing buffer's
    // next notification, at most `limit`.
    uint32_t FramesToNextEvent(uint32_t limit) const;
    // Offline renderer: waits for every playing buffer's outstanding refill (bounded per
    // buffer). Returns false if any wait timed out.
    bool WaitForRefills(std::chrono::milliseconds timeoutPerBuffer);

    // Diagnostics, any thread. Frames of the 44100 Hz mix so far.
    uint64_t GetFramesMixed() const { return m_framesMixed.load(std::memory_order_relaxed); }
    uint32_t GetAttachedCount() const;
    // Longest single Mix call so far, in nanoseconds.
    uint64_t GetWorstPassNs() const { return m_worstPassNs.load(std::memory_order_relaxed); }
    void ResetPassStatistics();
    // Underruns of every buffer this mixer has played.
    uint64_t GetUnderrunCount() const { return m_underruns.load(std::memory_order_relaxed); }

    // What the device was given since the previous TakeLevels, output by output, as
    // fractions of full scale: the highest sample and the root mean square.
    struct Levels {
        std::array<float, kMaxOutputs> peak{};
        std::array<float, kMaxOutputs> rms{};
        uint32_t outputs = 0;
        uint64_t frames = 0;  // device frames measured
    };
    // UI thread (the meters): reads and restarts the measurement. The device thread adds to it
    // with a few atomic operations per pass and output, never waiting for this reader.
    Levels TakeLevels();

private:
    // Device thread: sums every playing buffer's next `frames` frames into m_acc.
    void MixPass(uint32_t frames);
    void Saturate(const float* in, int16_t* out, uint32_t frames);
    // The rate converter's source (device thread): the next frames of the 44100 Hz mix.
    static long PullMix(void* context, float** frames);

    // Written by Attach/Detach under m_attachMutex, read by the device thread inside a pass.
    std::array<std::atomic<SoundBuffer*>, kMaxBuffers> m_slots{};
    std::atomic<uint32_t> m_slotLimit{0};             // slots at and above this index are empty
    mutable std::atomic<uint64_t> m_passSequence{0};  // odd while a mixing pass runs
    // Written by the device thread, read by any thread.
    std::atomic<uint64_t> m_framesMixed{0};
    std::atomic<uint64_t> m_worstPassNs{0};  // also reset by ResetPassStatistics
    std::atomic<uint64_t> m_underruns{0};
    std::mutex m_attachMutex;  // serialises Attach/Detach; never taken by Mix
    // The meters' measurement: written by the device thread, taken by TakeLevels.
    std::array<std::atomic<float>, kMaxOutputs> m_meterPeak{};
    std::array<std::atomic<double>, kMaxOutputs> m_meterSquares{};
    std::atomic<uint64_t> m_meterFrames{0};

    const uint32_t m_outputs;
    const uint32_t m_deviceRate;
    // Device thread only; sized at construction (outputs * kMaxFramesPerPass).
    std::vector<float> m_acc;
    std::vector<float> m_converted;
    std::unique_ptr<RateConverter> m_converter;  // null at 44100 Hz
};
