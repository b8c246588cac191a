#pragma once

#include <gtest/gtest.h>

#include <QByteArray>
#include <QTemporaryDir>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <map>
#include <memory>
#include <mutex>
#include <vector>

#include "cuelist/CQRecord.h"
#include "engine/CCuePlayer.h"
#include "engine/CSoundOutput.h"
#include "platform/audio/OfflineDevice.h"
#include "platform/media/TestWav.h"

// Records every status a player reports, with the output frame of the device at that moment.
class StatusLog : public IPlayerStatusReceiver {
public:
    struct Entry {
        CCuePlayer* player;
        int status;
        uint64_t frame;
    };

    explicit StatusLog(const OfflineDevice* clock) : m_clock(clock) {}

    // The device frame at which `player` starts (before its Start): its reports are stamped
    // with that frame plus the frames it has played, which does not race with the mixer.
    void SetStartFrame(const CCuePlayer* player, uint64_t frame) {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_starts[player] = frame;
    }

    void OnPlayerStatus(CCuePlayer* player, int status) override {
        std::lock_guard<std::mutex> lock(m_mutex);
        const auto start = m_starts.find(player);
        const uint64_t frame = start != m_starts.end()
                                   ? start->second + player->GetFramesPlayed()
                                   : (m_clock ? m_clock->GetFramesRendered() : 0);
        m_entries.push_back({player, status, frame});
        m_changed.notify_all();
    }

    std::vector<Entry> Entries() const {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_entries;
    }

    // The frame of the first report of `status` by `player`, or -1 when there is none.
    int64_t FrameOf(const CCuePlayer* player, int status) const {
        std::lock_guard<std::mutex> lock(m_mutex);
        for (const Entry& e : m_entries) {
            if (e.player == player && e.status == status) return static_cast<int64_t>(e.frame);
        }
        return -1;
    }

    int Count(const CCuePlayer* player, int status) const {
        std::lock_guard<std::mutex> lock(m_mutex);
        int n = 0;
        for (const Entry& e : m_entries) n += e.player == player && e.status == status;
        return n;
    }

    bool WaitFor(const CCuePlayer* player, int status,
                 std::chrono::milliseconds timeout = std::chrono::seconds(5)) const {
        std::unique_lock<std::mutex> lock(m_mutex);
        return m_changed.wait_for(lock, timeout, [&] {
            for (const Entry& e : m_entries) {
                if (e.player == player && e.status == status) return true;
            }
            return false;
        });
    }

private:
    const OfflineDevice* m_clock;
    mutable std::mutex m_mutex;
    mutable std::condition_variable m_changed;
    std::vector<Entry> m_entries;
    std::map<const CCuePlayer*, uint64_t> m_starts;
};

// One segment of the cue buffer: the refill period of a player's worker.
inline constexpr uint32_t kRefillFrames = 2048;

// An audio output of offline devices, a status log, and cue records over generated WAV files.
class EngineRig {
public:
    explicit EngineRig(int devices = 1) {
        std::vector<std::unique_ptr<OutputDevice>> candidates;
        for (int i = 0; i < devices; ++i) {
            candidates.push_back(
                std::make_unique<OfflineDevice>("Offline " + std::to_string(i + 1)));
        }
        EXPECT_TRUE(output.Initialize(std::move(candidates)));
        device = static_cast<OfflineDevice*>(output.GetDevice(0));
        log = std::make_shared<StatusLog>(device);
    }

    // The path of `name` in the rig's temporary folder (the folder itself for an empty name).
    QByteArray PathOf(const char* name) const {
        return m_dir.filePath(QString::fromLatin1(name)).toLocal8Bit();
    }

    QByteArray WriteFile(const char* name, const QByteArray& bytes) {
        const QString path = m_dir.filePath(QString::fromLatin1(name));
        EXPECT_TRUE(testwav::WriteFile(path, bytes));
        return path.toLocal8Bit();
    }

    // A cue record on `path`: full level, centred, no fades unless set later.
    CQRecord* Cue(const QByteArray& path, uint32_t flags = 0) {
        m_records.push_back(std::make_unique<CQRecord>());
        CQRecord* cue = m_records.back().get();
        cue->m_strPath = path;
        cue->m_dwFlags = flags;
        return cue;
    }

    CQRecord* WavCue(const char* name, const QByteArray& wav, uint32_t flags = 0) {
        return Cue(WriteFile(name, wav), flags);
    }

    std::unique_ptr<CCuePlayer> Prepare(CQRecord* cue, unsigned percent = 0) {
        return std::make_unique<CCuePlayer>(cue, percent, log, output);
    }

    std::unique_ptr<CCuePlayer> Play(CQRecord* cue, unsigned percent = 0) {
        auto player = Prepare(cue, percent);
        EXPECT_FALSE(player->IsFailed()) << player->GetFailureMessage().toStdString();
        log->SetStartFrame(player.get(), device->GetFramesRendered());
        player->Start();
        return player;
    }

    // Renders up to the device frame `frame` and appends it to `mix`.
    void RenderTo(uint64_t frame) {
        const uint64_t now = device->GetFramesRendered();
        if (frame <= now) return;
        const std::vector<int16_t> out = device->Render(static_cast<uint32_t>(frame - now));
        mix.insert(mix.end(), out.begin(), out.end());
    }

    // Renders just past the k-th segment boundary: the worker has then done its first fill and
    // k refills, and not one more.
    void RenderRefills(uint64_t k) { RenderTo(k * kRefillFrames + 1); }

    // Renders segment by segment until `player` has reported its end (or `maxFrames`).
    bool RenderUntilEnded(const CCuePlayer* player, uint64_t maxFrames) {
        while (device->GetFramesRendered() < maxFrames) {
            if (log->FrameOf(player, PLAYER_ENDED) >= 0) return true;
            RenderTo(device->GetFramesRendered() + kRefillFrames);
        }
        return log->WaitFor(player, PLAYER_ENDED, std::chrono::seconds(2));
    }

    int16_t Left(uint64_t frame) const { return mix.at(2 * frame); }
    int16_t Right(uint64_t frame) const { return mix.at(2 * frame + 1); }

    bool SilentFrom(uint64_t frame) const {
        for (uint64_t i = 2 * frame; i < mix.size(); ++i) {
            if (mix[i] != 0) return false;
        }
        return true;
    }

    CSoundOutput output;
    OfflineDevice* device = nullptr;
    std::shared_ptr<StatusLog> log;
    std::vector<int16_t> mix;  // left/right pairs of device 0 from frame 0 on

private:
    QTemporaryDir m_dir;
    std::vector<std::unique_ptr<CQRecord>> m_records;
};

// The sample a constant source value becomes at a level in hundredths of a decibel.
inline int ScaledSample(int value, int level) {
    if (level <= -10000) return 0;
    return static_cast<int>(std::lrintf(static_cast<float>(value) *
                                        static_cast<float>(std::pow(10.0, level / 2000.0))));
}
