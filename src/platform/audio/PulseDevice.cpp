#include "platform/audio/PulseDevice.h"

#include <pthread.h>
#include <pulse/context.h>
#include <pulse/error.h>
#include <pulse/stream.h>
#include <pulse/thread-mainloop.h>

#include <algorithm>
#include <limits>
#include <thread>

#include "platform/audio/DeviceMixer.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr uint64_t kUnknownLatency = std::numeric_limits<uint64_t>::max();
// The main loop thread's priority when the system grants real-time scheduling (as a sound
// server's own threads have); without that right it keeps its normal priority.
constexpr int kRealtimePriority = 70;

int64_t NowNs() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now().time_since_epoch())
        .count();
}

std::string PulseError(pa_context* context) {
    return pa_strerror(context != nullptr ? pa_context_errno(context) : PA_ERR_UNKNOWN);
}

}  // namespace

PulseDevice::PulseDevice(PulseSinkInfo sink)
    : OutputDevice(sink.description, std::min(sink.channels, kMaxOutputs), sink.rate),
      m_sink(std::move(sink)),
      m_chunk(static_cast<size_t>(GetOutputCount()) * kChunkFrames),
      m_periodFrames(static_cast<uint32_t>(uint64_t{GetSampleRate()} * kPeriodUs / 1000000)) {}

PulseDevice::~PulseDevice() { Close(); }

bool PulseDevice::IsOpen() const { return m_stream != nullptr; }

uint32_t PulseDevice::GetPeriodFrames() const {
    return m_periodFrames.load(std::memory_order_relaxed);
}

bool PulseDevice::IsLost() const {
    return m_loop != nullptr && m_failed.load(std::memory_order_acquire);
}

uint64_t PulseDevice::GetDropoutCount() const {
    return m_underflows.load(std::memory_order_relaxed);
}

template <typename Ready>
bool PulseDevice::WaitUntil(Ready ready, Clock::time_point deadline) {
    for (;;) {
        pa_threaded_mainloop_lock(m_loop);
        const int state = ready();  // 1 ready, -1 failed, 0 not yet
        pa_threaded_mainloop_unlock(m_loop);
        if (state != 0) return state > 0;
        if (Clock::now() > deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
}

bool PulseDevice::Open() {
    if (IsOpen() && !m_failed.load(std::memory_order_acquire)) return true;
    Release();
    if (!GetMixer()->IsReady()) {
        SetLastError("No rate converter to " + std::to_string(GetSampleRate()) + " Hz");
        return false;
    }
    m_failed.store(false, std::memory_order_release);
    m_realtimeTried.store(false, std::memory_order_relaxed);  // a new main loop thread
    const auto deadline = Clock::now() + std::chrono::milliseconds(kOpenTimeoutMs);

    m_loop = pa_threaded_mainloop_new();
    if (m_loop == nullptr || pa_threaded_mainloop_start(m_loop) < 0) {
        SetLastError("PulseAudio: cannot start the main loop");
        Release();
        return false;
    }
    pa_threaded_mainloop_lock(m_loop);
    m_context = pa_context_new(pa_threaded_mainloop_get_api(m_loop), "Marvane");
    bool connecting = m_context != nullptr;
    if (connecting) {
        pa_context_set_state_callback(m_context, &PulseDevice::OnContextState, this);
        // Never start a server of our own: the operator's (or the desktop's) is the one to use.
        connecting = pa_context_connect(m_context, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) >= 0;
    }
    pa_threaded_mainloop_unlock(m_loop);
    const bool connected = connecting && WaitUntil(
                                             [this] {
                                                 const auto s = pa_context_get_state(m_context);
                                                 if (s == PA_CONTEXT_READY) return 1;
                                                 return PA_CONTEXT_IS_GOOD(s) ? 0 : -1;
                                             },
                                             deadline);
    if (!connected) {
        pa_threaded_mainloop_lock(m_loop);
        const std::string why = PulseError(m_context);
        pa_threaded_mainloop_unlock(m_loop);
        SetLastError("PulseAudio: no server (" + why + ")");
        Release();
        return false;
    }

    pa_threaded_mainloop_lock(m_loop);
    pa_sample_spec sampleFormat{};
    sampleFormat.format = PA_SAMPLE_S16NE;
    sampleFormat.rate = GetSampleRate();
    sampleFormat.channels = static_cast<uint8_t>(GetOutputCount());
    pa_channel_map map{};
    map.channels = sampleFormat.channels;
    const bool sinkMap = m_sink.positions.size() == sampleFormat.channels;
    for (size_t i = 0; sinkMap && i < m_sink.positions.size(); ++i) {
        map.map[i] = static_cast<pa_channel_position_t>(m_sink.positions[i]);
    }
    if (!sinkMap || pa_channel_map_valid(&map) == 0) {
        pa_channel_map_init_extend(&map, sampleFormat.channels, PA_CHANNEL_MAP_DEFAULT);
    }
    m_stream = pa_stream_new(m_context, "Marvane", &sampleFormat, &map);
    bool streaming = m_stream != nullptr;
    if (streaming) {
        pa_stream_set_state_callback(m_stream, &PulseDevice::OnStreamState, this);
        pa_stream_set_write_callback(m_stream, &PulseDevice::OnWrite, this);
        pa_stream_set_underflow_callback(m_stream, &PulseDevice::OnUnderflow, this);
        pa_buffer_attr attr{};
        attr.maxlength = std::numeric_limits<uint32_t>::max();  // the server's default
        attr.tlength = static_cast<uint32_t>(pa_usec_to_bytes(kTargetLatencyUs, &sampleFormat));
        attr.minreq = static_cast<uint32_t>(pa_usec_to_bytes(kPeriodUs, &sampleFormat));
        // After an underflow, playback resumes as soon as one period is there again.
        attr.prebuf = attr.minreq;
        attr.fragsize = std::numeric_limits<uint32_t>::max();
        // The stream stays on its sink (DONT_MOVE): a removed sink ends it rather than moving
        // its cues to other speakers.
        const auto flags =
            static_cast<pa_stream_flags_t>(PA_STREAM_ADJUST_LATENCY | PA_STREAM_INTERPOLATE_TIMING |
                                           PA_STREAM_AUTO_TIMING_UPDATE | PA_STREAM_DONT_MOVE);
        streaming = pa_stream_connect_playback(m_stream, m_sink.name.c_str(), &attr, flags, nullptr,
                                               nullptr) >= 0;
    }
    pa_threaded_mainloop_unlock(m_loop);
    const bool ready =
        streaming && WaitUntil(
                         [this] {
                             if (!PA_CONTEXT_IS_GOOD(pa_context_get_state(m_context))) {
                                 return -1;
                             }
                             const auto s = pa_stream_get_state(m_stream);
                             if (s == PA_STREAM_READY) return 1;
                             return PA_STREAM_IS_GOOD(s) ? 0 : -1;
                         },
                         deadline);
    if (!ready) {
        pa_threaded_mainloop_lock(m_loop);
        const std::string why = PulseError(m_context);
        pa_threaded_mainloop_unlock(m_loop);
        SetLastError("PulseAudio: cannot play on " + m_sink.name + " (" + why + ")");
        Release();
        return false;
    }

    pa_threaded_mainloop_lock(m_loop);
    m_grant = BufferGrant{};
    if (const pa_buffer_attr* granted = pa_stream_get_buffer_attr(m_stream)) {
        m_grant.maxlength = granted->maxlength;
        m_grant.tlength = granted->tlength;
        m_grant.prebuf = granted->prebuf;
        m_grant.minreq = granted->minreq;
        const uint32_t frameBytes = static_cast<uint32_t>(pa_frame_size(&sampleFormat));
        m_periodFrames.store(std::max<uint32_t>(1, granted->minreq / frameBytes),
                             std::memory_order_relaxed);
    }
    pa_threaded_mainloop_unlock(m_loop);
    return true;
}

void PulseDevice::Close() {
    Release();
    m_failed.store(false, std::memory_order_release);
}

void PulseDevice::Release() {
    if (m_loop == nullptr) return;
    pa_threaded_mainloop_lock(m_loop);
    if (m_stream != nullptr) {
        // No callback may reach this device once the lock is released.
        pa_stream_set_state_callback(m_stream, nullptr, nullptr);
        pa_stream_set_write_callback(m_stream, nullptr, nullptr);
        pa_stream_set_underflow_callback(m_stream, nullptr, nullptr);
        if (PA_STREAM_IS_GOOD(pa_stream_get_state(m_stream))) pa_stream_disconnect(m_stream);
        pa_stream_unref(m_stream);
        m_stream = nullptr;
    }
    if (m_context != nullptr) {
        pa_context_set_state_callback(m_context, nullptr, nullptr);
        pa_context_disconnect(m_context);
        pa_context_unref(m_context);
        m_context = nullptr;
    }
    pa_threaded_mainloop_unlock(m_loop);
    pa_threaded_mainloop_stop(m_loop);
    pa_threaded_mainloop_free(m_loop);
    m_loop = nullptr;
}

PulseDevice::BufferGrant PulseDevice::GetBufferGrant() const {
    if (m_loop == nullptr || m_stream == nullptr) return {};
    BufferGrant grant = m_grant;
    pa_threaded_mainloop_lock(m_loop);
    if (const pa_timing_info* timing = pa_stream_get_timing_info(m_stream)) {
        grant.sinkLatencyUs = timing->sink_usec;
    }
    pa_threaded_mainloop_unlock(m_loop);
    return grant;
}

bool PulseDevice::GetServerLatencyUs(uint64_t* latencyUs) const {
    if (m_loop == nullptr || m_stream == nullptr) return false;
    pa_usec_t usec = 0;
    int negative = 0;
    pa_threaded_mainloop_lock(m_loop);
    const bool known = pa_stream_get_latency(m_stream, &usec, &negative) >= 0;
    pa_threaded_mainloop_unlock(m_loop);
    if (!known) return false;
    *latencyUs = negative != 0 ? 0 : usec;
    return true;
}

void PulseDevice::ArmProbe() {
    m_probeHandedNs.store(0, std::memory_order_relaxed);
    m_probeLatencyUs.store(kUnknownLatency, std::memory_order_relaxed);
    m_probeArmed.store(true, std::memory_order_release);
}

bool PulseDevice::TakeProbe(Clock::time_point* handed, uint64_t* latencyUs) const {
    const int64_t ns = m_probeHandedNs.load(std::memory_order_acquire);
    if (ns == 0) return false;
    *handed = Clock::time_point(std::chrono::nanoseconds(ns));
    *latencyUs = m_probeLatencyUs.load(std::memory_order_relaxed);
    return true;
}

void PulseDevice::OnContextState(pa_context* context, void* user) {
    auto* self = static_cast<PulseDevice*>(user);
    if (!PA_CONTEXT_IS_GOOD(pa_context_get_state(context))) {
        self->m_failed.store(true, std::memory_order_release);
    }
}

void PulseDevice::OnStreamState(pa_stream* stream, void* user) {
    auto* self = static_cast<PulseDevice*>(user);
    if (!PA_STREAM_IS_GOOD(pa_stream_get_state(stream))) {
        self->m_failed.store(true, std::memory_order_release);
    }
}

void PulseDevice::OnUnderflow(pa_stream* /*stream*/, void* user) {
    static_cast<PulseDevice*>(user)->m_underflows.fetch_add(1, std::memory_order_relaxed);
}

void PulseDevice::OnWrite(pa_stream* stream, size_t bytes, void* user) {
    static_cast<PulseDevice*>(user)->Write(stream, bytes);
}

void PulseDevice::Write(pa_stream* stream, size_t bytes) {
    if (!m_realtimeTried.exchange(true, std::memory_order_relaxed)) {
        sched_param param{};
        param.sched_priority = kRealtimePriority;
        pthread_setschedparam(pthread_self(), SCHED_FIFO, &param);  // refused: normal priority
    }
    DeviceMixer& mixer = *GetMixer();
    const size_t frameBytes = sizeof(int16_t) * GetOutputCount();
    size_t frames = bytes / frameBytes;
    while (frames > 0) {
        const auto n = static_cast<uint32_t>(std::min<size_t>(frames, kChunkFrames));
        mixer.Mix(m_chunk.data(), n);
        if (m_probeArmed.load(std::memory_order_acquire)) NoteProbe(stream, n);
        if (pa_stream_write(stream, m_chunk.data(), n * frameBytes, nullptr, 0, PA_SEEK_RELATIVE) <
            0) {
            m_failed.store(true, std::memory_order_release);
            return;
        }
        frames -= n;
    }
}

void PulseDevice::NoteProbe(pa_stream* stream, uint32_t frames) {
    const size_t samples = static_cast<size_t>(frames) * GetOutputCount();
    const auto first =
        std::find_if(m_chunk.begin(), m_chunk.begin() + samples, [](int16_t s) { return s != 0; });
    if (first == m_chunk.begin() + samples) return;
    const auto offset = static_cast<uint64_t>(first - m_chunk.begin()) / GetOutputCount();
    // What the server holds before this write plays first, then the frames ahead of the sound.
    pa_usec_t usec = 0;
    int negative = 0;
    uint64_t latency = kUnknownLatency;
    if (pa_stream_get_latency(stream, &usec, &negative) >= 0) {
        latency = (negative != 0 ? 0 : usec) + offset * 1000000 / GetSampleRate();
    }
    m_probeLatencyUs.store(latency, std::memory_order_relaxed);
    m_probeHandedNs.store(NowNs(), std::memory_order_release);
    m_probeArmed.store(false, std::memory_order_relaxed);
}

std::vector<std::unique_ptr<OutputDevice>> PulseDevice::Enumerate(std::string* error) {
    std::vector<std::unique_ptr<OutputDevice>> devices;
    for (PulseSinkInfo& sink : ListPulseSinks(error)) {
        devices.push_back(std::make_unique<PulseDevice>(std::move(sink)));
    }
    return devices;
}
