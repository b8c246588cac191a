#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/audio/OutputDevice.h"
#include "platform/audio/PulseSinks.h"

struct pa_threaded_mainloop;
struct pa_context;
struct pa_stream;

// A sink of a PulseAudio server (PipeWire's PulseAudio service too) reached through libpulse's
// asynchronous API. One stream per sink, with all the sink's outputs in its channel map and at
// its rate (the mixer converts from 44.1 kHz when the sink runs at another rate), so the server
// neither remaps nor resamples. The stream asks for a small server-side buffer and keeps it:
// kTargetLatencyUs in all (about two periods of kPeriodUs), adjusted to the sink's own latency
// (PA_STREAM_ADJUST_LATENCY). The server asks for sound as it plays; each request is answered
// at once from the mixer.
//
// Threads: Open, Close, IsOpen, IsLost and the diagnostics on a control thread (the UI thread
// in the program). libpulse's main loop thread (one per open device) runs the stream's
// callbacks: OnWrite calls only DeviceMixer::Mix into m_chunk (allocated at construction) and
// hands the result to libpulse, which copies it into its own memory pool; it never waits for
// anything but the main loop lock, which a control thread holds only for a few calls.
class PulseDevice : public OutputDevice {
public:
    static constexpr uint32_t kPeriodUs = 5000;                  // minreq: one request
    static constexpr uint32_t kTargetLatencyUs = 2 * kPeriodUs;  // tlength: all queued sound
    // Frames mixed per write; a larger request is answered in several writes.
    static constexpr uint32_t kChunkFrames = 4096;
    // How long Open waits for the server and the stream to be ready.
    static constexpr int kOpenTimeoutMs = 1500;

    explicit PulseDevice(PulseSinkInfo sink);
    ~PulseDevice() override;

    bool Open() override;
    void Close() override;
    bool IsOpen() const override;
    // The granted minreq in frames (kPeriodUs worth before the first Open).
    uint32_t GetPeriodFrames() const override;
    // Lost: the connection to the server or the stream failed (server stopped or restarted,
    // sink removed). Control thread.
    bool IsLost() const override;
    // Underflows the server reported for our stream. Any thread.
    uint64_t GetDropoutCount() const override;

    const PulseSinkInfo& GetSink() const { return m_sink; }

    // What the server granted for the open stream, in bytes (all 0 when closed). Control thread.
    struct BufferGrant {
        uint32_t maxlength = 0;
        uint32_t tlength = 0;
        uint32_t prebuf = 0;
        uint32_t minreq = 0;
        uint64_t sinkLatencyUs = 0;  // the latency the sink was configured to for us
    };
    BufferGrant GetBufferGrant() const;
    // The latency the server reports for the stream now (queued and in the sink), in
    // microseconds; false when it cannot tell yet. Control thread.
    bool GetServerLatencyUs(uint64_t* latencyUs) const;

    // Diagnostics for the benchmarks. ArmProbe (control thread) makes the main loop thread note
    // the first non-zero sample it hands to the server: when (steady clock) and the server's
    // latency for it at that moment (what was queued before it plus the sink's latency).
    // TakeProbe reads it: false until that sample has been handed over.
    void ArmProbe();
    bool TakeProbe(std::chrono::steady_clock::time_point* handed, uint64_t* latencyUs) const;

    // Every sink of the server as a device, not yet opened, in the server's order. None (and
    // *error set) when no server answers.
    static std::vector<std::unique_ptr<OutputDevice>> Enumerate(std::string* error = nullptr);

private:
    // libpulse's main loop thread.
    static void OnContextState(pa_context* context, void* user);
    static void OnStreamState(pa_stream* stream, void* user);
    static void OnWrite(pa_stream* stream, size_t bytes, void* user);
    static void OnUnderflow(pa_stream* stream, void* user);
    void Write(pa_stream* stream, size_t bytes);
    void NoteProbe(pa_stream* stream, uint32_t frames);

    // Control thread: waits, the main loop lock released, until `ready` or the deadline.
    template <typename Ready>
    bool WaitUntil(Ready ready, std::chrono::steady_clock::time_point deadline);
    // Control thread, main loop lock not held: frees everything Open made.
    void Release();

    const PulseSinkInfo m_sink;
    pa_threaded_mainloop* m_loop = nullptr;    // control thread
    pa_context* m_context = nullptr;           // control thread; the loop thread in callbacks
    pa_stream* m_stream = nullptr;             // control thread; the loop thread in callbacks
    std::vector<int16_t> m_chunk;              // main loop thread; sized at construction
    std::atomic<bool> m_failed{false};         // set by the main loop thread
    std::atomic<uint64_t> m_underflows{0};     // main loop thread
    std::atomic<bool> m_realtimeTried{false};  // main loop thread; reset by Open
    std::atomic<uint32_t> m_periodFrames;      // written by Open
    BufferGrant m_grant;                       // control thread
    // The probe: armed by a control thread, filled once by the main loop thread.
    std::atomic<bool> m_probeArmed{false};
    std::atomic<int64_t> m_probeHandedNs{0};
    std::atomic<uint64_t> m_probeLatencyUs{0};
};
