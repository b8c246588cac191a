#pragma once

#include <array>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <mutex>

class SoundBuffer;

// Mixes every playing SoundBuffer of one output device into 44100 Hz 16-bit stereo, summing
// with saturation, and signals each buffer's notification events as its cursor passes them.
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

    DeviceMixer();
    ~DeviceMixer();
    DeviceMixer(const DeviceMixer&) = delete;
    DeviceMixer& operator=(const DeviceMixer&) = delete;

    // Adds a buffer to the mix; false when kMaxBuffers are attached or it is attached to
    // another mixer. Control thread.
    bool Attach(SoundBuffer* buffer);
    // Removes it; returns once no mixing pass can still read it. Safe when not attached.
    // Control thread (also called by ~SoundBuffer).
    void Detach(SoundBuffer* buffer);

    // Writes `frames` interleaved stereo frames (2 * frames samples) of the mix. Device thread.
    void Mix(int16_t* out, uint32_t frames);

    // Offline renderer (device thread): frames until the first playing buffer's next
    // notification, at most `limit`.
    uint32_t FramesToNextEvent(uint32_t limit) const;
    // Offline renderer: waits for every playing buffer's outstanding refill (bounded per
    // buffer). Returns false if any wait timed out.
    bool WaitForRefills(std::chrono::milliseconds timeoutPerBuffer);

    // Diagnostics, any thread.
    uint64_t GetFramesMixed() const { return m_framesMixed.load(std::memory_order_relaxed); }
    uint32_t GetAttachedCount() const;
    // Longest single Mix call so far, in nanoseconds.
    uint64_t GetWorstPassNs() const { return m_worstPassNs.load(std::memory_order_relaxed); }
    void ResetPassStatistics();
    // Underruns of every buffer this mixer has played.
    uint64_t GetUnderrunCount() const { return m_underruns.load(std::memory_order_relaxed); }

private:
    void MixPass(int16_t* out, uint32_t frames);

    // Written by Attach/Detach under m_attachMutex, read by the device thread inside a pass.
    std::array<std::atomic<SoundBuffer*>, kMaxBuffers> m_slots{};
    std::atomic<uint32_t> m_slotLimit{0};             // slots at and above this index are empty
    mutable std::atomic<uint64_t> m_passSequence{0};  // odd while a mixing pass runs
    // Written by the device thread, read by any thread.
    std::atomic<uint64_t> m_framesMixed{0};
    std::atomic<uint64_t> m_worstPassNs{0};  // also reset by ResetPassStatistics
    std::atomic<uint64_t> m_underruns{0};
    std::mutex m_attachMutex;  // serialises Attach/Detach; never taken by Mix

    alignas(64) std::array<float, 2 * kMaxFramesPerPass> m_acc{};  // device thread only
};
