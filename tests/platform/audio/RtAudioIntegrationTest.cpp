// The RtAudio backend against real sound servers, which the test set-up starts (a JACK dummy
// server and a PulseAudio server with two null sinks). Skipped only when a server program is
// not installed.
#include <gtest/gtest.h>
#include <unistd.h>

#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <array>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <thread>

#include "AudioTestSupport.h"
#include "platform/audio/DeviceMixer.h"
#include "platform/audio/OutputDeviceFactory.h"
#include "platform/audio/RtAudioDevice.h"
#include "platform/audio/SoundBuffer.h"
#include "platform/sync/AutoResetEvent.h"

using namespace std::chrono_literals;

namespace {

AudioSelection ServerSelection(AudioBackend backend) {
    AudioSelection selection;
    selection.backend = backend;
    return selection;
}

bool Installed(const char* program) {
    return !QStandardPaths::findExecutable(QString::fromLatin1(program)).isEmpty();
}

// Plays a constant frame on the device as a streaming buffer and checks that the device's
// thread mixes it at about real time and passes its notifications.
void PlayAndCheck(OutputDevice& device, int16_t left, int16_t right) {
    // The events outlive the buffer: the device thread may signal them until it is destroyed.
    std::array<AutoResetEvent, 8> events;
    std::array<AutoResetEvent*, 8> list{};
    for (size_t i = 0; i < 8; ++i) list[i] = &events[i];
    auto buffer = device.CreateBuffer();
    ASSERT_TRUE(buffer);
    ASSERT_TRUE(FillConstant(*buffer, left, right));
    ASSERT_TRUE(buffer->SetNotificationPositions(SoundBuffer::SegmentEndNotifications(list)));
    const uint64_t before = device.GetMixer()->GetFramesMixed();
    ASSERT_TRUE(buffer->Play(true));
    EXPECT_GE(WaitForAny(list, 3000), 0) << "no notification from the device thread";

    const auto start = std::chrono::steady_clock::now();
    std::this_thread::sleep_for(1500ms);
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    const double mixed =
        static_cast<double>(device.GetMixer()->GetFramesMixed() - before) / 44100.0;
    // A loaded machine may slow a server down; it must still run, near real time.
    EXPECT_GT(mixed, 0.5 * seconds) << "mixed " << mixed << " s in " << seconds << " s";
    EXPECT_LT(mixed, 1.5 * seconds + 0.5);
    buffer->Stop();
}

}  // namespace

// The program reaches JACK through JackDevice; RtAudio's own JACK path stays usable.
TEST(RtAudioIntegrationTest, JackServerPullsTheMixAtItsOwnPeriod) {
    if (!Installed("jackd")) GTEST_SKIP() << "jackd is not installed";
    auto devices = OutputDeviceFactory::OpenAll(RtAudioDevice::Enumerate(AudioBackend::Jack));
    ASSERT_FALSE(devices.empty()) << "no JACK output device (is the test server running?)";
    auto* device = dynamic_cast<RtAudioDevice*>(devices.front().get());
    ASSERT_NE(device, nullptr);
    EXPECT_EQ(device->GetPeriodFrames(), 512u);
    PlayAndCheck(*device, 1000, -1000);
    std::printf("JACK: period %u frames, reported latency %ld frames (%.1f ms), %llu xruns\n",
                device->GetPeriodFrames(), device->GetReportedLatencyFrames(),
                device->GetReportedLatencyFrames() * 1000.0 / 44100.0,
                static_cast<unsigned long long>(device->GetUnderflowCount()));
    device->Close();
    EXPECT_FALSE(device->IsOpen());
}

// Two null sinks give two channels, named by their descriptions, in order; the sound reaches
// the sink unchanged; the server queues no more than about 50 ms of it.
TEST(RtAudioIntegrationTest, PulseSinksBecomeChannelsAndTheServerQueueStaysShort) {
    if (!Installed("pulseaudio")) GTEST_SKIP() << "pulseaudio is not installed";
    auto devices = OutputDeviceFactory::OpenAll(
        OutputDeviceFactory::CreateCandidates(ServerSelection(AudioBackend::Pulse)));
    ASSERT_EQ(devices.size(), 2u) << "expected the two null sinks of the test server";
    EXPECT_EQ(devices[0]->GetDescription(), "ChannelA");
    EXPECT_EQ(devices[1]->GetDescription(), "ChannelB");
    EXPECT_LE(devices[0]->GetPeriodFrames(), 512u);

    QProcess recorder;
    const bool recording = Installed("parec");
    if (recording) {
        recorder.start("parec", {"-d", "chanA.monitor", "--raw", "--format=s16le", "--rate=44100",
                                 "--channels=2"});
        ASSERT_TRUE(recorder.waitForStarted(5000));
    }
    PlayAndCheck(*devices[0], 5000, -3000);

    // The server's queue for our stream ("Buffer Latency" of the sink input).
    QProcess pactl;
    pactl.start("pactl", {"list", "sink-inputs"});
    ASSERT_TRUE(pactl.waitForFinished(5000));
    const QString inputs = QString::fromUtf8(pactl.readAllStandardOutput());
    int checked = 0;
    for (const QString& line : inputs.split('\n')) {
        const QString text = line.trimmed();
        if (!text.startsWith("Buffer Latency:") && !text.startsWith("Sink Latency:")) continue;
        const double ms = text.section(' ', 2, 2).toDouble() / 1000.0;
        std::printf("PulseAudio %s -> %.1f ms\n", qPrintable(text), ms);
        if (text.startsWith("Buffer Latency:")) {
            EXPECT_LE(ms, 60.0) << "the server queues too much sound";
            ++checked;
        }
    }
    EXPECT_GE(checked, 2);  // one stream per open sink

    if (recording) {
        std::this_thread::sleep_for(300ms);
        recorder.terminate();
        ASSERT_TRUE(recorder.waitForFinished(5000));
        const QByteArray pcm = recorder.readAllStandardOutput();
        int heard = 0;
        for (qsizetype i = 0; i + 4 <= pcm.size(); i += 4) {
            int16_t s[2];
            std::memcpy(s, pcm.constData() + i, sizeof s);
            if (s[0] == 5000 && s[1] == -3000) ++heard;
        }
        EXPECT_GT(heard, 4410) << "the sink's monitor did not carry the mix (" << pcm.size()
                               << " bytes recorded)";
    }
    for (auto& device : devices) device->Close();
}

// A PulseAudio server that goes away under a playing stream lets every write fail at once: the
// device must keep real-time pace (so cues end when they would have, and the callback thread
// does not spin at real-time priority) and still close at once.
TEST(RtAudioIntegrationTest, AStreamWhoseServerHasGoneKeepsRealTimePace) {
    if (!Installed("pulseaudio")) GTEST_SKIP() << "pulseaudio is not installed";
    // A server of its own, so that the other tests keep theirs.
    QTemporaryDir state(QStringLiteral("/tmp/mv-gone-XXXXXX"));
    ASSERT_TRUE(state.isValid());
    const QByteArray oldRuntime = qgetenv("XDG_RUNTIME_DIR");
    const QByteArray oldHome = qgetenv("HOME");
    qputenv("XDG_RUNTIME_DIR", (state.path() + "/pulse-runtime").toLocal8Bit());
    qputenv("HOME", (state.path() + "/pulse-home").toLocal8Bit());
    const auto server = [&](const char* action) {
        return QProcess::execute("sh",
                                 {MARVANE_SOUND_SERVER_SCRIPT, action, "pulse", state.path()});
    };
    ASSERT_EQ(server("start"), 0);
    // RtAudio's own PulseAudio path (the program uses PulseDevice for PulseAudio).
    auto devices = OutputDeviceFactory::OpenAll(RtAudioDevice::Enumerate(AudioBackend::Pulse));
    ASSERT_FALSE(devices.empty());
    auto* device = dynamic_cast<RtAudioDevice*>(devices.front().get());
    ASSERT_NE(device, nullptr);
    std::array<AutoResetEvent, 8> events;
    std::array<AutoResetEvent*, 8> list{};
    for (size_t i = 0; i < 8; ++i) list[i] = &events[i];
    auto buffer = device->CreateBuffer();
    ASSERT_TRUE(FillConstant(*buffer, 100, 100));
    ASSERT_TRUE(buffer->SetNotificationPositions(SoundBuffer::SegmentEndNotifications(list)));
    ASSERT_TRUE(buffer->Play(true));
    EXPECT_GE(WaitForAny(list, 5000), 0);

    QFile pidFile(state.path() + "/pulse-runtime/pulse/pid");
    ASSERT_TRUE(pidFile.open(QIODevice::ReadOnly));
    const pid_t pid = static_cast<pid_t>(pidFile.readAll().trimmed().toInt());
    ASSERT_GT(pid, 0);
    ASSERT_EQ(::kill(pid, SIGKILL), 0);
    std::this_thread::sleep_for(700ms);  // the lead a stall may have left is used up
    const uint64_t before = device->GetMixer()->GetFramesMixed();
    const auto start = std::chrono::steady_clock::now();
    std::this_thread::sleep_for(1000ms);
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    const double mixed =
        static_cast<double>(device->GetMixer()->GetFramesMixed() - before) / 44100.0;
    EXPECT_LT(mixed, 1.5 * seconds + 0.3) << "mixed " << mixed << " s in " << seconds << " s";
    EXPECT_LE(device->MeasureLeadSeconds(), RtAudioDevice::kMaxLeadSeconds + 0.1);

    const auto closing = std::chrono::steady_clock::now();
    for (auto& d : devices) d->Close();
    EXPECT_LT(std::chrono::steady_clock::now() - closing, 2s);
    buffer.reset();
    devices.clear();
    server("stop");
    qputenv("XDG_RUNTIME_DIR", oldRuntime);
    qputenv("HOME", oldHome);
}
