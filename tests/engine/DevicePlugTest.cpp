// Devices that appear while the program runs: one plugged in after start gets new channels at
// the end without renumbering the others, and a chosen device missing at start keeps its
// channels (shown as missing, flagged by the show check, refused with a clear message) until it
// is found and opened into them. The listing runs on the scanner's thread, as in the program.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <thread>

#include "engine/DeviceScanner.h"
#include "engine/EngineRig.h"
#include "engine/ShowCheck.h"
#include "platform/audio/AudioTestSupport.h"
#include "platform/audio/OutputDeviceFactory.h"
#include "platform/audio/VirtualDevice.h"
#include "platform/sync/AutoResetEvent.h"
#include "support/WaitUntil.h"

using namespace testwav;
using namespace std::chrono_literals;

namespace {

constexpr int kScanMs = 50;

// Polls as the device watch does until a change of `kind` comes (or 2 s pass).
std::vector<CSoundOutput::DeviceChange> PollFor(CSoundOutput& output,
                                                CSoundOutput::DeviceChange::Kind kind) {
    std::vector<CSoundOutput::DeviceChange> all;
    WaitUntil(
        [&] {
            for (auto& change : output.Poll()) all.push_back(change);
            for (const auto& change : all) {
                if (change.kind == kind) return true;
            }
            return false;
        },
        2s);
    return all;
}

QStringList Names(const CSoundOutput& output) {
    QStringList names;
    output.GetChannelNames(names);
    return names;
}

std::vector<std::unique_ptr<OutputDevice>> Virtual(
    std::initializer_list<std::pair<const char*, uint32_t>> devices) {
    std::vector<std::unique_ptr<OutputDevice>> list;
    for (const auto& [name, outputs] : devices) {
        list.push_back(std::make_unique<VirtualDevice>(
            name, std::string(), VirtualDevice::kDefaultPeriodFrames, outputs));
    }
    return list;
}

}  // namespace

TEST(DevicePlug, APluggedDeviceAddsChannelsAtTheEndWhilePlayingCuesPlayOn) {
    AudioSelection rig;
    rig.backend = AudioBackend::Virtual;
    rig.virtualCount = 2;
    rig.virtualOutputs = 3;
    const auto list = [rig] { return OutputDeviceFactory::CreateCandidates(rig); };
    OutputDeviceFactory::PlugVirtualDevicesForTesting(0);

    CSoundOutput output;
    ASSERT_TRUE(output.Initialize(list()));
    const QStringList before = Names(output);
    ASSERT_EQ(before, (QStringList{"0 - Virtual output 1 1/2", "1 - Virtual output 1 3",
                                   "2 - Virtual output 2 1/2", "3 - Virtual output 2 3"}));
    output.StartRescan(list, kScanMs);

    EngineRig cues;
    CQRecord* looped = cues.WavCue("loop.wav", Ramp16(100000, 2, 44100), CQRecord::kFlagLooped);
    looped->m_nChannel = 3;
    CCuePlayer playing(looped, 0, cues.log, output);
    playing.Start();
    ASSERT_TRUE(WaitUntil([&] { return playing.GetFramesPlayed() >= 2 * kRefillFrames; }, 5s));

    // Listings of the same devices add nothing.
    std::this_thread::sleep_for(std::chrono::milliseconds(4 * kScanMs));
    EXPECT_TRUE(output.Poll().empty());
    EXPECT_EQ(Names(output), before);

    OutputDeviceFactory::PlugVirtualDevicesForTesting(1);
    const auto changes = PollFor(output, CSoundOutput::DeviceChange::Kind::Added);
    OutputDeviceFactory::PlugVirtualDevicesForTesting(0);
    ASSERT_EQ(changes.size(), 1u);
    EXPECT_EQ(changes[0].name, "Virtual output 3");
    EXPECT_FALSE(changes[0].lost);
    // The earlier channels keep their numbers and names; the new device's come after them.
    const QStringList after =
        before + QStringList{"4 - Virtual output 3 1/2", "5 - Virtual output 3 3"};
    EXPECT_EQ(Names(output), after);
    // Added once, however often it is listed again.
    std::this_thread::sleep_for(std::chrono::milliseconds(4 * kScanMs));
    EXPECT_TRUE(output.Poll().empty());
    EXPECT_EQ(output.GetChannelCount(), 6);
    EXPECT_EQ(output.GetDeviceCount(), 3);

    // The cue that played through it all was never touched; a cue on the new mono channel plays.
    EXPECT_EQ(cues.log->Count(&playing, PLAYER_ENDED), 0);
    const uint64_t played = playing.GetFramesPlayed();
    EXPECT_TRUE(WaitUntil([&] { return playing.GetFramesPlayed() > played + 4096; }, 3s));
    CQRecord* onNew = cues.WavCue("new.wav", Ramp16(20000, 2, 44100));
    onNew->m_nChannel = 5;
    CCuePlayer fresh(onNew, 0, cues.log, output);
    ASSERT_FALSE(fresh.IsFailed()) << fresh.GetFailureMessage().toStdString();
    fresh.Start();
    EXPECT_TRUE(cues.log->WaitFor(&fresh, PLAYER_ENDED, 5s));
    EXPECT_EQ(output.GetDevice(5)->GetDescription(), "Virtual output 3");
}

TEST(DevicePlug, AChosenDeviceMissingAtStartKeepsItsChannelsUntilItIsFound) {
    std::atomic<bool> plugged{false};
    std::atomic<uint32_t> interfaceOutputs{6};
    const auto list = [&] {
        auto devices = Virtual({{"Desk", 2}, {"Stage", 2}, {"Laptop", 2}});
        if (plugged) {
            devices.push_back(std::make_unique<VirtualDevice>("Studio Interface", std::string(),
                                                              VirtualDevice::kDefaultPeriodFrames,
                                                              interfaceOutputs.load()));
        }
        return devices;
    };

    // Chosen: Desk, the interface (4 outputs when last seen), Stage. Laptop is not chosen.
    CSoundOutput output;
    ASSERT_TRUE(output.Initialize(list(), {{"Desk", 2}, {"Studio Interface", 4}, {"Stage", 2}}));
    EXPECT_EQ(Names(output), (QStringList{"0 - Desk", "1 - Studio Interface 1/2 (missing)",
                                          "2 - Studio Interface 3/4 (missing)", "3 - Stage"}));
    EXPECT_TRUE(output.IsChannelMissing(2));
    EXPECT_FALSE(output.IsChannelMissing(3));
    EXPECT_FALSE(output.IsChannelLost(2));
    EXPECT_EQ(output.GetDevice(1), nullptr);
    EXPECT_EQ(output.GetDevice(3)->GetDescription(), "Stage");

    // The show check flags the cues on the missing channels, and only those.
    EngineRig cues;
    const QByteArray wav = cues.WriteFile("bell.wav", Ramp16(20000, 2, 44100));
    QList<showcheck::CueSnapshot> snapshot;
    for (int channel : {0, 1, 2, 3}) {
        showcheck::CueSnapshot cue;
        cue.id = QByteArray::number(channel);
        cue.path = wav;
        cue.channel = channel;
        snapshot.append(cue);
    }
    QHash<int, QString> missing;
    for (const auto& [channel, name] : output.GetMissingChannels())
        missing.insert(channel, QString::fromStdString(name));
    const showcheck::Report report = showcheck::Check(snapshot, output.GetChannelCount(), missing);
    ASSERT_EQ(report.problems.size(), 2);
    EXPECT_EQ(report.problems[0].row, 1);
    EXPECT_EQ(report.problems[0].kind, showcheck::Problem::Kind::ChannelMissing);
    EXPECT_EQ(report.RowProblem(2),
              "Channel 2 (Studio Interface 3/4) is missing: its device is not connected, so the "
              "cue will not play");

    // A Go on a missing channel fails and says why.
    CQRecord* onInterface = cues.Cue(wav);
    onInterface->m_nChannel = 2;
    {
        CCuePlayer refused(onInterface, 0, cues.log, output);
        EXPECT_TRUE(refused.IsFailed());
        EXPECT_EQ(refused.GetFailureMessage(), "Output missing: Studio Interface");
    }

    // Plugged in with more outputs than it had: opened into its channels, its extra pair at the
    // end; the device that was never chosen stays out.
    output.StartRescan(list, kScanMs);
    CQRecord* onStage = cues.Cue(wav, CQRecord::kFlagLooped);
    onStage->m_nChannel = 3;
    CCuePlayer stage(onStage, 0, cues.log, output);
    stage.Start();
    plugged = true;
    const auto changes = PollFor(output, CSoundOutput::DeviceChange::Kind::Found);
    ASSERT_EQ(changes.size(), 1u);
    EXPECT_EQ(changes[0].name, "Studio Interface");
    EXPECT_EQ(Names(output),
              (QStringList{"0 - Desk", "1 - Studio Interface 1/2", "2 - Studio Interface 3/4",
                           "3 - Stage", "4 - Studio Interface 5/6"}));
    EXPECT_TRUE(output.GetMissingChannels().empty());
    EXPECT_EQ(output.GetChosenDevices()[1].outputs, 6u);
    std::this_thread::sleep_for(std::chrono::milliseconds(4 * kScanMs));
    EXPECT_TRUE(output.Poll().empty());
    EXPECT_EQ(output.GetChannelCount(), 5);
    EXPECT_EQ(cues.log->Count(&stage, PLAYER_ENDED), 0);

    // The next Go on it plays, on outputs 3/4 of the interface.
    CCuePlayer found(onInterface, 0, cues.log, output);
    ASSERT_FALSE(found.IsFailed()) << found.GetFailureMessage().toStdString();
    found.Start();
    EXPECT_TRUE(cues.log->WaitFor(&found, PLAYER_ENDED, 5s));
    EXPECT_EQ(output.GetChannel(2)->firstOutput, 2u);
    EXPECT_EQ(output.GetDevice(2)->GetDescription(), "Studio Interface");
}

TEST(DevicePlug, AFoundDeviceWithFewerOutputsLeavesTheRestMissingAndNothingOpensWithoutAChoice) {
    CSoundOutput output;
    ASSERT_TRUE(output.Initialize(Virtual({{"Desk", 2}}), {{"Interface", 6}, {"Desk", 2}}));
    ASSERT_EQ(output.GetChannelCount(), 4);
    output.StartRescan([] { return Virtual({{"Desk", 2}, {"Interface", 3}}); }, kScanMs);
    ASSERT_FALSE(PollFor(output, CSoundOutput::DeviceChange::Kind::Found).empty());
    EXPECT_EQ(Names(output), (QStringList{"0 - Interface 1/2", "1 - Interface 3",
                                          "2 - Interface 5/6 (missing)", "3 - Desk"}));
    EXPECT_EQ(output.GetChannel(1)->width, 1u);

    // Every chosen device missing: nothing to play on, and the hint says what to do.
    CSoundOutput none;
    EXPECT_FALSE(none.Initialize(Virtual({{"Desk", 2}}), {{"Interface", 2}}));
    EXPECT_TRUE(none.GetFailureHint().startsWith("None of the devices chosen"))
        << none.GetFailureHint().toStdString();
}

// Every channel of a 7-output device at once: each pair hears only its own cue, the odd last
// output takes both sides of its cue, and the device's stream carries them all together.
TEST(DevicePlug, EveryPairAndTheMonoLastOutputOfADeviceMixTogether) {
    CSoundOutput output;
    std::vector<std::unique_ptr<OutputDevice>> devices;
    devices.push_back(std::make_unique<OfflineDevice>("Rig", 7));
    ASSERT_TRUE(output.Initialize(std::move(devices)));
    ASSERT_EQ(output.GetChannelCount(), 4);
    std::array<std::unique_ptr<AutoResetEvent>, 8> owned;
    std::array<AutoResetEvent*, 8> events{};
    for (int i = 0; i < 8; ++i) {
        owned[i] = std::make_unique<AutoResetEvent>();
        events[i] = owned[i].get();
    }
    std::vector<std::unique_ptr<SoundBuffer>> buffers;
    for (int channel = 0; channel < 4; ++channel) {
        buffers.push_back(output.CreateBuffer(channel, events));
        ASSERT_NE(buffers.back(), nullptr);
        buffers.back()->SetRefillsExpected(false);
        const auto left = static_cast<int16_t>(1000 * (channel + 1));
        ASSERT_TRUE(FillConstant(*buffers.back(), left, static_cast<int16_t>(-left)));
        ASSERT_TRUE(buffers.back()->Play(true));
    }
    auto* rig = static_cast<OfflineDevice*>(output.GetDevice(0));
    // The mono output takes both sides of its cues: (4000 + -4000) / 2 + (600 + 600) / 2.
    auto extra = output.CreateBuffer(3, events);
    ASSERT_NE(extra, nullptr);
    extra->SetRefillsExpected(false);
    ASSERT_TRUE(FillConstant(*extra, 600, 600));
    ASSERT_TRUE(extra->Play(true));
    EXPECT_EQ(rig->Render(1), (std::vector<int16_t>{1000, -1000, 2000, -2000, 3000, -3000, 600}));
}

// A listing that hangs (a sound server that accepts the connection and never answers) does not
// hold up quitting: the scanner gives up on it after its stop timeout, and the listing may still
// finish afterwards without harm.
TEST(DevicePlug, AHangingListingDoesNotHoldUpQuitting) {
    struct Gate {
        std::atomic<bool> entered{false};
        std::atomic<bool> release{false};
        std::atomic<bool> returned{false};
    };
    auto gate = std::make_shared<Gate>();
    const auto started = std::chrono::steady_clock::now();
    {
        DeviceScanner scanner(
            [gate] {
                gate->entered = true;
                while (!gate->release) std::this_thread::sleep_for(1ms);
                gate->returned = true;
                return Virtual({{"Late", 2}});
            },
            10ms);
        ASSERT_TRUE(WaitUntil([&] { return gate->entered.load(); }, 2s));
    }
    const auto waited = std::chrono::steady_clock::now() - started;
    EXPECT_LT(waited, DeviceScanner::kStopTimeout + 1s);
    gate->release = true;
    EXPECT_TRUE(WaitUntil([&] { return gate->returned.load(); }, 2s));
}
