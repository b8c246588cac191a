// The native JACK backend against real JACK dummy servers: the test set-up's server (8 playback
// ports, 44.1 kHz, period 512) and servers of the tests' own. A JACK client of the test stands
// for the patchbay and what is downstream: it measures the levels on our ports and checks the
// connections. Skipped only when jackd is not installed.
#include <gtest/gtest.h>

#include <QByteArray>
#include <QProcess>
#include <QStandardPaths>
#include <QString>
#include <QTemporaryDir>
#include <algorithm>
#include <chrono>
#include <cmath>
#include <functional>
#include <thread>

#include "AudioTestSupport.h"
#include "platform/audio/DeviceMixer.h"
#include "platform/audio/JackDevice.h"
#include "platform/audio/JackMeter.h"
#include "platform/audio/OutputDeviceFactory.h"
#include "platform/audio/SoundBuffer.h"
#include "support/WaitUntil.h"

using namespace std::chrono_literals;

namespace {

std::vector<std::string> Names(std::initializer_list<std::string> names) { return names; }

std::string Playback(int n) { return "system:playback_" + std::to_string(n); }

// The ports of `device` as the meter should listen to them.
std::vector<std::string> PortsOf(const JackDevice& device) {
    std::vector<std::string> ports;
    for (uint32_t o = 0; o < device.GetOutputCount(); ++o) ports.push_back(device.GetPortName(o));
    return ports;
}

// Waits until the meter has seen `periods` more periods, then returns the peaks of that time.
std::vector<float> PeaksOver(JackMeter& meter, uint64_t periods) {
    meter.TakePeaks();
    const uint64_t from = meter.Cycles();
    WaitUntil([&] { return meter.Cycles() >= from + periods; }, 10s);
    return meter.TakePeaks();
}

}  // namespace

class JackDeviceTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (QStandardPaths::findExecutable("jackd").isEmpty()) GTEST_SKIP() << "no jackd";
    }
};

TEST_F(JackDeviceTest, OneDevicePerServerPortsNamedAfterChannelsAndAPairReachesItsSpeakersOnly) {
    // The factory gives the native device for JACK: one device, all 8 playback ports.
    AudioSelection selection;
    selection.backend = AudioBackend::Jack;
    auto devices = OutputDeviceFactory::CreateCandidates(selection);
    ASSERT_EQ(devices.size(), 1u) << "no JACK server (is the test server running?)";
    auto* device = dynamic_cast<JackDevice*>(devices.front().get());
    ASSERT_NE(device, nullptr);
    EXPECT_EQ(device->GetDescription(), "system");
    EXPECT_EQ(device->GetOutputCount(), 8u);
    EXPECT_EQ(device->GetSampleRate(), 44100u);
    ASSERT_TRUE(device->Open()) << device->GetLastError();
    EXPECT_EQ(device->GetPeriodFrames(), 512u);
    EXPECT_FALSE(device->IsLost());
    // Listed again while open (as the device scanner does, through the open client): the same.
    const auto again = JackDevice::Enumerate();
    ASSERT_EQ(again.size(), 1u);
    EXPECT_EQ(again.front()->GetDescription(), "system");
    EXPECT_EQ(again.front()->GetOutputCount(), 8u);

    // Ports after their channels, each connected to the speaker of its number.
    // (The client is "Marvane", or "Marvane-01" ... while another one runs.)
    EXPECT_EQ(device->GetPortName(0).rfind(JackDevice::kClientName, 0), 0u);
    EXPECT_EQ(device->GetPortName(0).substr(device->GetPortName(0).find(':')), ":ch0-out1-L");
    EXPECT_EQ(device->GetPortName(5).substr(device->GetPortName(5).find(':')), ":ch2-out6-R");
    EXPECT_EQ(JackDevice::PortShortName(6, 7), "ch3-out7-mono");
    JackMeter meter(8);
    ASSERT_TRUE(meter.IsValid());
    for (uint32_t o = 0; o < 8; ++o) {
        EXPECT_EQ(meter.ConnectionsOf(device->GetPortName(o)), Names({Playback(o + 1)}))
            << "output " << o + 1;
    }
    ASSERT_TRUE(meter.Listen(PortsOf(*device)));

    // A buffer on channel 2 (outputs 5/6) sounds there and nowhere else.
    auto buffer = device->CreateBuffer(4, 2);
    ASSERT_TRUE(buffer);
    ASSERT_TRUE(FillConstant(*buffer, 8192, -16384));
    ASSERT_TRUE(buffer->Play(true));
    ASSERT_TRUE(WaitUntil([&] { return meter.TakePeaks()[4] > 0.0f; }, 5s));
    const std::vector<float> peaks = PeaksOver(meter, 4);
    for (int o = 0; o < 8; ++o) {
        const float expected = o == 4 ? 0.25f : o == 5 ? 0.5f : 0.0f;
        EXPECT_NEAR(peaks[o], expected, 1e-4) << "output " << o + 1;
    }
    EXPECT_EQ(meter.ConnectionsOf(Playback(5)), Names({device->GetPortName(4)}));
    buffer.reset();
    device->Close();
    EXPECT_FALSE(device->IsOpen());
    EXPECT_TRUE(device->GetPortName(0).empty());
}

// The operator moves one port to another speaker and patches a meter onto all of them while
// the device runs; a reopen (as after a lost server) restores that patch instead of the
// default, and the ports the operator did not touch go to their own speakers again.
TEST_F(JackDeviceTest, TheOperatorsConnectionsAreKeptAcrossAReopen) {
    auto devices = JackDevice::Enumerate();
    ASSERT_EQ(devices.size(), 1u);
    auto& device = static_cast<JackDevice&>(*devices.front());
    ASSERT_TRUE(device.Open()) << device.GetLastError();
    const std::string moved = device.GetPortName(2);  // ch1-out3-L
    JackMeter meter(8, "patch");
    ASSERT_TRUE(meter.IsValid());
    ASSERT_TRUE(meter.Disconnect(moved, Playback(3)));
    ASSERT_TRUE(meter.Connect(moved, Playback(8)));
    ASSERT_TRUE(meter.Listen(PortsOf(device)));
    const auto patched = [&] {
        return device.GetConnections(2) == Names({meter.PortName(2), Playback(8)}) &&
               device.GetConnections(7) == Names({meter.PortName(7), Playback(8)});
    };
    ASSERT_TRUE(WaitUntil(patched, 10s)) << "the device was not told of the new connections";
    // Running on does not undo it.
    std::this_thread::sleep_for(100ms);
    EXPECT_EQ(meter.ConnectionsOf(moved), Names({meter.PortName(2), Playback(8)}));

    device.Close();
    EXPECT_TRUE(meter.ConnectionsOf(Playback(8)).empty());
    ASSERT_TRUE(device.Open()) << device.GetLastError();
    EXPECT_EQ(meter.ConnectionsOf(moved), Names({meter.PortName(2), Playback(8)}));
    EXPECT_TRUE(meter.ConnectionsOf(Playback(3)).empty());
    for (uint32_t o : {0u, 1u, 3u, 7u}) {
        EXPECT_EQ(meter.ConnectionsOf(device.GetPortName(o)),
                  Names({meter.PortName(static_cast<int>(o)), Playback(o + 1)}))
            << "output " << o + 1;
    }
    device.Close();
}

// A server of its own at 48 kHz and a period of 128 that changes while a tone plays: the
// device follows the period at once, the sound goes on, and a 1 kHz tone arrives as 1 kHz.
TEST_F(JackDeviceTest, FollowsThePeriodOfAServerAt48kAndKeepsThePitch) {
    QTemporaryDir state(QStringLiteral("/tmp/mv-jackrate-XXXXXX"));
    ASSERT_TRUE(state.isValid());
    const QByteArray oldServer = qgetenv("JACK_DEFAULT_SERVER");
    qputenv("JACK_DEFAULT_SERVER", oldServer + "-rate");
    const auto server = [&](const char* action) {
        return QProcess::execute(
            "sh", {MARVANE_SOUND_SERVER_SCRIPT, action, "jack", state.path(), "2", "128", "48000"});
    };
    ASSERT_EQ(server("start"), 0);
    {
        auto devices = JackDevice::Enumerate();
        ASSERT_EQ(devices.size(), 1u);
        auto& device = static_cast<JackDevice&>(*devices.front());
        EXPECT_EQ(device.GetSampleRate(), 48000u);
        ASSERT_TRUE(device.Open()) << device.GetLastError();
        EXPECT_EQ(device.GetPeriodFrames(), 128u);
        JackMeter meter(2, "meter", 48000 / 4);
        ASSERT_TRUE(meter.IsValid());
        ASSERT_TRUE(meter.Listen(PortsOf(device)));

        auto buffer = device.CreateBuffer();
        ASSERT_TRUE(buffer);
        ASSERT_TRUE(FillRegion(*buffer, 0, SoundBuffer::kBufferBytes,
                               [](uint32_t k, int16_t* l, int16_t* r) {
                                   // 65536 bytes hold 16384 frames: whole periods of 1 kHz
                                   // would need 44.1 frames each, so the ring is 1 kHz only
                                   // nearly; over a quarter second that is well within 1 Hz.
                                   *l = *r = static_cast<int16_t>(
                                       std::lrint(12000 * std::sin(2 * M_PI * 1000.0 * k / 44100)));
                               }));
        meter.Record(0);
        ASSERT_TRUE(buffer->Play(true));
        ASSERT_TRUE(WaitUntil([&] { return meter.Recording().size() == 48000 / 4; }, 10s));
        const std::vector<float> tone = meter.Recording();
        // The length of the tone's cycles, from one rising crossing to the next (with hysteresis:
        // the converter's first samples ring at the lowest bit). The median ignores the odd
        // cycle a late period (xrun) on a loaded machine may cut or repeat.
        std::vector<int> lengths;
        bool low = false;
        size_t last = 0;
        for (size_t i = 0; i < tone.size(); ++i) {
            if (tone[i] < -0.1f) low = true;
            if (low && tone[i] > 0.1f) {
                if (last != 0) lengths.push_back(static_cast<int>(i - last));
                last = i;
                low = false;
            }
        }
        ASSERT_GT(lengths.size(), 200u);
        std::nth_element(lengths.begin(), lengths.begin() + lengths.size() / 2, lengths.end());
        // 1 kHz at 48 kHz: 48 frames (44 had the mix not been converted).
        EXPECT_EQ(lengths[lengths.size() / 2], 48);

        for (const uint32_t period : {256u, 64u}) {
            ASSERT_EQ(jack_set_buffer_size(meter.Client(), period), 0);
            ASSERT_TRUE(WaitUntil([&] { return device.GetPeriodFrames() == period; }, 10s));
            const std::vector<float> peaks = PeaksOver(meter, 8);
            EXPECT_GT(peaks[0], 0.3f) << "no sound at a period of " << period;
            EXPECT_LT(peaks[0], 0.4f);
        }
        EXPECT_FALSE(device.IsLost());
        buffer.reset();
        device.Close();
    }
    server("stop");
    qputenv("JACK_DEFAULT_SERVER", oldServer);
}

// A JACK server of 8 playback ports at 48 kHz: one device of 8 outputs at the server's rate; a
// buffer on outputs 5/6 plays; the server stopped mid-cue makes the device lost within about
// a second (JACK tells the client at once), and once a server runs again the device reopens under
// the same name.
TEST_F(JackDeviceTest, JackAt48kWithEightPortsIsLostWhenStoppedAndReopensWhenBack) {
    const QByteArray oldServer = qgetenv("JACK_DEFAULT_SERVER");
    // One name per build tree, so that a server that did not clean up is replaced, not added to
    // the few a machine may register.
    const QByteArray name = oldServer + "-lost";
    qputenv("JACK_DEFAULT_SERVER", name);
    QProcess server;
    const auto startServer = [&] {
        server.start("jackd", {"--no-realtime", "-n", QString::fromLatin1(name), "-d", "dummy",
                               "-r", "48000", "-p", "256", "-P", "8"});
        return server.waitForStarted(5000) &&
               QProcess::execute("jack_wait",
                                 {"-s", QString::fromLatin1(name), "-w", "-t", "10"}) == 0;
    };
    ASSERT_TRUE(startServer());
    auto devices = OutputDeviceFactory::OpenAll(JackDevice::Enumerate());
    ASSERT_FALSE(devices.empty());
    OutputDevice& device = *devices.front();
    EXPECT_EQ(device.GetOutputCount(), 8u);
    EXPECT_EQ(device.GetSampleRate(), 48000u);
    auto buffer = device.CreateBuffer(4, 2);
    ASSERT_TRUE(buffer);
    ASSERT_TRUE(FillConstant(*buffer, 1000, 1000));
    ASSERT_TRUE(buffer->Play(true));
    std::this_thread::sleep_for(300ms);
    EXPECT_FALSE(device.IsLost());
    EXPECT_GT(device.GetMixer()->GetFramesMixed(), 4410u);
    // A meter patched onto the outputs by the operator.
    auto& jack = static_cast<JackDevice&>(device);
    auto meter = std::make_unique<JackMeter>(8);
    ASSERT_TRUE(meter->Listen(PortsOf(jack)));
    ASSERT_TRUE(WaitUntil([&] { return jack.GetConnections(7).size() == 2; }, 10s));

    server.terminate();  // stopped under the stream, as a server that is shut down or restarted
    server.waitForFinished(15000);
    const auto killed = std::chrono::steady_clock::now();
    while (!device.IsLost() && std::chrono::steady_clock::now() - killed < 3s) {
        std::this_thread::sleep_for(20ms);
    }
    EXPECT_TRUE(device.IsLost());
    const auto lostAfter = std::chrono::steady_clock::now() - killed;
    EXPECT_LT(lostAfter, 2s);
    device.Close();
    // (A client of a server that has gone keeps libjack on that server's shared memory: every
    // client of the process must be closed before one joins the new server.)
    meter.reset();
    device.GetMixer()->AbandonAll();
    EXPECT_TRUE(buffer->IsAbandoned());
    EXPECT_FALSE(device.Open());

    ASSERT_TRUE(startServer());
    const auto restarted = std::chrono::steady_clock::now();
    EXPECT_TRUE(device.Open()) << device.GetLastError();
    std::printf(
        "JACK lost after %.0f ms; reopened %.0f ms after the server answered\n",
        std::chrono::duration<double, std::milli>(lostAfter).count(),
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - restarted)
            .count());
    std::this_thread::sleep_for(300ms);
    EXPECT_FALSE(device.IsLost());
    // The stopping server took its speakers away before it shut us down: that was not the
    // operator disconnecting them, so the outputs are back on their speakers.
    meter = std::make_unique<JackMeter>(8);
    ASSERT_TRUE(meter->IsValid());
    for (uint32_t o = 0; o < 8; ++o) {
        EXPECT_EQ(meter->ConnectionsOf(jack.GetPortName(o)), Names({Playback(o + 1)}))
            << "output " << o + 1;
    }
    meter.reset();
    buffer.reset();
    devices.clear();
    server.terminate();
    server.waitForFinished(5000);
    qputenv("JACK_DEFAULT_SERVER", oldServer);
}
