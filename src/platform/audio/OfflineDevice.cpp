#include "platform/audio/OfflineDevice.h"

#include <algorithm>

#include "platform/audio/DeviceMixer.h"

OfflineDevice::OfflineDevice(std::string description, uint32_t outputs)
    : OutputDevice(std::move(description), outputs) {}

OfflineDevice::~OfflineDevice() = default;

bool OfflineDevice::Open() {
    m_open = true;
    return true;
}

void OfflineDevice::Close() { m_open = false; }

void OfflineDevice::Render(int16_t* out, uint32_t frames) {
    DeviceMixer& mixer = *GetMixer();
    uint32_t done = 0;
    while (done < frames) {
        // Mix up to the next notification of any playing buffer, and before going on let every
        // worker finish the refill its last notification asked for, as it would have in time.
        if (!mixer.WaitForRefills(m_refillTimeout)) ++m_refillTimeouts;
        const uint32_t limit = std::min(frames - done, DeviceMixer::kMaxFramesPerPass);
        const uint32_t n = mixer.FramesToNextEvent(limit);
        mixer.Mix(out + static_cast<size_t>(GetOutputCount()) * done, n);
        done += n;
    }
}

std::vector<int16_t> OfflineDevice::Render(uint32_t frames) {
    std::vector<int16_t> out(static_cast<size_t>(GetOutputCount()) * frames);
    Render(out.data(), frames);
    return out;
}

uint64_t OfflineDevice::GetFramesRendered() const { return GetMixer()->GetFramesMixed(); }
