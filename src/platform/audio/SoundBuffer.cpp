#include "platform/audio/SoundBuffer.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "platform/audio/DeviceMixer.h"
#include "platform/sync/AutoResetEvent.h"

namespace {

constexpr uint32_t kAllSegments = (1u << SoundBuffer::kSegments) - 1;

float GainOf(int32_t level) {
    if (level <= SoundBuffer::kVolumeMin) return 0.0f;
    if (level >= 0) return 1.0f;
    return static_cast<float>(std::pow(10.0, level / 2000.0));
}

uint32_t SegmentMask(uint32_t offset, uint32_t bytes) {
    if (bytes == 0) return 0;
    const uint32_t first = offset / SoundBuffer::kSegmentBytes;
    const uint32_t last = (offset + bytes - 1) / SoundBuffer::kSegmentBytes;
    uint32_t mask = 0;
    for (uint32_t s = first; s <= last && s < SoundBuffer::kSegments; ++s) mask |= 1u << s;
    return mask;
}

}  // namespace

std::array<SoundBufferNotify, SoundBuffer::kSegments> SoundBuffer::SegmentEndNotifications(
    std::span<AutoResetEvent* const, kSegments> events) {
    std::array<SoundBufferNotify, kSegments> positions{};
    for (uint32_t i = 0; i < kSegments; ++i) {
        positions[i] = SoundBufferNotify{kSegmentBytes - 1 + kSegmentBytes * i, events[i]};
    }
    return positions;
}

SoundBuffer::SoundBuffer()
    : m_mirror(new uint32_t[kFrames]()), m_ring(new std::atomic<uint32_t>[kFrames]) {
    for (uint32_t i = 0; i < kFrames; ++i) m_ring[i].store(0, std::memory_order_relaxed);
}

SoundBuffer::~SoundBuffer() {
    if (m_mixer != nullptr) m_mixer->Detach(this);
}

void SoundBuffer::SetMixer(DeviceMixer* mixer, std::shared_ptr<DeviceMixer> keepAlive) {
    m_mixer = mixer;
    m_mixerKeepAlive = std::move(keepAlive);
}

uint64_t SoundBuffer::PackLevels(int32_t volume, int32_t pan) {
    return static_cast<uint64_t>(static_cast<uint32_t>(volume)) |
           (static_cast<uint64_t>(static_cast<uint32_t>(pan)) << 32);
}

bool SoundBuffer::Lock(uint32_t offset, uint32_t bytes, void** ppvAudioPtr1,
                       uint32_t* pdwAudioBytes1, void** ppvAudioPtr2, uint32_t* pdwAudioBytes2) {
    if (ppvAudioPtr1 == nullptr || pdwAudioBytes1 == nullptr) return false;
    if (offset >= kBufferBytes || bytes == 0 || bytes > kBufferBytes) return false;
    auto* base = reinterpret_cast<uint8_t*>(m_mirror.get());
    const uint32_t first = std::min(bytes, kBufferBytes - offset);
    *ppvAudioPtr1 = base + offset;
    *pdwAudioBytes1 = first;
    if (ppvAudioPtr2 != nullptr && pdwAudioBytes2 != nullptr) {
        *ppvAudioPtr2 = first < bytes ? base : nullptr;
        *pdwAudioBytes2 = bytes - first;
    }
    return true;
}

bool SoundBuffer::Unlock(void* pvAudioPtr1, uint32_t dwAudioBytes1, void* pvAudioPtr2,
                         uint32_t dwAudioBytes2) {
    const auto* base = reinterpret_cast<const uint8_t*>(m_mirror.get());
    const void* pieces[2] = {pvAudioPtr1, pvAudioPtr2};
    const uint32_t sizes[2] = {dwAudioBytes1, dwAudioBytes2};
    // Check both pieces before publishing anything.
    for (int i = 0; i < 2; ++i) {
        if (pieces[i] == nullptr) {
            if (sizes[i] != 0) return false;
            continue;
        }
        const auto* p = static_cast<const uint8_t*>(pieces[i]);
        if (p < base || p >= base + kBufferBytes) return false;
        if (sizes[i] > static_cast<uint32_t>(base + kBufferBytes - p)) return false;
    }
    uint32_t refilled = 0;
    for (int i = 0; i < 2; ++i) {
        if (pieces[i] == nullptr || sizes[i] == 0) continue;
        const auto offset = static_cast<uint32_t>(static_cast<const uint8_t*>(pieces[i]) - base);
        const uint32_t firstFrame = offset / kBytesPerFrame;
        const uint32_t endFrame = (offset + sizes[i] + kBytesPerFrame - 1) / kBytesPerFrame;
        for (uint32_t f = firstFrame; f < endFrame; ++f) {
            m_ring[f].store(m_mirror[f], std::memory_order_relaxed);
        }
        refilled |= SegmentMask(offset, sizes[i]);
    }
    if (refilled != 0) {
        m_freshSegments.fetch_or(refilled, std::memory_order_release);
        m_awaitingSegments.fetch_and(~refilled, std::memory_order_release);
        NotifyRefillWaiters();
    }
    return true;
}

bool SoundBuffer::SetNotificationPositions(std::span<const SoundBufferNotify> positions) {
    if (positions.size() > kMaxNotifications) return false;
    if (GetStatus() & kStatusPlaying) return false;
    for (const SoundBufferNotify& p : positions) {
        if (p.dwOffset >= kBufferBytes || p.hEventNotify == nullptr) return false;
    }
    m_notificationCount.store(0, std::memory_order_release);
    for (size_t i = 0; i < positions.size(); ++i) {
        m_notifications[i].frame.store(positions[i].dwOffset / kBytesPerFrame,
                                       std::memory_order_relaxed);
        m_notifications[i].event.store(positions[i].hEventNotify, std::memory_order_relaxed);
    }
    m_notificationCount.store(static_cast<uint32_t>(positions.size()), std::memory_order_release);
    SetRefillsExpected(!positions.empty());
    return true;
}

bool SoundBuffer::Play(bool looping) {
    m_status.store(kStatusPlaying | (looping ? kStatusLooping : 0), std::memory_order_release);
    return true;
}

bool SoundBuffer::Stop() {
    m_status.store(0, std::memory_order_release);
    NotifyRefillWaiters();
    return true;
}

bool SoundBuffer::GetCurrentPosition(uint32_t* pdwCurrentPlayCursor,
                                     uint32_t* pdwCurrentWriteCursor) const {
    uint32_t frame = m_seekFrame.load(std::memory_order_acquire);
    if (frame == kNoSeek) frame = m_playFrame.load(std::memory_order_acquire);
    if (pdwCurrentPlayCursor != nullptr) *pdwCurrentPlayCursor = frame * kBytesPerFrame;
    if (pdwCurrentWriteCursor != nullptr) *pdwCurrentWriteCursor = frame * kBytesPerFrame;
    return true;
}

bool SoundBuffer::SetCurrentPosition(uint32_t offset) {
    if (offset >= kBufferBytes) return false;
    m_seekFrame.store(offset / kBytesPerFrame, std::memory_order_release);
    return true;
}

uint32_t SoundBuffer::GetStatus() const { return m_status.load(std::memory_order_acquire); }

bool SoundBuffer::UpdateLevels(bool setVolume, int32_t value) {
    uint64_t levels = m_levels.load(std::memory_order_relaxed);
    uint64_t updated = 0;
    do {
        const auto volume = static_cast<int32_t>(static_cast<uint32_t>(levels));
        const auto pan = static_cast<int32_t>(static_cast<uint32_t>(levels >> 32));
        updated = setVolume ? PackLevels(value, pan) : PackLevels(volume, value);
    } while (!m_levels.compare_exchange_weak(levels, updated, std::memory_order_relaxed));
    return true;
}

bool SoundBuffer::SetVolume(int32_t volume) {
    if (volume < kVolumeMin || volume > kVolumeMax) return false;
    return UpdateLevels(true, volume);
}

int32_t SoundBuffer::GetVolume() const {
    return static_cast<int32_t>(static_cast<uint32_t>(m_levels.load(std::memory_order_relaxed)));
}

bool SoundBuffer::SetPan(int32_t pan) {
    if (pan < kPanLeft || pan > kPanRight) return false;
    return UpdateLevels(false, pan);
}

int32_t SoundBuffer::GetPan() const {
    return static_cast<int32_t>(
        static_cast<uint32_t>(m_levels.load(std::memory_order_relaxed) >> 32));
}

void SoundBuffer::SetRefillsExpected(bool expected) {
    m_refillsExpected.store(expected, std::memory_order_release);
    NotifyRefillWaiters();
}

bool SoundBuffer::GetRefillsExpected() const {
    return m_refillsExpected.load(std::memory_order_acquire);
}

uint64_t SoundBuffer::GetUnderrunCount() const {
    return m_underruns.load(std::memory_order_relaxed);
}

void SoundBuffer::Abandon() {
    m_abandoned.store(true, std::memory_order_release);
    Stop();
    SetRefillsExpected(false);
    const uint32_t count = m_notificationCount.load(std::memory_order_acquire);
    for (uint32_t k = 0; k < count; ++k) {
        if (AutoResetEvent* event = m_notifications[k].event.load(std::memory_order_relaxed)) {
            event->Set();
        }
    }
}

bool SoundBuffer::SetOutputs(uint32_t first, uint32_t width) {
    if (width < 1 || width > 2 || first > 0xFFFFu) return false;
    m_firstOutput.store(first, std::memory_order_relaxed);
    m_outputWidth.store(width, std::memory_order_relaxed);
    return true;
}

void SoundBuffer::NotifyRefillWaiters() {
    { std::lock_guard<std::mutex> lock(m_refillMutex); }
    m_refillChanged.notify_all();
}

uint32_t SoundBuffer::MixInto(float* acc, uint32_t frames, uint32_t stride) {
    const uint32_t status = m_status.load(std::memory_order_acquire);
    if ((status & kStatusPlaying) == 0) return 0;
    const bool looping = (status & kStatusLooping) != 0;

    uint32_t cursor = m_seekFrame.exchange(kNoSeek, std::memory_order_acq_rel);
    if (cursor == kNoSeek) cursor = m_playFrame.load(std::memory_order_relaxed);

    const uint64_t levels = m_levels.load(std::memory_order_relaxed);
    if (levels != m_mixLevels) {
        const auto volume = static_cast<int32_t>(static_cast<uint32_t>(levels));
        const auto pan = static_cast<int32_t>(static_cast<uint32_t>(levels >> 32));
        m_mixLeft = GainOf(volume - std::max(pan, 0));
        m_mixRight = GainOf(volume - std::max(-pan, 0));
        m_mixLevels = levels;
    }
    const float left = m_mixLeft;
    const float right = m_mixRight;
    const bool audible =
        (left != 0.0f || right != 0.0f) && !m_silenced.load(std::memory_order_relaxed);
    const uint32_t first = m_firstOutput.load(std::memory_order_relaxed);
    const bool pair = m_outputWidth.load(std::memory_order_relaxed) == 2;

    const bool streaming = m_refillsExpected.load(std::memory_order_acquire);
    const uint32_t count = m_notificationCount.load(std::memory_order_acquire);
    uint32_t notifyFrames[kMaxNotifications];
    for (uint32_t k = 0; k < count; ++k) {
        notifyFrames[k] = m_notifications[k].frame.load(std::memory_order_relaxed);
    }

    uint32_t underruns = 0;
    uint32_t done = 0;
    while (done < frames) {
        const uint32_t segmentStart = cursor - cursor % kSegmentFrames;
        uint32_t end = segmentStart + kSegmentFrames;
        for (uint32_t k = 0; k < count; ++k) {
            const uint32_t boundary = notifyFrames[k] + 1;
            if (boundary > cursor && boundary < end) end = boundary;
        }
        const uint32_t n = std::min(frames - done, end - cursor);

        const uint32_t bit = 1u << (cursor / kSegmentFrames);
        if (cursor == segmentStart && streaming) {
            // A segment starts playing: it must have been refilled since it last played.
            if ((m_freshSegments.fetch_and(~bit, std::memory_order_acquire) & bit) == 0) {
                ++underruns;
                m_staleSegments |= bit;
            } else {
                m_staleSegments &= ~bit;
            }
        }
        // What a stale segment holds was heard a whole ring ago: silence is the lesser fault.
        const bool stale = streaming && (m_staleSegments & bit) != 0;

        if (audible && !stale) {
            float* out = acc + static_cast<size_t>(stride) * done + first;
            const std::atomic<uint32_t>* in = m_ring.get() + cursor;
            for (uint32_t j = 0; j < n; ++j, out += stride) {
                const uint32_t frame = in[j].load(std::memory_order_relaxed);
                const float l = static_cast<float>(static_cast<int16_t>(frame & 0xFFFFu)) * left;
                const float r = static_cast<float>(static_cast<int16_t>(frame >> 16)) * right;
                if (pair) {
                    out[0] += l;
                    out[1] += r;
                } else {
                    out[0] += 0.5f * (l + r);  // one speaker: both sides at the level of each
                }
            }
        }
        cursor += n;
        done += n;

        for (uint32_t k = 0; k < count; ++k) {
            if (notifyFrames[k] + 1 != cursor) continue;
            if (streaming) {
                m_awaitingSegments.fetch_or(1u << (notifyFrames[k] / kSegmentFrames),
                                            std::memory_order_acq_rel);
            }
            if (AutoResetEvent* event = m_notifications[k].event.load(std::memory_order_relaxed)) {
                event->Set();
            }
        }
        if (cursor == kFrames) {
            cursor = 0;
            if (!looping) {
                m_status.fetch_and(~kStatusPlaying, std::memory_order_acq_rel);
                break;
            }
        }
    }
    m_playFrame.store(cursor, std::memory_order_release);
    if (underruns != 0) m_underruns.fetch_add(underruns, std::memory_order_relaxed);
    return underruns;
}

uint32_t SoundBuffer::FramesToNextEvent(uint32_t limit) const {
    const uint32_t status = m_status.load(std::memory_order_acquire);
    if ((status & kStatusPlaying) == 0) return limit;
    uint32_t cursor = m_seekFrame.load(std::memory_order_acquire);
    if (cursor == kNoSeek) cursor = m_playFrame.load(std::memory_order_relaxed);
    uint32_t best = limit;
    if ((status & kStatusLooping) == 0) best = std::min(best, kFrames - cursor);
    const uint32_t count = m_notificationCount.load(std::memory_order_acquire);
    for (uint32_t k = 0; k < count; ++k) {
        const uint32_t boundary = m_notifications[k].frame.load(std::memory_order_relaxed) + 1;
        const uint32_t distance =
            boundary > cursor ? boundary - cursor : boundary + kFrames - cursor;
        best = std::min(best, distance);
    }
    return std::max<uint32_t>(best, 1);
}

bool SoundBuffer::WaitForRefills(std::chrono::milliseconds timeout) {
    std::unique_lock<std::mutex> lock(m_refillMutex);
    const auto settled = [this] {
        return (GetStatus() & kStatusPlaying) == 0 || !GetRefillsExpected() ||
               (m_awaitingSegments.load(std::memory_order_acquire) & kAllSegments) == 0;
    };
    if (m_refillChanged.wait_for(lock, timeout, settled)) return true;
    // The worker is gone or stuck: stop waiting for this buffer from now on.
    m_refillsExpected.store(false, std::memory_order_release);
    return false;
}
