// Players that cannot play, and the lifetime rules of players that can.
#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <thread>

#include "engine/EngineRig.h"
#include "platform/audio/VirtualDevice.h"

using namespace testwav;

namespace {

TEST(CuePlayerLifecycle, FailedPlayersSayWhyAndNeverReport) {
    EngineRig rig;
    Format good;
    const QByteArray data = Samples16({1, 2, 3, 4});
    Format noAlign = good;
    noAlign.blockAlign = 3;
    Format noRate = good;
    noRate.rate = 0;
    Format adpcm = good;
    adpcm.tag = 2;

    struct Case {
        const char* what;
        QByteArray path;
        const char* message;
        PlayerMessageIcon icon;
    };
    const std::vector<Case> cases = {
        {"missing file", rig.PathOf("nothing.wav"),
         "Cannot open WAV file - please check filename and path", PlayerMessageIcon::None},
        {"not RIFF", rig.WriteFile("text.wav", "just text, no header"), "",
         PlayerMessageIcon::None},
        {"no fmt", rig.WriteFile("nofmt.wav", Riff(Chunk("data", data))), "",
         PlayerMessageIcon::None},
        {"no data", rig.WriteFile("nodata.wav", Riff(Chunk("fmt ", FmtBody(good)))), "",
         PlayerMessageIcon::None},
        {"short fmt",
         rig.WriteFile("shortfmt.wav",
                       Riff(Chunk("fmt ", FmtBody(good).left(12)) + Chunk("data", data))),
         "", PlayerMessageIcon::None},
        {"bad block align", rig.WriteFile("align.wav", Wav(noAlign, data)), "",
         PlayerMessageIcon::None},
        {"rate 0", rig.WriteFile("rate.wav", Wav(noRate, data)), "", PlayerMessageIcon::None},
        {"compressed", rig.WriteFile("adpcm.wav", Wav(adpcm, data)), "", PlayerMessageIcon::None},
        {"a folder", rig.PathOf(""), "Cannot open WAV file - please check filename and path",
         PlayerMessageIcon::None},
    };
    for (const Case& c : cases) {
        CQRecord* cue = rig.Cue(c.path);
        auto player = rig.Prepare(cue);
        EXPECT_TRUE(player->IsFailed()) << c.what;
        EXPECT_EQ(player->GetFailureMessage().toStdString(), c.message) << c.what;
        EXPECT_EQ(player->GetFailureIcon(), c.icon) << c.what;
        player->Start();  // does nothing on a failed player
        player->ApplyCommand(CCuePlayer::kKill);
        player->SeekToPercent(50);
        EXPECT_EQ(player->GetElapsedMs(), 0u);
        EXPECT_EQ(player->GetRemainingMs(), 0u);
        player.reset();
        EXPECT_EQ(cue->m_nPlayCount.load(), 0);
    }
    EXPECT_TRUE(rig.log->Entries().empty());
}

TEST(CuePlayerLifecycle, ABufferThatCannotBeCreatedFailsWithTheStopIcon) {
    CSoundOutput none;  // no device was opened
    EngineRig rig;
    CQRecord* cue = rig.WavCue("ok.wav", Ramp16(100, 2, 44100));
    CCuePlayer player(cue, 0, rig.log, none);
    EXPECT_TRUE(player.IsFailed());
    EXPECT_EQ(player.GetFailureMessage().toStdString(),
              "DirectX failed to create secondary buffer");
    EXPECT_EQ(player.GetFailureIcon(), PlayerMessageIcon::Error);
}

TEST(CuePlayerLifecycle, FindsAFileWhoseNameDiffersOnlyInLetterCase) {
    EngineRig rig;
    const QByteArray path = rig.WriteFile("Thunder.wav", Ramp16(100, 2, 44100));
    CQRecord* cue = rig.Cue(path.left(path.size() - 11) + "THUNDER.WAV");
    auto player = rig.Prepare(cue);
    EXPECT_FALSE(player->IsFailed());
}

TEST(CuePlayerLifecycle, DestroyingAPlayingPlayerStopsItAtOnceAndReportsNothingMore) {
    EngineRig rig;
    CQRecord* cue = rig.WavCue("long.wav", Ramp16(400000, 2, 44100));
    auto player = rig.Play(cue);
    rig.RenderRefills(3);
    EXPECT_EQ(cue->m_nPlayCount.load(), 1);
    const CCuePlayer* address = player.get();
    // The device is not rendering: the worker must not wait for it to play a segment.
    const auto start = std::chrono::steady_clock::now();
    player.reset();
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
    EXPECT_EQ(cue->m_nPlayCount.load(), 0);
    EXPECT_EQ(rig.log->Count(address, PLAYER_ENDED), 0);
    rig.RenderRefills(6);
    EXPECT_TRUE(rig.SilentFrom(3 * kRefillFrames + 1));

    // A player that was never started, or has ended, is destroyed as well.
    auto unstarted = rig.Prepare(cue);
    unstarted.reset();
    auto ended = rig.Play(rig.WavCue("short.wav", Ramp16(10, 2, 44100)));
    ASSERT_TRUE(rig.RenderUntilEnded(ended.get(), 100 * kRefillFrames));
    ended.reset();
}

TEST(CuePlayerLifecycle, AFileThatChangesUnderAPlayingCueEndsItCleanlyOrPlaysOn) {
    // The samples of frame i of Ramp16: the file's sound, recognisable frame by frame.
    const auto ramp = [](uint64_t i) {
        return static_cast<int16_t>(1 + static_cast<int>(i % 30000));
    };
    constexpr uint32_t kFrames = 441000;  // ten seconds
    constexpr uint32_t kKept = 50000;     // frames left by the truncation, past the read buffer
    for (const bool looped : {false, true}) {
        for (const int64_t keptBytes : {int64_t{44} + 4 * kKept, int64_t{44}, int64_t{0}}) {
            SCOPED_TRACE(testing::Message() << "looped " << looped << ", kept " << keptBytes);
            EngineRig rig;
            CQRecord* cue = rig.WavCue("shrinks.wav", Ramp16(kFrames, 2, 44100),
                                       looped ? CQRecord::kFlagLooped : 0);
            auto player = rig.Play(cue);
            rig.RenderRefills(10);
            ASSERT_EQ(::truncate(cue->m_strPath.constData(), keptBytes), 0);
            // The reads that fail end the data: the cue plays out what it read and ends, and
            // nothing stale repeats after it, looped or not.
            ASSERT_TRUE(rig.RenderUntilEnded(player.get(), 40 * kRefillFrames + kKept));
            rig.RenderTo(rig.device->GetFramesRendered() + 20 * kRefillFrames);
            const uint64_t heard = keptBytes > 44 ? kKept : 10 * kRefillFrames;
            for (uint64_t i = 0; i < heard; ++i) ASSERT_EQ(rig.Left(i + 2), ramp(i)) << i;
            const int64_t ended = rig.log->FrameOf(player.get(), PLAYER_ENDED);
            EXPECT_LT(ended, static_cast<int64_t>(std::max<uint64_t>(heard, 16 * kRefillFrames) +
                                                  20 * kRefillFrames));
            EXPECT_TRUE(rig.SilentFrom(static_cast<uint64_t>(ended)));
            EXPECT_EQ(player->GetRemainingMs(), 0u);
            EXPECT_EQ(cue->m_nPlayCount.load(), 0);
        }
    }

    // Deleted, or replaced by another file under its name: the open file plays on to its end.
    for (const bool replace : {false, true}) {
        EngineRig rig;
        CQRecord* cue = rig.WavCue("gone.wav", Ramp16(30000, 2, 44100));
        auto player = rig.Play(cue);
        rig.RenderRefills(2);
        ASSERT_EQ(::unlink(cue->m_strPath.constData()), 0);
        if (replace) rig.WriteFile("gone.wav", Ramp16(100, 2, 44100, 20000));
        ASSERT_TRUE(rig.RenderUntilEnded(player.get(), 30000 + 40 * kRefillFrames)) << replace;
        for (uint64_t i = 0; i < 30000; ++i) ASSERT_EQ(rig.Left(i + 2), ramp(i)) << i;
        EXPECT_TRUE(rig.SilentFrom(30002)) << replace;
    }
}

TEST(CuePlayerLifecycle, WithoutAReceiverTheWorkerNeitherCountsNorReports) {
    EngineRig rig;
    CQRecord* cue = rig.WavCue("n.wav", Ramp16(5000, 2, 44100));
    auto receiver = std::make_shared<StatusLog>(rig.device);
    auto player = std::make_unique<CCuePlayer>(cue, 0, receiver, rig.output);
    receiver.reset();  // the view is gone
    player->Start();
    rig.RenderRefills(8);
    EXPECT_EQ(cue->m_nPlayCount.load(), 0);
    EXPECT_EQ(player->GetRemainingMs(), 0u);
    EXPECT_EQ(rig.Left(2), 1);
    EXPECT_TRUE(rig.SilentFrom(5002));
}

TEST(CuePlayerLifecycle, PlayersOfOneCueCountThemselvesEach) {
    EngineRig rig;
    CQRecord* cue = rig.WavCue("m.wav", Ramp16(30000, 2, 44100));
    auto first = rig.Play(cue);
    auto second = rig.Play(cue);
    auto third = rig.Play(cue);
    EXPECT_EQ(cue->m_nPlayCount.load(), 3);
    second->ApplyCommand(CCuePlayer::kKill);
    ASSERT_TRUE(rig.RenderUntilEnded(second.get(), 10 * kRefillFrames));
    EXPECT_EQ(cue->m_nPlayCount.load(), 2);
    ASSERT_TRUE(rig.RenderUntilEnded(third.get(), 100 * kRefillFrames));
    EXPECT_TRUE(rig.log->WaitFor(first.get(), PLAYER_ENDED));
    EXPECT_EQ(cue->m_nPlayCount.load(), 0);
    // Every player reports in order: started, then ended, and nothing after it.
    for (const CCuePlayer* p : {first.get(), second.get(), third.get()}) {
        std::vector<int> statuses;
        for (const auto& e : rig.log->Entries()) {
            if (e.player == p) statuses.push_back(e.status);
        }
        EXPECT_EQ(statuses, (std::vector<int>{PLAYER_STARTED, PLAYER_ENDED}));
    }
}

TEST(CuePlayerLifecycle, PlaysOutInRealTimeOnAClockedDevice) {
    // 0.5 s of sound: the end cannot be reported before it has been heard.
    CSoundOutput output;
    std::vector<std::unique_ptr<OutputDevice>> devices;
    devices.push_back(std::make_unique<VirtualDevice>("Virtual output 1"));
    ASSERT_TRUE(output.Initialize(std::move(devices)));
    EngineRig rig;
    CQRecord* cue = rig.WavCue("rt.wav", Ramp16(22050, 2, 44100));
    const auto start = std::chrono::steady_clock::now();
    CCuePlayer player(cue, 0, rig.log, output);
    player.Start();
    ASSERT_TRUE(rig.log->WaitFor(&player, PLAYER_ENDED, std::chrono::seconds(10)));
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(500));
    EXPECT_EQ(player.GetFramesPlayed() % kRefillFrames, 0u);
    EXPECT_GE(player.GetFramesPlayed(), 22050u);
}

TEST(CuePlayerLifecycle, ReleasingTheDevicesUnderPlayingCuesLeavesThemSafeToControlAndDelete) {
    // As at the program's end: the devices go while cues still play on a running clock; what
    // is left must neither hang in its destructor nor touch a freed device.
    CSoundOutput output;
    std::vector<std::unique_ptr<OutputDevice>> devices;
    devices.push_back(std::make_unique<VirtualDevice>("Virtual output 1"));
    devices.push_back(std::make_unique<VirtualDevice>("Virtual output 2"));
    ASSERT_TRUE(output.Initialize(std::move(devices)));
    EngineRig rig;
    CQRecord* looped = rig.WavCue("rl.wav", Ramp16(30000, 2, 44100), CQRecord::kFlagLooped);
    CQRecord* other = rig.WavCue("r2.wav", Ramp16(400000, 2, 44100));
    other->m_nChannel = 1;
    auto first = std::make_unique<CCuePlayer>(looped, 0, rig.log, output);
    auto second = std::make_unique<CCuePlayer>(other, 0, rig.log, output);
    first->Start();
    second->Start();
    const auto playing = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (first->GetFramesPlayed() < 4 * kRefillFrames &&
           std::chrono::steady_clock::now() < playing) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    EXPECT_GE(first->GetFramesPlayed(), 4 * kRefillFrames);

    output.ReleaseDevices();
    EXPECT_EQ(output.GetChannelCount(), 0);
    for (const unsigned command :
         {CCuePlayer::kSpeedUp, CCuePlayer::kVolDown, CCuePlayer::kFadeOut}) {
        first->ApplyCommand(command);
        second->ApplyCommand(command);
    }
    second->SeekToPercent(50);
    const auto start = std::chrono::steady_clock::now();
    first.reset();
    second.reset();
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
    EXPECT_EQ(looped->m_nPlayCount.load(), 0);
    EXPECT_EQ(other->m_nPlayCount.load(), 0);
}

}  // namespace
