// Devices of many outputs and other rates: which outputs a buffer reaches, how a mono output
// takes a stereo cue, and that a cue keeps its pitch and level on a device at 48 or 96 kHz.
#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <cmath>
#include <fstream>
#include <iterator>
#include <numbers>
#include <thread>
#include <vector>

#include "AudioTestSupport.h"
#include "platform/audio/DeviceMixer.h"
#include "platform/audio/OfflineDevice.h"
#include "platform/audio/OutputDeviceFactory.h"
#include "platform/audio/SoundBuffer.h"
#include "platform/audio/VirtualDevice.h"

using namespace std::chrono_literals;

namespace {

std::unique_ptr<SoundBuffer> Constant(OutputDevice& device, uint32_t first, uint32_t width,
                                      int16_t left, int16_t right) {
    auto buffer = device.CreateBuffer(first, width);
    EXPECT_TRUE(buffer) << "outputs " << first << "+" << width;
    if (!buffer) return nullptr;
    EXPECT_TRUE(FillConstant(*buffer, left, right));
    EXPECT_TRUE(buffer->Play(true));
    return buffer;
}

// One mixed frame of every output.
std::vector<int16_t> OneFrame(OutputDevice& device) {
    std::vector<int16_t> frame(device.GetOutputCount());
    device.GetMixer()->Mix(frame.data(), 1);
    return frame;
}

// A 1 kHz sine at 44.1 kHz filling the whole ring, played once (not looped).
std::unique_ptr<SoundBuffer> Sine(OutputDevice& device, double amplitude) {
    auto buffer = device.CreateBuffer();
    EXPECT_TRUE(
        FillRegion(*buffer, 0, SoundBuffer::kBufferBytes, [&](uint32_t k, int16_t* l, int16_t* r) {
            const double x = std::sin(2 * std::numbers::pi * 1000.0 * k / 44100);
            *l = *r = static_cast<int16_t>(std::lrint(amplitude * x));
        }));
    EXPECT_TRUE(buffer->Play(false));
    return buffer;
}

// Frequency by rising zero crossings (interpolated) and peak level of a mono signal.
void Measure(const std::vector<float>& s, double rate, double* hz, double* peak) {
    double first = -1;
    double last = -1;
    int crossings = 0;
    *peak = 0;
    for (size_t i = 1; i < s.size(); ++i) {
        *peak = std::max(*peak, static_cast<double>(std::fabs(s[i])));
        if (s[i - 1] < 0 && s[i] >= 0) {
            const double at = static_cast<double>(i - 1) + s[i - 1] / (s[i - 1] - s[i]);
            if (first < 0) first = at;
            last = at;
            ++crossings;
        }
    }
    *hz = crossings > 1 ? (crossings - 1) * rate / (last - first) : 0;
}

}  // namespace

// Each buffer reaches exactly its own pair of an 8-output device; buffers on one pair add up.
TEST(MultichannelMixTest, BuffersReachOnlyTheirOwnPairAndSharePairsBySumming) {
    OfflineDevice device("Interface", 8);
    ASSERT_EQ(device.GetOutputCount(), 8u);
    auto a = Constant(device, 0, 2, 100, 200);
    auto b = Constant(device, 2, 2, 300, 400);
    auto c = Constant(device, 6, 2, 500, 600);
    auto d = Constant(device, 6, 2, 1000, -1000);
    EXPECT_EQ(OneFrame(device), (std::vector<int16_t>{100, 200, 300, 400, 0, 0, 1500, -400}));

    // Pan and volume stay per buffer on its own pair.
    ASSERT_TRUE(b->SetVolume(SoundBuffer::kVolumeMin));
    ASSERT_TRUE(c->SetPan(SoundBuffer::kPanRight));
    EXPECT_EQ(OneFrame(device), (std::vector<int16_t>{100, 200, 0, 0, 0, 0, 1000, -400}));

    // A buffer is refused where its outputs do not all exist, and by a stereo device beyond 0/1.
    EXPECT_FALSE(device.CreateBuffer(7, 2));
    EXPECT_FALSE(device.CreateBuffer(8, 1));
    OfflineDevice stereo("Desk");
    EXPECT_FALSE(stereo.CreateBuffer(2, 2));
    EXPECT_TRUE(stereo.CreateBuffer(0, 2));
}

// The odd last output of a 5-output device plays the average of both sides, after pan.
TEST(MultichannelMixTest, AMonoOutputTakesBothSidesOfACue) {
    OfflineDevice device("Odd", 5);
    auto pair = Constant(device, 2, 2, 10, 20);
    auto mono = Constant(device, 4, 1, 1000, 3000);
    EXPECT_EQ(OneFrame(device), (std::vector<int16_t>{0, 0, 10, 20, 2000}));
    ASSERT_TRUE(mono->SetPan(SoundBuffer::kPanLeft));  // the right side silent
    EXPECT_EQ(OneFrame(device), (std::vector<int16_t>{0, 0, 10, 20, 500}));

    // A mono device: its one output, also for a buffer that asks for a pair.
    OfflineDevice single("Radio", 1);
    auto onRadio = Constant(single, 0, 2, 4000, 0);
    EXPECT_EQ(OneFrame(single), (std::vector<int16_t>{2000}));
}

// At 48 and 96 kHz a 1 kHz cue stays 1 kHz at its level, and the device's clock takes the
// 44.1 kHz mix at the pace of real time (the cue lasts as long as it should).
TEST(MultichannelMixTest, ADeviceAtAnotherRateHearsTheCueAtItsPitchLevelAndLength) {
    for (const uint32_t rate : {48000u, 96000u}) {
        SCOPED_TRACE(rate);
        VirtualDevice device("Hi-res", {}, 256, 2, rate);  // never opened: mixed by hand
        ASSERT_TRUE(device.GetMixer()->IsReady());
        auto sine = Sine(device, 10000);
        const uint32_t frames = rate / 4;  // a quarter second, within the ring's 0.37 s
        std::vector<int16_t> out(2 * static_cast<size_t>(frames));
        for (uint32_t done = 0; done < frames; done += 1000) {
            device.GetMixer()->Mix(out.data() + 2 * done, std::min(1000u, frames - done));
        }
        std::vector<float> left;
        for (uint32_t i = frames / 10; i < frames; ++i) left.push_back(out[2 * i]);
        double hz = 0;
        double peak = 0;
        Measure(left, rate, &hz, &peak);
        EXPECT_NEAR(hz, 1000.0, 2.0);
        EXPECT_NEAR(peak, 10000.0, 150.0);
        const double mixed = static_cast<double>(device.GetMixer()->GetFramesMixed()) / 44100;
        EXPECT_NEAR(mixed, 0.25, 0.02);  // the converter reads a little ahead
    }
}

TEST(MultichannelMixTest, VirtualDevicesTakeAnOutputCountAndARate) {
    auto s = OutputDeviceFactory::ParseSelection("virtual:2x8@48000:/tmp/cap:x");
    ASSERT_TRUE(s);
    EXPECT_EQ(s->virtualCount, 2);
    EXPECT_EQ(s->virtualOutputs, 8);
    EXPECT_EQ(s->virtualRate, 48000);
    EXPECT_EQ(s->capturePrefix, "/tmp/cap:x");
    s = OutputDeviceFactory::ParseSelection("virtual:3");
    ASSERT_TRUE(s);
    EXPECT_EQ(s->virtualOutputs, 2);
    EXPECT_EQ(s->virtualRate, 44100);
    s = OutputDeviceFactory::ParseSelection("virtual:1x64@96000");
    ASSERT_TRUE(s);
    EXPECT_EQ(s->virtualOutputs, 64);

    for (const char* bad :
         {"virtual:2x0", "virtual:2x65", "virtual:x8", "virtual:2x", "virtual:2@", "virtual:2@7999",
          "virtual:2@192001", "virtual:2x8@48k", "virtual:2@48000x8"}) {
        std::string error;
        EXPECT_FALSE(OutputDeviceFactory::ParseSelection(bad, &error)) << bad;
        EXPECT_NE(error.find("MARVANE_AUDIO"), std::string::npos) << bad;
    }

    const auto devices = OutputDeviceFactory::CreateCandidates(
        *OutputDeviceFactory::ParseSelection("virtual:2x5@96000"));
    ASSERT_EQ(devices.size(), 2u);
    EXPECT_EQ(devices[1]->GetOutputCount(), 5u);
    EXPECT_EQ(devices[1]->GetSampleRate(), 96000u);
}

// An 8-output capture at 48 kHz is an 8-channel 48 kHz WAV file with the cue on its pair only.
TEST(MultichannelMixTest, AVirtualCaptureHasEveryOutputOfTheDevice) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const std::string path = dir.filePath("cap-0.wav").toStdString();
    {
        VirtualDevice device("Virtual output 1", path, 256, 8, 48000);
        auto buffer = Constant(device, 4, 2, 3000, -3000);
        ASSERT_TRUE(device.Open());
        std::this_thread::sleep_for(300ms);
        device.Close();
    }
    std::ifstream in(path, std::ios::binary);
    const std::vector<char> file{std::istreambuf_iterator<char>(in),
                                 std::istreambuf_iterator<char>()};
    ASSERT_GT(file.size(), 44u + 16 * 4800);
    const auto le = [&](size_t at, int bytes) {
        uint32_t v = 0;
        for (int i = bytes - 1; i >= 0; --i) v = (v << 8) | static_cast<uint8_t>(file[at + i]);
        return v;
    };
    EXPECT_EQ(le(22, 2), 8u);
    EXPECT_EQ(le(24, 4), 48000u);
    EXPECT_EQ(le(28, 4), 48000u * 16);
    EXPECT_EQ(le(32, 2), 16u);
    EXPECT_EQ(le(40, 4) % 16, 0u);
    // Past the converter's first milliseconds: outputs 5/6 carry the cue, the rest nothing.
    const size_t frame = 44 + 16 * 2400;
    for (uint32_t k = 0; k < 8; ++k) {
        const auto sample = static_cast<int16_t>(le(frame + 2 * k, 2));
        if (k == 4) {
            EXPECT_NEAR(sample, 3000, 30);
        } else if (k == 5) {
            EXPECT_NEAR(sample, -3000, 30);
        } else {
            EXPECT_EQ(sample, 0) << "output " << k + 1;
        }
    }
}
