// The audio output: channels from the devices that open, names, and the buffer factory.
#include <gtest/gtest.h>

#include "engine/CSoundOutput.h"
#include "platform/audio/AudioTestSupport.h"
#include "platform/audio/DeviceMixer.h"
#include "platform/audio/OfflineDevice.h"
#include "platform/audio/SoundBuffer.h"
#include "platform/sync/AutoResetEvent.h"

namespace {

// An offline device that refuses to open, as a busy or unplugged sound card does.
class BrokenDevice : public OfflineDevice {
public:
    using OfflineDevice::OfflineDevice;
    bool Open() override { return false; }
};

std::vector<std::unique_ptr<OutputDevice>> Devices(std::initializer_list<const char*> names) {
    std::vector<std::unique_ptr<OutputDevice>> devices;
    for (const char* name : names) {
        if (name[0] == '!') {
            devices.push_back(std::make_unique<BrokenDevice>(name + 1));
        } else {
            devices.push_back(std::make_unique<OfflineDevice>(name));
        }
    }
    return devices;
}

TEST(SoundOutput, NumbersTheDevicesThatOpenWithoutGaps) {
    CSoundOutput output;
    ASSERT_TRUE(output.Initialize(Devices({"Desk", "!Broken", "Stage"})));
    QStringList names{"kept"};
    output.GetChannelNames(names);
    EXPECT_EQ(names, (QStringList{"kept", "0 - Desk", "1 - Stage"}));
    EXPECT_EQ(output.GetChannelCount(), 2);

    EXPECT_TRUE(output.GetFailureHint().isEmpty());

    // When nothing opens, the hint names the device that refused or, with none at all, says
    // that no server answered; both say how to rehearse without sound.
    CSoundOutput nothing;
    EXPECT_FALSE(nothing.Initialize(Devices({"!A", "!B"})));
    EXPECT_TRUE(nothing.GetFailureHint().startsWith("B: "))
        << nothing.GetFailureHint().toStdString();
    EXPECT_TRUE(
        nothing.GetFailureHint().endsWith("MARVANE_AUDIO=virtual:2 to rehearse without sound."));
    EXPECT_FALSE(nothing.Initialize({}));
    EXPECT_TRUE(nothing.GetFailureHint().startsWith("No sound server answered"));
    names.clear();
    nothing.GetChannelNames(names);
    EXPECT_TRUE(names.isEmpty());
}

TEST(SoundOutput, CreatesBuffersOnTheChannelsDeviceOrOnChannelZero) {
    CSoundOutput output;
    ASSERT_TRUE(output.Initialize(Devices({"A", "B"})));
    std::array<std::unique_ptr<AutoResetEvent>, 8> owned;
    std::array<AutoResetEvent*, 8> events{};
    for (int i = 0; i < 8; ++i) {
        owned[i] = std::make_unique<AutoResetEvent>();
        events[i] = owned[i].get();
    }
    const auto attached = [&](int channel) {
        return output.GetDevice(channel)->GetMixer()->GetAttachedCount();
    };
    std::vector<std::unique_ptr<SoundBuffer>> buffers;
    for (const int channel : {1, -1, 2, 0}) {
        QString error = "unchanged";
        buffers.push_back(output.CreateBuffer(channel, events, &error));
        ASSERT_NE(buffers.back(), nullptr);
        EXPECT_EQ(error, "unchanged");
    }
    EXPECT_EQ(attached(1), 1u);
    EXPECT_EQ(attached(0), 3u);

    // The notifications fire at the last byte of each segment, event i for segment i.
    auto* device = static_cast<OfflineDevice*>(output.GetDevice(1));
    SoundBuffer& buffer = *buffers.front();
    buffer.SetRefillsExpected(false);  // nobody refills in this test
    ASSERT_TRUE(buffer.Play(true));
    for (int segment = 0; segment < 8; ++segment) {
        device->Render(2047);
        for (int i = 0; i < 8; ++i) EXPECT_FALSE(owned[i]->Wait(0)) << segment << " " << i;
        device->Render(1);
        for (int i = 0; i < 8; ++i) EXPECT_EQ(owned[i]->Wait(0), i == segment) << segment;
    }
    buffers.clear();

    output.ReleaseDevices();
    EXPECT_EQ(output.GetChannelCount(), 0);
    output.ReleaseDevices();
    QString error;
    EXPECT_EQ(output.CreateBuffer(0, events, &error), nullptr);
    EXPECT_EQ(error, "DirectX failed to create secondary buffer");
}

TEST(SoundOutput, RefusesABufferWhoseNotificationsCannotBeSet) {
    CSoundOutput output;
    ASSERT_TRUE(output.Initialize(Devices({"A"})));
    std::array<AutoResetEvent*, 8> events{};  // no events at all
    QString error;
    EXPECT_EQ(output.CreateBuffer(0, events, &error), nullptr);
    EXPECT_EQ(error, "DirectX failed to create secondary buffer");
    EXPECT_EQ(output.GetDevice(0)->GetMixer()->GetAttachedCount(), 0u);
}

// Stereo devices keep one channel each, named as before; an 8-output and a 5-output device
// offer their pairs (and the odd last output) in device order; a cue reaches only its pair,
// and a channel number this machine lacks still plays on channel 0.
TEST(SoundOutput, MultichannelDevicesOfferOneChannelPerPairWithoutRenumberingStereoOnes) {
    CSoundOutput output;
    std::vector<std::unique_ptr<OutputDevice>> devices;
    devices.push_back(std::make_unique<OfflineDevice>("Desk"));
    devices.push_back(std::make_unique<OfflineDevice>("Studio Interface", 8));
    devices.push_back(std::make_unique<OfflineDevice>("Odd", 5));
    devices.push_back(std::make_unique<OfflineDevice>("Radio", 1));
    ASSERT_TRUE(output.Initialize(std::move(devices)));
    QStringList names;
    output.GetChannelNames(names);
    EXPECT_EQ(names,
              (QStringList{"0 - Desk", "1 - Studio Interface 1/2", "2 - Studio Interface 3/4",
                           "3 - Studio Interface 5/6", "4 - Studio Interface 7/8", "5 - Odd 1/2",
                           "6 - Odd 3/4", "7 - Odd 5", "8 - Radio"}));
    EXPECT_EQ(output.GetDeviceCount(), 4);
    EXPECT_EQ(output.GetDevice(3), output.GetDeviceAt(1));

    std::array<std::unique_ptr<AutoResetEvent>, 8> owned;
    std::array<AutoResetEvent*, 8> events{};
    for (int i = 0; i < 8; ++i) {
        owned[i] = std::make_unique<AutoResetEvent>();
        events[i] = owned[i].get();
    }
    struct Case {
        int channel;
        std::vector<int16_t> frame;
    };
    const Case cases[] = {
        {3, {0, 0, 0, 0, 700, 900, 0, 0}},
        {2, {0, 0, 700, 900, 0, 0, 0, 0}},
    };
    for (const Case& c : cases) {
        auto buffer = output.CreateBuffer(c.channel, events);
        ASSERT_NE(buffer, nullptr);
        buffer->SetRefillsExpected(false);
        ASSERT_TRUE(FillConstant(*buffer, 700, 900));
        ASSERT_TRUE(buffer->Play(true));
        auto* device = static_cast<OfflineDevice*>(output.GetDevice(c.channel));
        EXPECT_EQ(device->Render(1), c.frame) << "channel " << c.channel;
    }
    auto mono = output.CreateBuffer(7, events);
    ASSERT_NE(mono, nullptr);
    EXPECT_EQ(mono->GetFirstOutput(), 4u);
    EXPECT_EQ(mono->GetOutputWidth(), 1u);
    auto stray = output.CreateBuffer(9, events);
    ASSERT_NE(stray, nullptr);
    EXPECT_EQ(output.GetDevice(0)->GetMixer()->GetAttachedCount(), 1u);
}

TEST(SoundOutput, OutputFormatIs44kStereo16Bit) {
    const WaveFormat& f = theSoundOutput.GetFormat();
    EXPECT_EQ(f.wFormatTag, 1);
    EXPECT_EQ(f.nChannels, 2);
    EXPECT_EQ(f.nSamplesPerSec, 44100u);
    EXPECT_EQ(f.nAvgBytesPerSec, 176400u);
    EXPECT_EQ(f.nBlockAlign, 4);
    EXPECT_EQ(f.wBitsPerSample, 16);
}

}  // namespace
