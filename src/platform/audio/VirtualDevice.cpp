#include "platform/audio/VirtualDevice.h"

#include <chrono>
#include <vector>

#include "platform/audio/DeviceMixer.h"
#include "platform/audio/WavCaptureWriter.h"

VirtualDevice::VirtualDevice(std::string description, std::string capturePath,
                             uint32_t periodFrames)
    : OutputDevice(std::move(description)),
      m_capturePath(std::move(capturePath)),
      m_periodFrames(periodFrames == 0 ? kDefaultPeriodFrames : periodFrames) {}

VirtualDevice::~VirtualDevice() { Close(); }

bool VirtualDevice::Open() {
    if (IsOpen()) return true;
    if (!m_capturePath.empty()) {
        auto capture = std::make_unique<WavCaptureWriter>(m_capturePath);
        std::string error;
        if (!capture->Open(&error)) {
            SetLastError(error);
            return false;
        }
        m_capture = std::move(capture);
    }
    m_stop.store(false, std::memory_order_relaxed);
    m_thread = std::thread(&VirtualDevice::ClockLoop, this);
    return true;
}

void VirtualDevice::Close() {
    if (m_thread.joinable()) {
        m_stop.store(true, std::memory_order_relaxed);
        m_thread.join();
    }
    if (m_capture) {
        m_capture->Close();
        m_capture.reset();
    }
}

uint64_t VirtualDevice::GetDroppedCaptureFrames() const {
    return m_capture ? m_capture->GetDroppedFrames() : 0;
}

void VirtualDevice::ClockLoop() {
    using Clock = std::chrono::steady_clock;
    std::vector<int16_t> period(2 * static_cast<size_t>(m_periodFrames));
    DeviceMixer& mixer = *GetMixer();
    const auto periodLength = std::chrono::nanoseconds(static_cast<int64_t>(m_periodFrames) *
                                                       1'000'000'000LL / kSampleRate);

    // The schedule is kept in frames from a starting instant so that it does not drift.
    auto start = Clock::now();
    uint64_t frames = 0;
    while (!m_stop.load(std::memory_order_relaxed)) {
        mixer.Mix(period.data(), m_periodFrames);
        if (m_capture) m_capture->Push(period.data(), m_periodFrames);
        frames += m_periodFrames;
        const auto due = start + std::chrono::nanoseconds(
                                     static_cast<int64_t>(frames * 1'000'000'000ULL / kSampleRate));
        const auto now = Clock::now();
        if (now > due + periodLength) {
            m_latePeriods.fetch_add(1, std::memory_order_relaxed);
            if (now > due + 8 * periodLength) {
                // Far behind (the machine stalled): start a new schedule instead of racing.
                start = now;
                frames = 0;
            }
            continue;
        }
        std::this_thread::sleep_until(due);
    }
}
