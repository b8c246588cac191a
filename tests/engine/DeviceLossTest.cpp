// A device lost and found during the show: its cues end as if killed, cues fired meanwhile fail
// with a clear message, the other devices play on, and it comes back under the same channels.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "engine/EngineRig.h"
#include "platform/audio/VirtualDevice.h"
#include "support/WaitUntil.h"

using namespace testwav;
using namespace std::chrono_literals;

namespace {

// A virtual device that can be unplugged and plugged in again, as a USB interface can. While
// unplugged its clock stops (nothing asks for refills) and it cannot be opened.
class UnpluggableDevice : public VirtualDevice {
public:
    UnpluggableDevice(std::string name, uint32_t outputs)
        : VirtualDevice(std::move(name), {}, kDefaultPeriodFrames, outputs) {}
    bool Open() override { return !m_unplugged && VirtualDevice::Open(); }
    bool IsLost() const override { return m_unplugged && IsOpen(); }
    void Unplug() {
        // The clock stops as a dead server's callbacks do.
        VirtualDevice::Close();
        m_unplugged = true;
    }
    void PlugIn() { m_unplugged = false; }
    bool IsOpen() const override { return VirtualDevice::IsOpen() || m_openInName; }
    void Close() override {
        m_openInName = false;
        VirtualDevice::Close();
    }
    // After Unplug the owner still believes the device open until it notices the loss.
    void MarkStillBelievedOpen() { m_openInName = true; }

private:
    std::atomic<bool> m_unplugged{false};
    bool m_openInName = false;
};

}  // namespace

TEST(DeviceLoss, CuesOnALostDeviceEndAndItComesBackUnderTheSameChannels) {
    CSoundOutput output;
    std::vector<std::unique_ptr<OutputDevice>> devices;
    devices.push_back(std::make_unique<VirtualDevice>("Desk"));
    auto interface = std::make_unique<UnpluggableDevice>("Interface", 4);
    UnpluggableDevice* usb = interface.get();
    devices.push_back(std::move(interface));
    ASSERT_TRUE(output.Initialize(std::move(devices)));
    ASSERT_EQ(output.GetChannelCount(), 3);  // Desk, Interface 1/2, Interface 3/4
    EXPECT_TRUE(output.Poll().empty());

    EngineRig rig;
    CQRecord* onDesk = rig.WavCue("desk.wav", Ramp16(400000, 2, 44100));
    CQRecord* onUsb = rig.WavCue("usb.wav", Ramp16(400000, 2, 44100), CQRecord::kFlagLooped);
    onUsb->m_nChannel = 2;
    CCuePlayer desk(onDesk, 0, rig.log, output);
    auto usbPlayer = std::make_unique<CCuePlayer>(onUsb, 0, rig.log, output);
    desk.Start();
    usbPlayer->Start();
    ASSERT_TRUE(WaitUntil([&] { return usbPlayer->GetFramesPlayed() >= 2 * 2048; }, 5s));

    usb->Unplug();
    usb->MarkStillBelievedOpen();
    const auto changes = output.Poll();
    ASSERT_EQ(changes.size(), 1u);
    EXPECT_TRUE(changes[0].lost);
    EXPECT_EQ(changes[0].name, "Interface");
    EXPECT_TRUE(output.IsChannelLost(1));
    EXPECT_TRUE(output.IsChannelLost(2));
    EXPECT_FALSE(output.IsChannelLost(0));

    // The looped cue on the lost device ends as if killed, soon, not never.
    EXPECT_TRUE(rig.log->WaitFor(usbPlayer.get(), PLAYER_ENDED, 2s));
    usbPlayer.reset();
    // A cue fired on it meanwhile fails, and says why.
    CCuePlayer refused(onUsb, 0, rig.log, output);
    EXPECT_TRUE(refused.IsFailed());
    EXPECT_EQ(refused.GetFailureMessage(), "Output lost: Interface");
    // The other device plays on.
    const uint64_t before = desk.GetFramesPlayed();
    EXPECT_TRUE(WaitUntil([&] { return desk.GetFramesPlayed() > before + 4096; }, 3s));

    // Still gone: nothing changes. Back: reopened within the reopen interval, same channels.
    std::this_thread::sleep_for(std::chrono::milliseconds(CSoundOutput::kReopenIntervalMs));
    EXPECT_TRUE(output.Poll().empty());
    usb->PlugIn();
    std::vector<CSoundOutput::DeviceChange> back;
    ASSERT_TRUE(WaitUntil(
        [&] {
            back = output.Poll();
            return !back.empty();
        },
        2s));
    EXPECT_FALSE(back[0].lost);
    EXPECT_EQ(back[0].name, "Interface");
    EXPECT_FALSE(output.IsChannelLost(2));
    EXPECT_EQ(output.GetChannelCount(), 3);
    onUsb->m_dwFlags = 0;
    CCuePlayer again(onUsb, 0, rig.log, output);
    ASSERT_FALSE(again.IsFailed());
    again.Start();
    EXPECT_TRUE(WaitUntil([&] { return again.GetFramesPlayed() >= 2 * 2048; }, 3s));
}
