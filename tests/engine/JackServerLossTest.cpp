// The program's output on a real JACK server (a dummy server of 8 playback ports at 48 kHz,
// started by the test) that is killed under a playing cue and started again: the cue ends as
// if killed, a cue fired meanwhile fails and says why, the device comes back under the same
// channels and the next Go is heard. A JACK client of the test listens to our ports. Skipped
// only when jackd is not installed.
#include <gtest/gtest.h>

#include <QProcess>
#include <QStandardPaths>
#include <QStringList>
#include <chrono>
#include <functional>
#include <thread>

#include "engine/EngineRig.h"
#include "platform/audio/JackDevice.h"
#include "platform/audio/JackMeter.h"
#include "platform/audio/JackServer.h"
#include "platform/audio/OutputDeviceFactory.h"
#include "support/WaitUntil.h"

using namespace testwav;
using namespace std::chrono_literals;

namespace {

std::vector<std::string> PortsOf(const JackDevice& device) {
    std::vector<std::string> ports;
    for (uint32_t o = 0; o < device.GetOutputCount(); ++o) ports.push_back(device.GetPortName(o));
    return ports;
}

// Polls the output as the window's device watch does until a change is reported.
std::vector<CSoundOutput::DeviceChange> PollUntilChange(CSoundOutput& output,
                                                        std::chrono::milliseconds timeout) {
    std::vector<CSoundOutput::DeviceChange> changes;
    WaitUntil(
        [&] {
            changes = output.Poll();
            return !changes.empty();
        },
        timeout);
    return changes;
}

// The server is killed (kill -9) or stopped (it then takes its speaker ports away just before it
// shuts our client down, which the device must not take for the operator's doing).
void SurviveTheServerGoing(bool kill) {
    JackServer server(MARVANE_JACK_SERVER_NAME, {"-r", "48000", "-p", "256", "-P", "8"});
    ASSERT_TRUE(server.Start());
    CSoundOutput output;
    AudioSelection jack;
    jack.backend = AudioBackend::Jack;
    ASSERT_TRUE(output.Initialize(OutputDeviceFactory::CreateCandidates(jack)));
    QStringList names;
    output.GetChannelNames(names);
    EXPECT_EQ(names, QStringList(
                         {"0 - system 1/2", "1 - system 3/4", "2 - system 5/6", "3 - system 7/8"}));
    auto* device = dynamic_cast<JackDevice*>(output.GetDevice(2));
    ASSERT_NE(device, nullptr);

    EngineRig rig;
    CQRecord* cue = rig.WavCue("loop.wav", Ramp16(44100, 2, 44100, 100), CQRecord::kFlagLooped);
    cue->m_nChannel = 2;
    {
        JackMeter meter(8);
        ASSERT_TRUE(meter.IsValid());
        ASSERT_TRUE(meter.Listen(PortsOf(*device)));
        EXPECT_EQ(meter.ConnectionsOf("system:playback_5"),
                  std::vector<std::string>{device->GetPortName(4)});
        CCuePlayer player(cue, 0, rig.log, output);
        ASSERT_FALSE(player.IsFailed()) << player.GetFailureMessage().toStdString();
        player.Start();
        ASSERT_TRUE(WaitUntil(
            [&] {
                const auto peaks = meter.TakePeaks();
                return peaks[4] > 0.0f && peaks[5] > 0.0f;
            },
            10s));
        // A few periods later: outputs 5/6 carry the cue, no other output carries anything.
        meter.TakePeaks();
        const uint64_t from = meter.Cycles();
        ASSERT_TRUE(WaitUntil([&] { return meter.Cycles() > from + 8; }, 10s));
        const auto peaks = meter.TakePeaks();
        for (int o = 0; o < 8; ++o) {
            if (o == 4 || o == 5) {
                EXPECT_GT(peaks[o], 0.0f) << "output " << o + 1;
            } else {
                EXPECT_EQ(peaks[o], 0.0f) << "output " << o + 1;
            }
        }

        // The operator moves output 1 to the second speaker.
        const std::string first = device->GetPortName(0);
        ASSERT_TRUE(meter.Disconnect(first, "system:playback_1"));
        ASSERT_TRUE(meter.Connect(first, "system:playback_2"));
        ASSERT_TRUE(WaitUntil(
            [&] {
                return device->GetConnections(0) ==
                       std::vector<std::string>{meter.PortName(0), "system:playback_2"};
            },
            10s));
        // A disconnection in the last moments before a server goes is taken for the server's
        // doing: the operator's was longer ago.
        std::this_thread::sleep_for(std::chrono::nanoseconds(JackDevice::kShutdownDisconnectsNs) +
                                    500ms);

        if (kill) {
            server.Kill();
        } else {
            server.Stop();
        }
        const auto changes = PollUntilChange(output, 10s);
        ASSERT_EQ(changes.size(), 1u);
        EXPECT_TRUE(changes[0].lost);
        EXPECT_EQ(changes[0].name, "system");
        EXPECT_TRUE(output.IsChannelLost(2));
        // The looped cue ends as if killed rather than waiting for a refill forever.
        EXPECT_TRUE(rig.log->WaitFor(&player, PLAYER_ENDED, 10s));
        CCuePlayer refused(cue, 0, rig.log, output);
        EXPECT_TRUE(refused.IsFailed());
        EXPECT_EQ(refused.GetFailureMessage(), "Output lost: system");
    }

    ASSERT_TRUE(server.Start());
    const auto restarted = std::chrono::steady_clock::now();
    // The meter is back before the device: the device connects to it again, as it was.
    JackMeter meter(8);
    ASSERT_TRUE(meter.IsValid());
    const auto back = PollUntilChange(output, 10s);
    ASSERT_EQ(back.size(), 1u) << device->GetLastError();
    EXPECT_FALSE(back[0].lost);
    std::printf(
        "JACK server answered again; the device reopened %.0f ms later\n",
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - restarted)
            .count());
    EXPECT_EQ(output.GetChannelCount(), 4);
    EXPECT_FALSE(output.IsChannelLost(2));

    for (uint32_t o = 0; o < 8; ++o) {
        const std::string speaker = "system:playback_" + std::to_string(o == 0 ? 2 : o + 1);
        EXPECT_EQ(meter.ConnectionsOf(device->GetPortName(o)),
                  std::vector<std::string>({meter.PortName(static_cast<int>(o)), speaker}))
            << "output " << o + 1;
    }
    EXPECT_EQ(meter.ConnectionsOf("system:playback_6"),
              std::vector<std::string>{device->GetPortName(5)});
    cue->m_dwFlags = 0;
    CCuePlayer again(cue, 0, rig.log, output);
    ASSERT_FALSE(again.IsFailed()) << again.GetFailureMessage().toStdString();
    again.Start();
    EXPECT_TRUE(WaitUntil([&] { return meter.TakePeaks()[4] > 0.0f; }, 10s))
        << "the next Go was not heard";
    EXPECT_TRUE(rig.log->WaitFor(&again, PLAYER_ENDED, 20s));
}

}  // namespace

TEST(JackServerLoss, PairsAsChannelsACueOnItsPortsOnlyAndAKilledServerIsSurvived) {
    if (QStandardPaths::findExecutable("jackd").isEmpty()) GTEST_SKIP() << "no jackd";
    SurviveTheServerGoing(true);
}

TEST(JackServerLoss, AServerStoppedAndStartedAgainIsSurvivedWithTheOperatorsPatch) {
    if (QStandardPaths::findExecutable("jackd").isEmpty()) GTEST_SKIP() << "no jackd";
    SurviveTheServerGoing(false);
}
