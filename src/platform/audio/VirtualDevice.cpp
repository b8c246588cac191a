#include "platform/audio/VirtualDevice.h"

#include <pthread.h>
#include <sched.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <chrono>
#include <vector>

#include "platform/audio/DeviceMixer.h"
#include "platform/audio/WavCaptureWriter.h"

VirtualDevice::VirtualDevice(std::string description, std::string capturePath,
                             uint32_t periodFrames, uint32_t outputs, uint32_t rate)
    : OutputDevice(std::move(description), outputs, rate),
      m_capturePath(std::move(capturePath)),
      m_periodFrames(periodFrames == 0 ? kDefaultPeriodFrames : periodFrames) {}

VirtualDevice::~VirtualDevice() { Close(); }

bool VirtualDevice::Open() {
    if (IsOpen()) return true;
    if (!GetMixer()->IsReady()) {
        SetLastError("No rate converter to " + std::to_string(GetSampleRate()) + " Hz");
        return false;
    }
    if (!m_capturePath.empty()) {
        auto capture =
            std::make_unique<WavCaptureWriter>(m_capturePath, GetOutputCount(), GetSampleRate());
        if (m_timeMarks) capture->SetTimeMarksPath(GetTimeMarksPath());
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

std::string VirtualDevice::GetTimeMarksPath() const {
    if (m_capturePath.empty()) return {};
    const std::string wav = ".wav";
    const bool hasWav =
        m_capturePath.size() > wav.size() &&
        m_capturePath.compare(m_capturePath.size() - wav.size(), wav.size(), wav) == 0;
    return (hasWav ? m_capturePath.substr(0, m_capturePath.size() - wav.size()) : m_capturePath) +
           ".times";
}

uint64_t VirtualDevice::GetDroppedCaptureFrames() const {
    return m_capture ? m_capture->GetDroppedFrames() : 0;
}

namespace {

// Clock thread: like a sound card's callback thread, run ahead of the players' workers so that
// a busy machine delays a refill rather than the device. Real-time scheduling where the system
// allows it, else the highest nice level it grants; neither is required.
void RaiseClockPriority() {
    sched_param param{};
    param.sched_priority = 10;
    if (pthread_setschedparam(pthread_self(), SCHED_FIFO, &param) == 0) return;
    for (int nice = -15; nice < 0; nice += 5) {
        if (setpriority(PRIO_PROCESS, static_cast<id_t>(::syscall(SYS_gettid)), nice) == 0) return;
    }
}

}  // namespace

void VirtualDevice::ClockLoop() {
    RaiseClockPriority();
    using Clock = std::chrono::steady_clock;
    std::vector<int16_t> period(static_cast<size_t>(GetOutputCount()) * m_periodFrames);
    DeviceMixer& mixer = *GetMixer();
    const uint64_t rate = GetSampleRate();
    const auto periodLength = std::chrono::nanoseconds(
        static_cast<int64_t>(m_periodFrames) * 1'000'000'000LL / static_cast<int64_t>(rate));

    const bool marks = m_capture && m_capture->HasTimeMarks();
    // The schedule is kept in frames from a starting instant so that it does not drift.
    auto start = Clock::now();
    uint64_t frames = 0;
    while (!m_stop.load(std::memory_order_relaxed)) {
        const auto passStart = Clock::now();
        // The mix of this pass is what sounds from now on (a clock read, no system call).
        if (marks)
            m_capture->MarkTime(std::chrono::duration_cast<std::chrono::nanoseconds>(
                                    std::chrono::system_clock::now().time_since_epoch())
                                    .count());
        mixer.Mix(period.data(), m_periodFrames);
        if (m_capture) m_capture->Push(period.data(), m_periodFrames);
        frames += m_periodFrames;
        const auto due = start + std::chrono::nanoseconds(
                                     static_cast<int64_t>(frames * 1'000'000'000ULL / rate));
        const auto now = Clock::now();
        if (now - passStart > periodLength || now > due + 8 * periodLength) {
            // Overloaded (a pass longer than a period) or far behind after a stall: start a new
            // schedule one period from now rather than race to catch up, which at real-time
            // priority would starve every other thread of this core.
            m_latePeriods.fetch_add(1, std::memory_order_relaxed);
            start = now + periodLength;
            frames = 0;
            std::this_thread::sleep_until(start);
            continue;
        }
        if (now > due + periodLength) {
            m_latePeriods.fetch_add(1, std::memory_order_relaxed);
            continue;  // a little behind: catch up
        }
        std::this_thread::sleep_until(due);
    }
}
