#include "platform/audio/OutputDeviceFactory.h"

#include <gtest/gtest.h>

#include <cstdlib>

#include "platform/audio/VirtualDevice.h"

namespace {

// A device that refuses to open, like a sound card that is busy or gone.
class FakeDevice : public OutputDevice {
public:
    FakeDevice(std::string description, bool opens)
        : OutputDevice(std::move(description)), m_opens(opens) {}
    bool Open() override {
        m_open = m_opens;
        if (!m_opens) SetLastError("busy");
        return m_open;
    }
    void Close() override { m_open = false; }
    bool IsOpen() const override { return m_open; }
    uint32_t GetPeriodFrames() const override { return 256; }

private:
    bool m_opens;
    bool m_open = false;
};

}  // namespace

TEST(OutputDeviceFactoryTest, ParsesTheBackendSelection) {
    std::string error;
    auto s = OutputDeviceFactory::ParseSelection("", &error);
    ASSERT_TRUE(s);
    EXPECT_EQ(s->backend, AudioBackend::Pulse);
    EXPECT_EQ(OutputDeviceFactory::ParseSelection("pulse")->backend, AudioBackend::Pulse);
    EXPECT_EQ(OutputDeviceFactory::ParseSelection("jack")->backend, AudioBackend::Jack);
    EXPECT_EQ(OutputDeviceFactory::ParseSelection("alsa")->backend, AudioBackend::Alsa);

    s = OutputDeviceFactory::ParseSelection("virtual:3");
    ASSERT_TRUE(s);
    EXPECT_EQ(s->backend, AudioBackend::Virtual);
    EXPECT_EQ(s->virtualCount, 3);
    EXPECT_EQ(s->capturePrefix, "");

    // The prefix is everything after the second colon, colons included.
    s = OutputDeviceFactory::ParseSelection("virtual:2:/tmp/show:a/mix");
    ASSERT_TRUE(s);
    EXPECT_EQ(s->virtualCount, 2);
    EXPECT_EQ(s->capturePrefix, "/tmp/show:a/mix");

    for (const char* bad : {"virtual", "virtual:", "virtual:0", "virtual:65", "virtual:x",
                            "virtual:2x", "virtual:-1", "virtual: 2", "Pulse", "oss"}) {
        error.clear();
        EXPECT_FALSE(OutputDeviceFactory::ParseSelection(bad, &error)) << bad;
        EXPECT_NE(error.find("MARVANE_AUDIO"), std::string::npos) << bad;
    }
}

TEST(OutputDeviceFactoryTest, VirtualDevicesAreNamedFromOneAndCaptureFromZero) {
    const auto candidates = OutputDeviceFactory::CreateCandidates(
        *OutputDeviceFactory::ParseSelection("virtual:3:out"));
    ASSERT_EQ(candidates.size(), 3u);
    for (int k = 0; k < 3; ++k) {
        const auto* device = dynamic_cast<const VirtualDevice*>(candidates[k].get());
        ASSERT_NE(device, nullptr);
        EXPECT_EQ(device->GetDescription(), "Virtual output " + std::to_string(k + 1));
        EXPECT_EQ(device->GetCapturePath(), "out-" + std::to_string(k) + ".wav");
        EXPECT_FALSE(device->IsOpen());
    }
    const auto silent =
        OutputDeviceFactory::CreateCandidates(*OutputDeviceFactory::ParseSelection("virtual:1"));
    ASSERT_EQ(silent.size(), 1u);
    EXPECT_EQ(dynamic_cast<const VirtualDevice*>(silent[0].get())->GetCapturePath(), "");
}

// Of three devices of which the second cannot be opened, the first and third remain, in order.
TEST(OutputDeviceFactoryTest, EnumerationLeavesOutADeviceThatFailsToOpen) {
    std::vector<std::unique_ptr<OutputDevice>> candidates;
    candidates.push_back(std::make_unique<FakeDevice>("First", true));
    candidates.push_back(std::make_unique<FakeDevice>("Second", false));
    candidates.push_back(std::make_unique<FakeDevice>("Third", true));
    const auto opened = OutputDeviceFactory::OpenAll(std::move(candidates));
    ASSERT_EQ(opened.size(), 2u);
    EXPECT_EQ(opened[0]->GetDescription(), "First");
    EXPECT_EQ(opened[1]->GetDescription(), "Third");
    EXPECT_TRUE(opened[0]->IsOpen());
    EXPECT_TRUE(opened[1]->IsOpen());
}

TEST(OutputDeviceFactoryTest, OpensWhatTheEnvironmentSelects) {
    const char* saved = std::getenv("MARVANE_AUDIO");
    const std::string restore = saved ? saved : "";

    setenv("MARVANE_AUDIO", "virtual:2", 1);
    std::string error;
    auto devices = OutputDeviceFactory::OpenFromEnvironment(&error);
    ASSERT_EQ(devices.size(), 2u) << error;
    EXPECT_TRUE(devices[0]->IsOpen());
    EXPECT_EQ(devices[1]->GetDescription(), "Virtual output 2");
    devices.clear();

    setenv("MARVANE_AUDIO", "virtual:1:/nonexistent-folder/x", 1);
    devices = OutputDeviceFactory::OpenFromEnvironment(&error);
    EXPECT_TRUE(devices.empty());
    EXPECT_NE(error.find("Virtual output 1"), std::string::npos);

    setenv("MARVANE_AUDIO", "speakers", 1);
    devices = OutputDeviceFactory::OpenFromEnvironment(&error);
    EXPECT_TRUE(devices.empty());
    EXPECT_NE(error.find("speakers"), std::string::npos);

    if (saved) {
        setenv("MARVANE_AUDIO", restore.c_str(), 1);
    } else {
        unsetenv("MARVANE_AUDIO");
    }
}
