// The audio output: channels from the devices that open, names, and the buffer factory.
#include <gtest/gtest.h>

#include "engine/CSoundOutput.h"
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

    CSoundOutput nothing;
    EXPECT_FALSE(nothing.Initialize(Devices({"!A", "!B"})));
    EXPECT_FALSE(nothing.Initialize({}));
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
