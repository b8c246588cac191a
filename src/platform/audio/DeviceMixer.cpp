#include "platform/audio/DeviceMixer.h"

#include <algorithm>
#include <cmath>
#include <thread>

#include "platform/audio/RateConverter.h"
#include "platform/audio/SoundBuffer.h"

namespace {

// Frames of the 44100 Hz mix made per request of the rate converter. The converter runs ahead
// of the device by up to this much, and a Go waits for it: small, so that a device at 48 kHz
// with a period of 128 frames hears a Go as soon as one at 44.1 kHz does.
constexpr uint32_t kPullFrames = 64;

int16_t SaturateSample(float value) {
    if (value >= 32767.0f) return 32767;
    if (value <= -32768.0f) return -32768;
    return static_cast<int16_t>(std::lrintf(value));
}

// Marks a mixing pass (or an offline wait that reads the buffers) so that Detach can tell
// whether a pass may still hold a buffer pointer. The sequence is odd while a pass runs.
class PassGuard {
public:
    explicit PassGuard(std::atomic<uint64_t>& sequence) : m_sequence(sequence) {
        m_sequence.fetch_add(1, std::memory_order_seq_cst);
    }
    ~PassGuard() { m_sequence.fetch_add(1, std::memory_order_release); }
    PassGuard(const PassGuard&) = delete;
    PassGuard& operator=(const PassGuard&) = delete;

private:
    std::atomic<uint64_t>& m_sequence;
};

}  // namespace

DeviceMixer::DeviceMixer(uint32_t outputs, uint32_t deviceRate)
    : m_outputs(std::clamp<uint32_t>(outputs, 1, kMaxOutputs)),
      m_deviceRate(deviceRate == 0 ? kMixRate : deviceRate),
      m_acc(static_cast<size_t>(m_outputs) * kMaxFramesPerPass) {
    for (auto& slot : m_slots) slot.store(nullptr, std::memory_order_relaxed);
    if (m_deviceRate != kMixRate) {
        m_converted.resize(static_cast<size_t>(m_outputs) * kMaxFramesPerPass);
        m_converter = std::make_unique<RateConverter>(m_outputs, kMixRate, m_deviceRate,
                                                      &DeviceMixer::PullMix, this);
    }
}

bool DeviceMixer::IsReady() const { return !m_converter || m_converter->IsValid(); }

DeviceMixer::~DeviceMixer() {
    // Buffers that are still attached keep a pointer to this mixer only when it was not owned
    // by a shared_ptr; forget them so that their destructors do not call back into it.
    const uint32_t limit = m_slotLimit.load(std::memory_order_acquire);
    for (uint32_t i = 0; i < limit; ++i) {
        if (SoundBuffer* buffer = m_slots[i].load(std::memory_order_acquire)) {
            buffer->SetMixer(nullptr, nullptr);
        }
    }
}

bool DeviceMixer::Attach(SoundBuffer* buffer) {
    if (buffer == nullptr) return false;
    std::lock_guard<std::mutex> lock(m_attachMutex);
    if (buffer->m_mixer == this) return true;
    if (buffer->m_mixer != nullptr) return false;
    if (buffer->GetFirstOutput() + buffer->GetOutputWidth() > m_outputs) return false;
    for (uint32_t i = 0; i < kMaxBuffers; ++i) {
        if (m_slots[i].load(std::memory_order_relaxed) != nullptr) continue;
        buffer->SetMixer(this, weak_from_this().lock());
        m_slots[i].store(buffer, std::memory_order_seq_cst);
        if (i + 1 > m_slotLimit.load(std::memory_order_relaxed)) {
            m_slotLimit.store(i + 1, std::memory_order_release);
        }
        return true;
    }
    return false;
}

void DeviceMixer::Detach(SoundBuffer* buffer) {
    if (buffer == nullptr) return;
    {
        std::lock_guard<std::mutex> lock(m_attachMutex);
        if (buffer->m_mixer != this) return;
        const uint32_t limit = m_slotLimit.load(std::memory_order_relaxed);
        for (uint32_t i = 0; i < limit; ++i) {
            if (m_slots[i].load(std::memory_order_relaxed) == buffer) {
                m_slots[i].store(nullptr, std::memory_order_seq_cst);
                break;
            }
        }
        uint32_t newLimit = limit;
        while (newLimit > 0 && m_slots[newLimit - 1].load(std::memory_order_relaxed) == nullptr) {
            --newLimit;
        }
        m_slotLimit.store(newLimit, std::memory_order_release);
    }
    // A pass that started before the slot was cleared may still read the buffer: wait for it
    // to finish. A pass that starts later cannot see the buffer.
    const uint64_t sequence = m_passSequence.load(std::memory_order_seq_cst);
    if (sequence & 1) {
        // A pass lasts well under a millisecond: yield first, sleep only if it takes longer.
        for (int spins = 0; m_passSequence.load(std::memory_order_acquire) == sequence; ++spins) {
            if (spins < 1000) {
                std::this_thread::yield();
            } else {
                std::this_thread::sleep_for(std::chrono::microseconds(100));
            }
        }
    }
    // The buffer may hold the last reference to this mixer: drop it after the lock.
    std::shared_ptr<DeviceMixer> keepAlive;
    std::lock_guard<std::mutex> lock(m_attachMutex);
    keepAlive = std::move(buffer->m_mixerKeepAlive);
    buffer->SetMixer(nullptr, nullptr);
}

void DeviceMixer::AbandonAll() {
    // Under the attach lock no buffer can finish detaching, so none is freed meanwhile.
    std::lock_guard<std::mutex> lock(m_attachMutex);
    const uint32_t limit = m_slotLimit.load(std::memory_order_relaxed);
    for (uint32_t i = 0; i < limit; ++i) {
        if (SoundBuffer* buffer = m_slots[i].load(std::memory_order_relaxed)) buffer->Abandon();
    }
}

uint32_t DeviceMixer::GetAttachedCount() const {
    uint32_t count = 0;
    const uint32_t limit = m_slotLimit.load(std::memory_order_acquire);
    for (uint32_t i = 0; i < limit; ++i) {
        if (m_slots[i].load(std::memory_order_relaxed) != nullptr) ++count;
    }
    return count;
}

void DeviceMixer::ResetPassStatistics() { m_worstPassNs.store(0, std::memory_order_relaxed); }

void DeviceMixer::Mix(int16_t* out, uint32_t frames) {
    const auto started = std::chrono::steady_clock::now();
    const size_t stride = m_outputs;
    uint32_t done = 0;
    while (done < frames) {
        const uint32_t n = std::min(frames - done, kMaxFramesPerPass);
        int16_t* to = out + stride * done;
        if (m_converter) {
            const uint32_t got = m_converter->Read(m_converted.data(), n);
            // A converter that fails gives silence rather than stale or random samples.
            std::fill(m_converted.begin() + static_cast<std::ptrdiff_t>(stride * got),
                      m_converted.begin() + static_cast<std::ptrdiff_t>(stride * n), 0.0f);
            Saturate(m_converted.data(), to, n);
        } else {
            MixPass(n);
            m_framesMixed.fetch_add(n, std::memory_order_relaxed);
            Saturate(m_acc.data(), to, n);
        }
        done += n;
    }
    const auto elapsed = static_cast<uint64_t>(std::chrono::duration_cast<std::chrono::nanoseconds>(
                                                   std::chrono::steady_clock::now() - started)
                                                   .count());
    uint64_t worst = m_worstPassNs.load(std::memory_order_relaxed);
    while (elapsed > worst &&
           !m_worstPassNs.compare_exchange_weak(worst, elapsed, std::memory_order_relaxed)) {
    }
}

long DeviceMixer::PullMix(void* context, float** frames) {
    auto* self = static_cast<DeviceMixer*>(context);
    self->MixPass(kPullFrames);
    self->m_framesMixed.fetch_add(kPullFrames, std::memory_order_relaxed);
    *frames = self->m_acc.data();
    return kPullFrames;
}

void DeviceMixer::Saturate(const float* in, int16_t* out, uint32_t frames) {
    // The meters measure what the device is given: the peak and the sum of squares of each
    // output, added to atomics once per pass.
    std::array<float, kMaxOutputs> peak{};
    std::array<double, kMaxOutputs> squares{};
    const size_t outputs = m_outputs;
    for (size_t f = 0; f < frames; ++f) {
        for (size_t o = 0; o < outputs; ++o) {
            const size_t i = f * outputs + o;
            out[i] = SaturateSample(in[i]);
            const float sample = static_cast<float>(out[i]);
            peak[o] = std::max(peak[o], std::fabs(sample));
            squares[o] += static_cast<double>(sample) * sample;
        }
    }
    for (size_t o = 0; o < outputs; ++o) {
        float held = m_meterPeak[o].load(std::memory_order_relaxed);
        while (peak[o] > held &&
               !m_meterPeak[o].compare_exchange_weak(held, peak[o], std::memory_order_relaxed)) {
        }
        m_meterSquares[o].fetch_add(squares[o], std::memory_order_relaxed);
    }
    m_meterFrames.fetch_add(frames, std::memory_order_release);
}

DeviceMixer::Levels DeviceMixer::TakeLevels() {
    constexpr double kFullScale = 32768.0;
    Levels levels;
    levels.outputs = m_outputs;
    levels.frames = m_meterFrames.exchange(0, std::memory_order_acquire);
    for (size_t o = 0; o < m_outputs; ++o) {
        const float peak = m_meterPeak[o].exchange(0.0f, std::memory_order_relaxed);
        const double squares = m_meterSquares[o].exchange(0.0, std::memory_order_relaxed);
        levels.peak[o] = static_cast<float>(peak / kFullScale);
        if (levels.frames > 0) {
            levels.rms[o] = static_cast<float>(std::min(
                1.0, std::sqrt(squares / static_cast<double>(levels.frames)) / kFullScale));
        }
    }
    return levels;
}

void DeviceMixer::MixPass(uint32_t frames) {
    float* acc = m_acc.data();
    std::fill(acc, acc + static_cast<size_t>(m_outputs) * frames, 0.0f);
    uint32_t underruns = 0;
    {
        PassGuard pass(m_passSequence);
        const uint32_t limit = m_slotLimit.load(std::memory_order_acquire);
        for (uint32_t i = 0; i < limit; ++i) {
            if (SoundBuffer* buffer = m_slots[i].load(std::memory_order_seq_cst)) {
                underruns += buffer->MixInto(acc, frames, m_outputs);
            }
        }
    }
    if (underruns != 0) m_underruns.fetch_add(underruns, std::memory_order_relaxed);
}

uint32_t DeviceMixer::FramesToNextEvent(uint32_t limit) const {
    PassGuard pass(m_passSequence);
    uint32_t best = limit;
    const uint32_t slotLimit = m_slotLimit.load(std::memory_order_acquire);
    for (uint32_t i = 0; i < slotLimit; ++i) {
        if (const SoundBuffer* buffer = m_slots[i].load(std::memory_order_seq_cst)) {
            best = std::min(best, buffer->FramesToNextEvent(limit));
        }
    }
    return best;
}

bool DeviceMixer::WaitForRefills(std::chrono::milliseconds timeoutPerBuffer) {
    PassGuard pass(m_passSequence);
    bool allRefilled = true;
    const uint32_t limit = m_slotLimit.load(std::memory_order_acquire);
    for (uint32_t i = 0; i < limit; ++i) {
        if (SoundBuffer* buffer = m_slots[i].load(std::memory_order_seq_cst)) {
            if (!buffer->WaitForRefills(timeoutPerBuffer)) allRefilled = false;
        }
    }
    return allRefilled;
}
