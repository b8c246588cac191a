// The PulseAudio backend against a private server with one 8-output null sink at 48 kHz
// (started and stopped by each test): the sink's pairs become channels, a cue reaches the pair
// it names and no other output (judged by recording the sink's monitor), and a server killed
// and restarted mid-cue is survived: the cue ends, the device comes back under the same
// channels and the next Go is heard; a removed sink is lost and found the same way. Skipped only
// when the server programs are not installed.
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTemporaryFile>
#include <array>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <functional>
#include <thread>

#include "engine/EngineRig.h"
#include "platform/audio/OutputDeviceFactory.h"
#include "platform/audio/PulseDevice.h"
#include "platform/audio/VirtualDevice.h"
#include "support/WaitUntil.h"

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

namespace {

constexpr int kSinkOutputs = 8;
constexpr const char* kSinkMap =
    "front-left,front-right,rear-left,rear-right,front-center,lfe,side-left,side-right";

bool Installed(const char* program) {
    return !QStandardPaths::findExecutable(QString::fromLatin1(program)).isEmpty();
}

// A PulseAudio server of the test's own (its socket in a temporary runtime folder), so that
// killing it disturbs nobody else.
class PrivateServer {
public:
    PrivateServer() : m_state(QStringLiteral("/tmp/mv-pulse-XXXXXX")) {
        m_oldRuntime = qgetenv("XDG_RUNTIME_DIR");
        m_oldHome = qgetenv("HOME");
        qputenv("XDG_RUNTIME_DIR", (m_state.path() + "/pulse-runtime").toLocal8Bit());
        qputenv("HOME", (m_state.path() + "/pulse-home").toLocal8Bit());
    }
    ~PrivateServer() {
        Run("stop");
        qputenv("XDG_RUNTIME_DIR", m_oldRuntime);
        qputenv("HOME", m_oldHome);
    }
    bool Start() { return m_state.isValid() && Run("start") == 0; }
    // Kills the server at once, as a crash or `kill -9` would.
    bool Kill() {
        QFile pidFile(m_state.path() + "/pulse-runtime/pulse/pid");
        if (!pidFile.open(QIODevice::ReadOnly)) return false;
        const pid_t pid = static_cast<pid_t>(pidFile.readAll().trimmed().toInt());
        if (pid <= 0 || ::kill(pid, SIGKILL) != 0) return false;
        // Gone once it no longer answers signals (reaped by init, as a daemon).
        return WaitUntil([pid] { return ::kill(pid, 0) != 0; }, 10s);
    }

private:
    int Run(const char* action) {
        return QProcess::execute("sh",
                                 {MARVANE_SOUND_SERVER_SCRIPT, action, "pulse8", m_state.path()});
    }
    QTemporaryDir m_state;
    QByteArray m_oldRuntime;
    QByteArray m_oldHome;
};

// Records the sink's monitor: all 8 outputs, 16-bit, in the sink's own channel map.
class MonitorRecorder {
public:
    bool Start() {
        // Into a file: a pipe that nobody reads while the cue plays would stall the recorder.
        if (!m_file.open()) return false;
        m_process.setStandardOutputFile(m_file.fileName());
        m_process.start("parec", {"-d", "stage.monitor", "--raw", "--format=s16le", "--rate=48000",
                                  QString::number(kSinkOutputs).prepend("--channels="),
                                  QString("--channel-map=") + kSinkMap, "--latency-msec=20"});
        return m_process.waitForStarted(5000);
    }
    // Stops recording; per output, the highest absolute sample and how many frames exceed
    // `loud` on it.
    struct Levels {
        std::array<int, kSinkOutputs> peak{};
        std::array<int, kSinkOutputs> loudFrames{};
        qsizetype frames = 0;
    };
    Levels Stop(int loud = 1000) {
        m_process.terminate();
        m_process.waitForFinished(5000);
        m_file.seek(0);
        const QByteArray pcm = m_file.readAll();
        Levels levels;
        const qsizetype frameBytes = 2 * kSinkOutputs;
        for (qsizetype at = 0; at + frameBytes <= pcm.size(); at += frameBytes) {
            std::array<int16_t, kSinkOutputs> frame{};
            std::memcpy(frame.data(), pcm.constData() + at, frameBytes);
            for (int o = 0; o < kSinkOutputs; ++o) {
                const int level = std::abs(static_cast<int>(frame[o]));
                levels.peak[o] = std::max(levels.peak[o], level);
                levels.loudFrames[o] += level > loud;
            }
            ++levels.frames;
        }
        return levels;
    }

private:
    QTemporaryFile m_file;
    QProcess m_process;
};

// A 1 kHz tone, left and right, of `seconds` at 44.1 kHz.
QByteArray Tone(double seconds, int amplitude = 12000) {
    std::vector<int16_t> samples;
    const auto frames = static_cast<uint32_t>(seconds * 44100);
    for (uint32_t i = 0; i < frames; ++i) {
        const auto v = static_cast<int16_t>(amplitude * std::sin(2 * M_PI * 1000.0 * i / 44100));
        samples.push_back(v);
        samples.push_back(v);
    }
    testwav::Format format;
    format.channels = 2;
    format.rate = 44100;
    return testwav::Wav(format, testwav::Samples16(samples));
}

std::vector<std::unique_ptr<OutputDevice>> PulseCandidates() {
    AudioSelection selection;
    selection.backend = AudioBackend::Pulse;
    return OutputDeviceFactory::CreateCandidates(selection);
}

// Plays `cue` (already set to its channel) while recording the monitor; the levels heard.
MonitorRecorder::Levels PlayAndRecord(CQRecord* cue, CSoundOutput& output) {
    MonitorRecorder recorder;
    EXPECT_TRUE(recorder.Start());
    std::this_thread::sleep_for(300ms);  // the recorder is connected
    // A log of its own: a later player may have the address of an earlier one.
    auto log = std::make_shared<StatusLog>(nullptr);
    CCuePlayer player(cue, 0, log, output);
    EXPECT_FALSE(player.IsFailed()) << player.GetFailureMessage().toStdString();
    player.Start();
    EXPECT_TRUE(log->WaitFor(&player, PLAYER_ENDED, 10s));
    std::this_thread::sleep_for(200ms);
    return recorder.Stop();
}

void ExpectHeardOnlyOn(const MonitorRecorder::Levels& levels, int left, int right) {
    ASSERT_GT(levels.frames, 48000 / 2) << "the monitor recorded almost nothing";
    for (int o = 0; o < kSinkOutputs; ++o) {
        if (o == left || o == right) {
            // Most of the 0.5 s tone, converted to 48 kHz, is well above the threshold.
            EXPECT_GT(levels.loudFrames[o], 48000 / 8) << "output " << o + 1 << " is silent";
            EXPECT_GT(levels.peak[o], 8000) << "output " << o + 1;
        } else {
            EXPECT_EQ(levels.peak[o], 0) << "output " << o + 1 << " carries sound";
        }
    }
}

}  // namespace

TEST(PulseServer, AnEightOutputSinkOffersItsPairsAndACueReachesOnlyItsPair) {
    if (!Installed("pulseaudio") || !Installed("parec")) GTEST_SKIP() << "no pulseaudio/parec";
    PrivateServer server;
    ASSERT_TRUE(server.Start());
    CSoundOutput output;
    ASSERT_TRUE(output.Initialize(PulseCandidates())) << output.GetFailureHint().toStdString();
    QStringList names;
    output.GetChannelNames(names);
    EXPECT_EQ(names,
              QStringList({"0 - Stage 1/2", "1 - Stage 3/4", "2 - Stage 5/6", "3 - Stage 7/8"}));
    auto* device = dynamic_cast<PulseDevice*>(output.GetDevice(0));
    ASSERT_NE(device, nullptr);
    EXPECT_EQ(device->GetOutputCount(), 8u);
    EXPECT_EQ(device->GetSampleRate(), 48000u);  // the sink's rate; the mixer converts to it

    EngineRig rig;
    CQRecord* cue = rig.WavCue("tone.wav", Tone(0.5));
    for (const auto& [channel, left] : {std::pair{2, 4}, std::pair{0, 0}}) {
        cue->m_nChannel = channel;
        const auto levels = PlayAndRecord(cue, output);
        SCOPED_TRACE("channel " + std::to_string(channel));
        ExpectHeardOnlyOn(levels, left, left + 1);
    }
    // The stream holds a short queue at the server and the device reports no dropouts.
    uint64_t latencyUs = 0;
    EXPECT_TRUE(WaitUntil([&] { return device->GetServerLatencyUs(&latencyUs); }, 2s));
    std::printf("Stage: period %u frames, server latency %.1f ms, dropouts %llu\n",
                device->GetPeriodFrames(), latencyUs / 1000.0,
                static_cast<unsigned long long>(device->GetDropoutCount()));
    EXPECT_LT(latencyUs, 200000u);
    output.ReleaseDevices();
}

TEST(PulseServer, AServerKilledMidCueOrASinkRemovedEndsItsCuesAndTheDeviceComesBack) {
    if (!Installed("pulseaudio") || !Installed("parec")) GTEST_SKIP() << "no pulseaudio/parec";
    PrivateServer server;
    ASSERT_TRUE(server.Start());
    auto candidates = PulseCandidates();
    ASSERT_EQ(candidates.size(), 1u);
    candidates.push_back(std::make_unique<VirtualDevice>("Desk"));
    CSoundOutput output;
    ASSERT_TRUE(output.Initialize(std::move(candidates)));
    ASSERT_EQ(output.GetChannelCount(), 5);  // Stage 1/2 .. 7/8, Desk

    EngineRig rig;
    CQRecord* onStage = rig.WavCue("stage.wav", Tone(1.0), CQRecord::kFlagLooped);
    onStage->m_nChannel = 2;
    CQRecord* onDesk = rig.WavCue("desk.wav", Tone(1.0), CQRecord::kFlagLooped);
    onDesk->m_nChannel = 4;
    auto stage = std::make_unique<CCuePlayer>(onStage, 0, rig.log, output);
    auto desk = std::make_unique<CCuePlayer>(onDesk, 0, rig.log, output);
    stage->Start();
    desk->Start();
    ASSERT_TRUE(WaitUntil([&] { return stage->GetFramesPlayed() >= 4 * 2048; }, 5s));

    ASSERT_TRUE(server.Kill());
    std::vector<CSoundOutput::DeviceChange> changes;
    ASSERT_TRUE(WaitUntil(
        [&] {
            changes = output.Poll();
            return !changes.empty();
        },
        10s))
        << "the killed server went unnoticed";
    EXPECT_TRUE(changes[0].lost);
    EXPECT_EQ(changes[0].name, "Stage");
    EXPECT_TRUE(output.IsChannelLost(2));
    EXPECT_FALSE(output.IsChannelLost(4));
    // The looped cue ends as if killed; a cue fired meanwhile fails and says why.
    EXPECT_TRUE(rig.log->WaitFor(stage.get(), PLAYER_ENDED, 10s));
    stage.reset();
    {
        CCuePlayer refused(onStage, 0, rig.log, output);
        EXPECT_TRUE(refused.IsFailed());
        EXPECT_EQ(refused.GetFailureMessage(), "Output lost: Stage");
    }
    // The other device plays on.
    const uint64_t deskBefore = desk->GetFramesPlayed();
    EXPECT_TRUE(WaitUntil([&] { return desk->GetFramesPlayed() > deskBefore + 4096; }, 5s));

    ASSERT_TRUE(server.Start());
    const auto restarted = Clock::now();
    changes.clear();
    ASSERT_TRUE(WaitUntil(
        [&] {
            changes = output.Poll();
            return !changes.empty();
        },
        10s))
        << "the device did not come back";
    std::printf("Stage reopened %.0f ms after the server answered again\n",
                std::chrono::duration<double, std::milli>(Clock::now() - restarted).count());
    EXPECT_FALSE(changes[0].lost);
    EXPECT_FALSE(output.IsChannelLost(2));
    EXPECT_EQ(output.GetChannelCount(), 5);

    // The next Go on the same channel is heard on outputs 5/6.
    onStage->m_dwFlags = 0;
    CQRecord* next = rig.WavCue("next.wav", Tone(0.5));
    next->m_nChannel = 2;
    ExpectHeardOnlyOn(PlayAndRecord(next, output), 4, 5);

    // The sink removed (an interface unplugged) is a loss too, not a move of its cues to other
    // speakers; the sink back under its name reopens the device.
    const auto pactl = [](const QStringList& arguments) {
        QProcess process;
        process.start("pactl", arguments);
        return process.waitForFinished(10000) && process.exitCode() == 0;
    };
    ASSERT_TRUE(pactl({"unload-module", "module-null-sink"}));
    const auto waitForChange = [&](bool lost) {
        return WaitUntil(
            [&] {
                for (const auto& change : output.Poll()) {
                    if (change.lost == lost && change.name == "Stage") return true;
                }
                return false;
            },
            10s);
    };
    EXPECT_TRUE(waitForChange(true)) << "the removed sink went unnoticed";
    EXPECT_TRUE(output.IsChannelLost(2));
    ASSERT_TRUE(
        pactl({"load-module", "module-null-sink", "sink_name=stage", "channels=8", "rate=48000",
               QString("channel_map=") + kSinkMap, "sink_properties=device.description=Stage"}));
    EXPECT_TRUE(waitForChange(false)) << "the sink came back but the device did not";
    desk.reset();
    output.ReleaseDevices();
}

// Without a server nothing is listed and nothing hangs; a sink the server does not have (a
// device chosen on another machine) fails to open with a reason, and is not taken as lost.
TEST(PulseServer, NoServerOrNoSuchSinkFailsToOpenWithAReason) {
    if (!Installed("pulseaudio")) GTEST_SKIP() << "pulseaudio is not installed";
    PulseSinkInfo ghost;
    ghost.name = "no-such-sink";
    ghost.description = "Ghost";
    ghost.channels = 4;
    ghost.rate = 48000;
    {
        PrivateServer absent;  // its folder, no server started in it
        std::string error;
        EXPECT_TRUE(ListPulseSinks(&error).empty());
        EXPECT_NE(error.find("PulseAudio"), std::string::npos) << error;
        EXPECT_TRUE(PulseCandidates().empty());
        PulseDevice device(ghost);
        EXPECT_FALSE(device.Open());
        EXPECT_NE(device.GetLastError().find("no server"), std::string::npos)
            << device.GetLastError();
        EXPECT_FALSE(device.IsOpen());
        EXPECT_FALSE(device.IsLost());
    }
    PrivateServer server;
    ASSERT_TRUE(server.Start());
    std::string error;
    const auto sinks = ListPulseSinks(&error);
    ASSERT_EQ(sinks.size(), 1u) << error;
    EXPECT_EQ(sinks[0].name, "stage");
    EXPECT_EQ(sinks[0].channels, 8u);
    EXPECT_EQ(sinks[0].positions.size(), 8u);
    PulseDevice device(ghost);
    EXPECT_FALSE(device.Open());
    EXPECT_NE(device.GetLastError().find("no-such-sink"), std::string::npos)
        << device.GetLastError();
    EXPECT_FALSE(device.IsOpen());
    EXPECT_FALSE(device.IsLost());
    // The device of the real sink opens, closes and opens again.
    PulseDevice stage(sinks[0]);
    ASSERT_TRUE(stage.Open()) << stage.GetLastError();
    stage.Close();
    EXPECT_FALSE(stage.IsOpen());
    EXPECT_TRUE(stage.Open()) << stage.GetLastError();
}
