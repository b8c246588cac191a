#include "platform/audio/DeviceMixer.h"

#include <gtest/gtest.h>

#include <array>
#include <atomic>
#include <memory>
#include <thread>
#include <vector>

#include "AudioTestSupport.h"
#include "platform/audio/OfflineDevice.h"
#include "platform/audio/SoundBuffer.h"
#include "platform/sync/AutoResetEvent.h"

namespace {

struct Frame {
    int16_t left;
    int16_t right;
};

std::vector<Frame> MixFrames(DeviceMixer& mixer, uint32_t frames) {
    std::vector<int16_t> samples(2 * static_cast<size_t>(frames));
    mixer.Mix(samples.data(), frames);
    std::vector<Frame> out(frames);
    for (uint32_t i = 0; i < frames; ++i) out[i] = {samples[2 * i], samples[2 * i + 1]};
    return out;
}

class DeviceMixerTest : public ::testing::Test {
protected:
    std::unique_ptr<SoundBuffer> NewBuffer(int16_t left, int16_t right) {
        auto buffer = m_device.CreateBuffer();
        EXPECT_TRUE(buffer);
        EXPECT_TRUE(FillConstant(*buffer, left, right));
        return buffer;
    }
    DeviceMixer& Mixer() { return *m_device.GetMixer(); }

    OfflineDevice m_device{"test"};
};

}  // namespace

// Golden levels: gain = 10^(level / 2000), pan attenuates the opposite side, rounded to nearest.
TEST_F(DeviceMixerTest, VolumeAndPanGiveTheGoldenLevels) {
    auto buffer = NewBuffer(10000, -10000);
    ASSERT_TRUE(buffer->Play(true));

    EXPECT_EQ(MixFrames(Mixer(), 1)[0].left, 10000);  // full level is exact

    struct Case {
        int32_t volume;
        int32_t pan;
        int16_t left;
        int16_t right;
    };
    const Case cases[] = {
        {-600, 0, 5012, -5012},     // -6 dB: 0.501187
        {0, 1000, 3162, -10000},    // pan right by 10 dB: left at 0.316228
        {0, -2000, 10000, -1000},   // pan left by 20 dB: right at 0.1
        {-2000, 2000, 100, -1000},  // both: left -40 dB, right -20 dB
        {0, 10000, 0, -10000},      // full right: left silent
        {-10000, 0, 0, 0},          // silence
        {-9999, 0, 0, 0},           // nearly silent rounds to 0
    };
    for (const Case& c : cases) {
        ASSERT_TRUE(buffer->SetVolume(c.volume));
        ASSERT_TRUE(buffer->SetPan(c.pan));
        const Frame f = MixFrames(Mixer(), 1)[0];
        EXPECT_EQ(f.left, c.left) << c.volume << " " << c.pan;
        EXPECT_EQ(f.right, c.right) << c.volume << " " << c.pan;
    }

    // Out of range is refused and keeps the level.
    ASSERT_TRUE(buffer->SetVolume(-600));
    ASSERT_TRUE(buffer->SetPan(0));
    EXPECT_FALSE(buffer->SetVolume(1));
    EXPECT_FALSE(buffer->SetVolume(-10001));
    EXPECT_FALSE(buffer->SetPan(10001));
    EXPECT_EQ(buffer->GetVolume(), -600);
    EXPECT_EQ(buffer->GetPan(), 0);
    EXPECT_EQ(MixFrames(Mixer(), 1)[0].left, 5012);
}

TEST_F(DeviceMixerTest, SumsSaturateInsteadOfWrapping) {
    auto a = NewBuffer(30000, -30000);
    auto b = NewBuffer(30000, -30000);
    auto c = NewBuffer(-1000, 1000);
    a->Play(true);
    b->Play(true);
    Frame f = MixFrames(Mixer(), 1)[0];
    EXPECT_EQ(f.left, 32767);
    EXPECT_EQ(f.right, -32768);
    c->Play(true);
    f = MixFrames(Mixer(), 1)[0];  // 59000 is still saturated
    EXPECT_EQ(f.left, 32767);
    b->Stop();
    f = MixFrames(Mixer(), 1)[0];
    EXPECT_EQ(f.left, 29000);
    EXPECT_EQ(f.right, -29000);
}

// The ring plays frame after frame, wraps when looping, and stops at its end otherwise.
TEST_F(DeviceMixerTest, PlayCursorWrapsWhenLoopingAndStopsOtherwise) {
    auto buffer = m_device.CreateBuffer();
    ASSERT_TRUE(
        FillRegion(*buffer, 0, SoundBuffer::kBufferBytes, [](uint32_t k, int16_t* l, int16_t* r) {
            *l = static_cast<int16_t>(k % 30000);
            *r = static_cast<int16_t>(-static_cast<int32_t>(k % 30000));
        }));
    ASSERT_TRUE(buffer->SetCurrentPosition(4 * 16380));
    ASSERT_TRUE(buffer->Play(true));
    std::vector<Frame> out = MixFrames(Mixer(), 8);
    const int16_t expected[] = {16380 % 30000, 16381, 16382, 16383, 0, 1, 2, 3};
    for (int i = 0; i < 8; ++i) {
        EXPECT_EQ(out[i].left, expected[i]) << i;
        EXPECT_EQ(out[i].right, -expected[i]) << i;
    }
    uint32_t play = 0;
    buffer->GetCurrentPosition(&play, nullptr);
    EXPECT_EQ(play, 16u);
    EXPECT_EQ(buffer->GetStatus(), SoundBuffer::kStatusPlaying | SoundBuffer::kStatusLooping);

    // Not looping: plays to the end of the ring, then silence and a stopped buffer.
    buffer->Stop();
    buffer->SetCurrentPosition(4 * 16382);
    buffer->Play(false);
    out = MixFrames(Mixer(), 4);
    EXPECT_EQ(out[0].left, 16382);
    EXPECT_EQ(out[1].left, 16383);
    EXPECT_EQ(out[2].left, 0);
    EXPECT_EQ(out[3].left, 0);
    EXPECT_EQ(buffer->GetStatus(), 0u);
}

TEST_F(DeviceMixerTest, LockSplitsAWrappingRegionAndUnlockRefusesForeignPointers) {
    auto buffer = m_device.CreateBuffer();
    void* p1 = nullptr;
    void* p2 = nullptr;
    uint32_t n1 = 0;
    uint32_t n2 = 0;
    ASSERT_TRUE(buffer->Lock(57344 + 4096, 8192, &p1, &n1, &p2, &n2));
    EXPECT_EQ(n1, 4096u);
    EXPECT_EQ(n2, 4096u);
    ASSERT_NE(p2, nullptr);
    EXPECT_EQ(static_cast<uint8_t*>(p1) - static_cast<uint8_t*>(p2), 61440);
    EXPECT_TRUE(buffer->Unlock(p1, n1, p2, n2));

    ASSERT_TRUE(buffer->Lock(0, 8192, &p1, &n1, &p2, &n2));
    EXPECT_EQ(n1, 8192u);
    EXPECT_EQ(p2, nullptr);
    EXPECT_EQ(n2, 0u);
    int16_t foreign[4] = {};
    EXPECT_FALSE(buffer->Unlock(foreign, sizeof foreign, nullptr, 0));
    EXPECT_FALSE(buffer->Unlock(p1, SoundBuffer::kBufferBytes + 4, nullptr, 0));

    EXPECT_FALSE(buffer->Lock(SoundBuffer::kBufferBytes, 4, &p1, &n1, &p2, &n2));
    EXPECT_FALSE(buffer->Lock(0, 0, &p1, &n1, &p2, &n2));
    EXPECT_FALSE(buffer->Lock(0, SoundBuffer::kBufferBytes + 1, &p1, &n1, &p2, &n2));
}

// Event i fires once playback has passed byte 8191 + 8192 i, in the pass that passes it.
TEST_F(DeviceMixerTest, NotificationsFireWhenTheCursorPassesTheEndOfEachSegment) {
    std::array<AutoResetEvent, 8> events;
    std::array<AutoResetEvent*, 8> list{};
    for (size_t i = 0; i < 8; ++i) list[i] = &events[i];
    auto buffer = NewBuffer(1, 1);
    const auto positions = SoundBuffer::SegmentEndNotifications(list);
    EXPECT_EQ(positions[0].dwOffset, 8191u);
    EXPECT_EQ(positions[7].dwOffset, 65535u);
    ASSERT_TRUE(buffer->SetNotificationPositions(positions));
    ASSERT_TRUE(buffer->Play(true));

    MixFrames(Mixer(), 2047);
    EXPECT_EQ(WaitForAny(list, 0), kWaitTimeout);
    MixFrames(Mixer(), 1);
    EXPECT_EQ(WaitForAny(list, 0), 0);
    EXPECT_EQ(WaitForAny(list, 0), kWaitTimeout);

    // One long pass over several boundaries signals each of them.
    MixFrames(Mixer(), 3 * 2048 + 5);
    EXPECT_EQ(WaitForAny(list, 0), 1);
    EXPECT_EQ(WaitForAny(list, 0), 2);
    EXPECT_EQ(WaitForAny(list, 0), 3);
    EXPECT_EQ(WaitForAny(list, 0), kWaitTimeout);

    // Across the wrap: segment 7 fires at the end of the ring, then segment 0 again.
    MixFrames(Mixer(), 16384 - 4 * 2048 - 5 + 2048);
    // Auto-reset events are reported lowest index first.
    EXPECT_EQ(WaitForAny(list, 0), 0);
    for (int i = 4; i < 8; ++i) EXPECT_EQ(WaitForAny(list, 0), i);
    EXPECT_EQ(WaitForAny(list, 0), kWaitTimeout);

    // Positions cannot change while playing, nor take more than eight entries.
    EXPECT_FALSE(buffer->SetNotificationPositions(positions));
    buffer->Stop();
    std::vector<SoundBufferNotify> tooMany(9, SoundBufferNotify{0, &events[0]});
    EXPECT_FALSE(buffer->SetNotificationPositions(tooMany));
    EXPECT_FALSE(buffer->SetNotificationPositions(
        std::vector<SoundBufferNotify>{{SoundBuffer::kBufferBytes, &events[0]}}));
}

// A segment that starts playing again before the worker refilled it is an underrun.
TEST_F(DeviceMixerTest, CountsSegmentsPlayedBeforeTheyWereRefilled) {
    std::array<AutoResetEvent, 8> events;
    std::array<AutoResetEvent*, 8> list{};
    for (size_t i = 0; i < 8; ++i) list[i] = &events[i];
    auto buffer = NewBuffer(5, 5);
    ASSERT_TRUE(buffer->SetNotificationPositions(SoundBuffer::SegmentEndNotifications(list)));
    buffer->Play(true);

    // A worker that keeps up: refill each segment after its notification.
    for (int round = 0; round < 24; ++round) {
        MixFrames(Mixer(), 1024);
        for (int signalled; (signalled = WaitForAny(list, 0)) >= 0;) {
            ASSERT_TRUE(FillRegion(*buffer, signalled * 8192, 8192,
                                   [](uint32_t, int16_t* l, int16_t* r) { *l = *r = 5; }));
        }
    }
    EXPECT_EQ(buffer->GetUnderrunCount(), 0u);

    // The worker stops refilling (a read that hangs): the ring plays what it was given, then
    // every segment that comes round again is stale and falls silent, however long it lasts,
    // in passes of any size.
    const auto allAt = [](const std::vector<Frame>& frames, int16_t value) {
        for (const Frame& f : frames) {
            if (f.left != value || f.right != value) return false;
        }
        return true;
    };
    EXPECT_TRUE(allAt(MixFrames(Mixer(), 16384), 5));
    EXPECT_EQ(buffer->GetUnderrunCount(), 0u);
    EXPECT_TRUE(allAt(MixFrames(Mixer(), 16384), 0));
    EXPECT_EQ(buffer->GetUnderrunCount(), 8u);
    EXPECT_EQ(Mixer().GetUnderrunCount(), 8u);
    for (int pass = 0; pass < 64; ++pass) ASSERT_TRUE(allAt(MixFrames(Mixer(), 500), 0)) << pass;

    // A segment refilled while the ring plays silent sounds from its next start on; the others
    // stay silent.
    uint32_t playByte = 0;
    uint32_t writeByte = 0;
    ASSERT_TRUE(buffer->GetCurrentPosition(&playByte, &writeByte));
    const uint32_t at = playByte / 4;  // frame 40192 % 16384, in segment 3
    ASSERT_EQ(at, 7424u);
    ASSERT_TRUE(
        FillRegion(*buffer, 0, 8192, [](uint32_t, int16_t* l, int16_t* r) { *l = *r = 7; }));
    const std::vector<Frame> next = MixFrames(Mixer(), 16384);
    const auto part = [&](uint32_t from, uint32_t to) {
        return std::vector<Frame>(next.begin() + from, next.begin() + to);
    };
    EXPECT_TRUE(allAt(part(0, 16384 - at), 0));                  // segments 3 to 7
    EXPECT_TRUE(allAt(part(16384 - at, 16384 - at + 2048), 7));  // segment 0, refilled
    EXPECT_TRUE(allAt(part(16384 - at + 2048, 16384), 0));       // segments 1 to 3

    // A buffer without notifications is not streamed and never underruns.
    auto still = NewBuffer(1, 1);
    still->Play(true);
    MixFrames(Mixer(), 3 * 16384);
    EXPECT_EQ(still->GetUnderrunCount(), 0u);
}

TEST_F(DeviceMixerTest, VolumeChangesApplyFromTheNextPass) {
    auto buffer = NewBuffer(20000, 20000);
    buffer->Play(true);
    EXPECT_EQ(MixFrames(Mixer(), 4)[3].left, 20000);
    buffer->SetVolume(-2000);
    const std::vector<Frame> out = MixFrames(Mixer(), 4);
    EXPECT_EQ(out[0].left, 2000);
    EXPECT_EQ(out[3].left, 2000);
}

TEST_F(DeviceMixerTest, RefusesBuffersBeyondItsCapacity) {
    std::vector<std::unique_ptr<SoundBuffer>> buffers;
    for (uint32_t i = 0; i < DeviceMixer::kMaxBuffers; ++i) {
        buffers.push_back(m_device.CreateBuffer());
        ASSERT_TRUE(buffers.back());
    }
    EXPECT_EQ(Mixer().GetAttachedCount(), DeviceMixer::kMaxBuffers);
    EXPECT_FALSE(m_device.CreateBuffer());
    buffers.erase(buffers.begin() + 7);
    EXPECT_TRUE(m_device.CreateBuffer());  // the freed slot is reused
    buffers.clear();
    EXPECT_EQ(Mixer().GetAttachedCount(), 0u);
}

// Buffers come and go while the device thread mixes: a buffer must never be read after it was
// destroyed (the sanitizer builds catch a use after free here).
TEST(DeviceMixerRetireTest, BuffersCanBeDestroyedWhileTheDeviceMixes) {
    auto device = std::make_unique<OfflineDevice>("test");
    std::shared_ptr<DeviceMixer> mixer = device->GetMixer();
    std::atomic<bool> stop{false};
    std::thread deviceThread([&] {
        std::vector<int16_t> out(2 * 256);
        while (!stop.load()) mixer->Mix(out.data(), 256);
    });
    for (int i = 0; i < 120; ++i) {
        std::vector<std::unique_ptr<SoundBuffer>> buffers;
        for (int j = 0; j < 4; ++j) {
            buffers.push_back(device->CreateBuffer());
            ASSERT_TRUE(buffers.back());
            buffers.back()->Play(true);
        }
        if (i == 60) {
            device.reset();  // the device may go before its buffers
            break;
        }
    }
    stop.store(true);
    deviceThread.join();
    EXPECT_EQ(mixer->GetAttachedCount(), 0u);
}
