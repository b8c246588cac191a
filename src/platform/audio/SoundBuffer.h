#pragma once

#include <array>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <span>

class AutoResetEvent;
class DeviceMixer;

// One notification position: hEventNotify is set each time playback has passed the byte at
// dwOffset.
struct SoundBufferNotify {
    uint32_t dwOffset = 0;
    AutoResetEvent* hEventNotify = nullptr;
};

// A cue's streaming sound buffer: a 65536-byte ring of 44100 Hz 16-bit stereo frames that the
// device's mixer plays at its play cursor, with volume, pan and up to 8 notification positions.
//
// Threads:
// - the filling thread (a player's worker, or whoever constructs and starts the buffer before
//   the worker exists): Lock/Unlock; one filler at a time;
// - the UI thread (or any control thread): SetNotificationPositions, Play, Stop,
//   SetCurrentPosition, SetVolume, SetPan, SetRefillsExpected, destruction;
// - any thread: the getters;
// - the device thread: the mixing side, reached only through DeviceMixer and OfflineDevice.
// Shared state is atomic; the device thread never waits for another thread.
//
// Lock hands out pointers into a private mirror of the ring; Unlock publishes the written
// frames to the ring the mixer reads, so the mixer never reads half-written memory.
class SoundBuffer {
public:
    static constexpr uint32_t kBufferBytes = 65536;
    static constexpr uint32_t kBytesPerFrame = 4;
    static constexpr uint32_t kFrames = kBufferBytes / kBytesPerFrame;  // 16384
    static constexpr uint32_t kSegmentBytes = 8192;
    static constexpr uint32_t kSegmentFrames = kSegmentBytes / kBytesPerFrame;  // 2048
    static constexpr uint32_t kSegments = kBufferBytes / kSegmentBytes;         // 8
    static constexpr uint32_t kMaxNotifications = 8;

    static constexpr int32_t kVolumeMin = -10000;  // silence
    static constexpr int32_t kVolumeMax = 0;       // full level
    static constexpr int32_t kPanLeft = -10000;
    static constexpr int32_t kPanRight = 10000;

    static constexpr uint32_t kStatusPlaying = 0x1;
    static constexpr uint32_t kStatusLooping = 0x4;

    // The standard geometry: notification i at byte 8191 + 8192 * i, tied to events[i].
    static std::array<SoundBufferNotify, kSegments> SegmentEndNotifications(
        std::span<AutoResetEvent* const, kSegments> events);

    SoundBuffer();
    // Detaches from the device's mixer first and returns only when no mixing pass can still
    // read this buffer. UI thread.
    ~SoundBuffer();
    SoundBuffer(const SoundBuffer&) = delete;
    SoundBuffer& operator=(const SoundBuffer&) = delete;

    // Gives the region [offset, offset + bytes) of the ring for writing, as one piece or, when
    // it wraps, two. bytes == 0 or > kBufferBytes, or offset >= kBufferBytes, fails.
    // Filling thread.
    bool Lock(uint32_t offset, uint32_t bytes, void** ppvAudioPtr1, uint32_t* pdwAudioBytes1,
              void** ppvAudioPtr2, uint32_t* pdwAudioBytes2);
    // Publishes the pieces returned by Lock (pass what Lock returned; the byte counts may be
    // smaller). Returns false for pointers that Lock did not hand out. Filling thread.
    bool Unlock(void* pvAudioPtr1, uint32_t dwAudioBytes1, void* pvAudioPtr2,
                uint32_t dwAudioBytes2);

    // Replaces the notification positions; at most kMaxNotifications, each offset below
    // kBufferBytes, each with an event; only while stopped. Setting positions marks the
    // buffer as streaming (refills expected). The events must outlive the buffer: the device
    // thread may signal them until the buffer is destroyed. UI thread.
    bool SetNotificationPositions(std::span<const SoundBufferNotify> positions);

    // Starts playing from the play cursor; looping plays the ring until Stop, otherwise it
    // stops at the end of the ring. Takes effect at the next mixing pass. UI/control thread.
    bool Play(bool looping);
    // Stops playing; the play cursor stays where it is. UI/control/worker thread.
    bool Stop();
    // Byte offsets of the play cursor and of the first byte that is safe to write (the same
    // here: the mixer reads the ring frame by frame). Any thread.
    bool GetCurrentPosition(uint32_t* pdwCurrentPlayCursor, uint32_t* pdwCurrentWriteCursor) const;
    // Moves the play cursor (rounded down to a frame) at the next mixing pass. Control thread.
    bool SetCurrentPosition(uint32_t offset);
    // kStatusPlaying | kStatusLooping. Any thread.
    uint32_t GetStatus() const;

    // Level in hundredths of a decibel, kVolumeMin..kVolumeMax; gain = 10^(volume / 2000),
    // kVolumeMin is silence. Out of range fails and keeps the level. Applies from the next
    // mixing pass. Any control or worker thread.
    bool SetVolume(int32_t volume);
    int32_t GetVolume() const;
    // Pan in hundredths of a decibel, kPanLeft..kPanRight: a positive pan attenuates the left
    // side by pan, a negative one the right side by -pan. Out of range fails.
    bool SetPan(int32_t pan);
    int32_t GetPan() const;

    // Whether a worker will still refill segments after their notifications. The offline
    // device waits for refills only while this is true; a worker that ends or gives up clears
    // it. Any thread.
    void SetRefillsExpected(bool expected);
    bool GetRefillsExpected() const;

    // Segments that started playing without having been refilled since they last played
    // (streaming buffers only); such a segment is played as silence. Any thread.
    uint64_t GetUnderrunCount() const;

    // The device under this buffer has gone (server stopped, device unplugged): the buffer stops
    // for good and every notification event is set once, so that its worker wakes, sees
    // IsAbandoned and ends as if killed instead of waiting for a refill that never comes.
    // Control thread (DeviceMixer::AbandonAll).
    void Abandon();
    // Any thread.
    bool IsAbandoned() const { return m_abandoned.load(std::memory_order_acquire); }

    // The outputs of its device this buffer plays on: a pair (first, first + 1) gets left and
    // right, a single output (width 1) gets their average. The mixer accepts the buffer only
    // when the outputs exist on its device. Control thread, before the buffer is attached.
    bool SetOutputs(uint32_t first, uint32_t width);
    uint32_t GetFirstOutput() const { return m_firstOutput.load(std::memory_order_relaxed); }
    uint32_t GetOutputWidth() const { return m_outputWidth.load(std::memory_order_relaxed); }
    // Mutes the buffer from the next mixing pass on, for good: a killed cue falls silent at
    // once instead of at its worker's next refill. Any thread; no lock, no allocation.
    void SilenceNow() { m_silenced.store(true, std::memory_order_relaxed); }
    bool IsSilenced() const { return m_silenced.load(std::memory_order_relaxed); }

private:
    friend class DeviceMixer;

    struct Notification {
        std::atomic<uint32_t> frame{0};  // the frame that holds the notification byte
        std::atomic<AutoResetEvent*> event{nullptr};
    };

    // Device thread: mixes `frames` frames into its outputs of the interleaved accumulator of
    // `stride` outputs per frame, advances the play cursor, signals notifications; returns the
    // underruns found in this pass.
    uint32_t MixInto(float* acc, uint32_t frames, uint32_t stride);
    // Device thread (offline): frames from the play cursor until the next notification fires
    // or the ring ends, at most `limit`; `limit` when not playing.
    uint32_t FramesToNextEvent(uint32_t limit) const;
    // Offline rendering thread: waits until every signalled segment has been refilled, the
    // buffer stopped or refills are no longer expected. Returns false on time-out (and then
    // stops expecting refills, so a vanished worker costs one time-out, not one per segment).
    bool WaitForRefills(std::chrono::milliseconds timeout);
    // DeviceMixer, under its attach lock. keepAlive may be null for a mixer that is not
    // owned by a shared_ptr; such a mixer must outlive its buffers.
    void SetMixer(DeviceMixer* mixer, std::shared_ptr<DeviceMixer> keepAlive);

    void NotifyRefillWaiters();
    static uint64_t PackLevels(int32_t volume, int32_t pan);
    bool UpdateLevels(bool setVolume, int32_t value);

    std::unique_ptr<uint32_t[]> m_mirror;             // filling thread only
    std::unique_ptr<std::atomic<uint32_t>[]> m_ring;  // one packed frame per element

    std::array<Notification, kMaxNotifications> m_notifications;
    std::atomic<uint32_t> m_notificationCount{0};  // written only while stopped

    std::atomic<uint32_t> m_status{0};
    std::atomic<uint32_t> m_playFrame{0};  // written by the device thread while playing
    static constexpr uint32_t kNoSeek = 0xFFFFFFFFu;
    std::atomic<uint32_t> m_seekFrame{kNoSeek};

    // Volume (low 32 bits) and pan (high 32 bits) in one word, so that a volume change and a
    // pan change from two threads cannot undo each other. The device thread derives its gains
    // from it whenever it changes.
    std::atomic<uint64_t> m_levels{0};
    uint64_t m_mixLevels = 0;  // device thread: the levels m_mixLeft/m_mixRight belong to
    float m_mixLeft = 1.0f;
    float m_mixRight = 1.0f;

    std::atomic<bool> m_abandoned{false};
    std::atomic<uint32_t> m_firstOutput{0};
    std::atomic<uint32_t> m_outputWidth{2};

    std::atomic<bool> m_refillsExpected{false};
    std::atomic<bool> m_silenced{false};          // set by SilenceNow, read by the device thread
    std::atomic<uint32_t> m_freshSegments{0};     // bit s: refilled since it last started
    std::atomic<uint32_t> m_awaitingSegments{0};  // bit s: signalled, not yet refilled
    // Device thread: bit s: segment s started playing without a refill since it last played;
    // it plays silent until it starts again refilled, so a stalled worker never leaves the
    // ring repeating old sound.
    uint32_t m_staleSegments = 0;
    std::atomic<uint64_t> m_underruns{0};

    std::mutex m_refillMutex;  // only for the offline waiter's condition variable
    std::condition_variable m_refillChanged;

    // The mixer this buffer is attached to, if any: set by DeviceMixer under its attach lock on
    // a control thread, read by the destructor; never touched by the device thread.
    DeviceMixer* m_mixer = nullptr;
    std::shared_ptr<DeviceMixer> m_mixerKeepAlive;
};
