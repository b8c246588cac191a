#include "platform/audio/OfflineDevice.h"

#include <gtest/gtest.h>

#include <array>
#include <atomic>
#include <chrono>
#include <random>
#include <thread>
#include <vector>

#include "AudioTestSupport.h"
#include "platform/audio/DeviceMixer.h"
#include "platform/audio/SoundBuffer.h"
#include "platform/sync/AutoResetEvent.h"

using namespace std::chrono_literals;

namespace {

// A stand-in for a player's worker: fills the whole ring, then refills one segment per
// notification with the continuation of a counting signal (frame n has the value n % 20000),
// after a random delay, until it has written `framesToWrite` frames; then it stops
// refilling (and, if told to, says so).
class CountingWorker {
public:
    CountingWorker(OfflineDevice& device, uint32_t framesToWrite, unsigned seed, int maxDelayUs)
        : m_buffer(device.CreateBuffer()),
          m_framesToWrite(framesToWrite),
          m_random(seed),
          m_maxDelayUs(maxDelayUs) {
        for (size_t i = 0; i < m_events.size(); ++i) m_list[i] = &m_events[i];
        EXPECT_TRUE(
            m_buffer->SetNotificationPositions(SoundBuffer::SegmentEndNotifications(m_list)));
        Refill(0, SoundBuffer::kBufferBytes);
    }
    ~CountingWorker() { Join(); }

    void Start(bool announceEnd) {
        m_buffer->Play(true);
        m_thread = std::thread([this, announceEnd] {
            while (m_written < m_framesToWrite && !m_quit.load()) {
                const int segment = WaitForAny(m_list, 20);
                if (segment < 0) continue;
                if (m_maxDelayUs > 0) {
                    std::uniform_int_distribution<int> delay(0, m_maxDelayUs);
                    std::this_thread::sleep_for(std::chrono::microseconds(delay(m_random)));
                }
                Refill(static_cast<uint32_t>(segment) * SoundBuffer::kSegmentBytes,
                       SoundBuffer::kSegmentBytes);
            }
            if (announceEnd) m_buffer->SetRefillsExpected(false);
        });
    }
    void Join() {
        m_quit.store(true);
        if (m_thread.joinable()) m_thread.join();
    }
    SoundBuffer& Buffer() { return *m_buffer; }

private:
    void Refill(uint32_t offset, uint32_t bytes) {
        FillRegion(*m_buffer, offset, bytes, [this](uint32_t, int16_t* l, int16_t* r) {
            *l = static_cast<int16_t>(m_written % 20000);
            *r = static_cast<int16_t>(-static_cast<int32_t>(m_written % 20000));
            ++m_written;
        });
    }

    std::array<AutoResetEvent, 8> m_events;  // outlive the buffer
    std::unique_ptr<SoundBuffer> m_buffer;
    std::array<AutoResetEvent*, 8> m_list{};
    uint32_t m_framesToWrite;
    uint32_t m_written = 0;  // worker thread after Start
    std::mt19937 m_random;
    int m_maxDelayUs;
    std::atomic<bool> m_quit{false};
    std::thread m_thread;
};

// Renders in uneven pieces, as a command-driven render does.
std::vector<int16_t> RenderInPieces(OfflineDevice& device, uint32_t frames) {
    std::vector<int16_t> out;
    const uint32_t pieces[] = {1, 777, 2048, 4096, 333, 5000};
    uint32_t done = 0;
    for (size_t i = 0; done < frames; ++i) {
        const uint32_t n = std::min(pieces[i % 6], frames - done);
        const std::vector<int16_t> part = device.Render(n);
        out.insert(out.end(), part.begin(), part.end());
        done += n;
    }
    return out;
}

}  // namespace

// However late the worker refills, the render is the uninterrupted signal: the renderer waited
// for every refill before mixing past the next notification.
TEST(OfflineDeviceTest, RenderWaitsForEachRefillSoSlowWorkersStillGiveTheExactSignal) {
    constexpr uint32_t kFrames = 30 * SoundBuffer::kSegmentFrames;
    std::vector<int16_t> first;
    for (unsigned seed : {1u, 2u}) {
        OfflineDevice device("offline");
        CountingWorker worker(device, kFrames + SoundBuffer::kFrames, seed, 3000);
        worker.Start(true);
        const std::vector<int16_t> out = RenderInPieces(device, kFrames);
        worker.Join();
        for (uint32_t n = 0; n < kFrames; ++n) {
            ASSERT_EQ(out[2 * n], static_cast<int16_t>(n % 20000)) << "frame " << n;
            ASSERT_EQ(out[2 * n + 1], -static_cast<int16_t>(n % 20000)) << "frame " << n;
        }
        EXPECT_EQ(worker.Buffer().GetUnderrunCount(), 0u);
        EXPECT_EQ(device.GetRefillTimeouts(), 0u);
        EXPECT_EQ(device.GetFramesRendered(), kFrames);
        if (first.empty()) {
            first = out;
        } else {
            EXPECT_EQ(out, first);
        }
    }
}

// A worker that is gone must not hang the render: one bounded wait, then the buffer plays on
// without waiting; a worker that says it is done costs no wait at all.
TEST(OfflineDeviceTest, AVanishedWorkerCostsOneBoundedWaitAndAnAnnouncedEndNone) {
    {
        OfflineDevice device("offline");
        device.SetRefillTimeout(100ms);
        CountingWorker worker(device, 2 * SoundBuffer::kSegmentFrames, 3, 0);
        worker.Start(false);
        const auto start = std::chrono::steady_clock::now();
        device.Render(4 * SoundBuffer::kFrames);
        EXPECT_LT(std::chrono::steady_clock::now() - start, 5s);
        EXPECT_EQ(device.GetRefillTimeouts(), 1u);
        EXPECT_FALSE(worker.Buffer().GetRefillsExpected());
    }
    {
        OfflineDevice device("offline");
        device.SetRefillTimeout(10s);
        CountingWorker worker(device, 2 * SoundBuffer::kSegmentFrames, 4, 0);
        worker.Start(true);
        const auto start = std::chrono::steady_clock::now();
        device.Render(4 * SoundBuffer::kFrames);
        EXPECT_LT(std::chrono::steady_clock::now() - start, 5s);
        EXPECT_EQ(device.GetRefillTimeouts(), 0u);
    }
}
