#pragma once

// Go latency, shared by the benchmarks: a device with the virtual device's real-time clock that
// notes when the first non-zero sample leaves its mixer, and the loop that times Go's on it.
#include <QByteArray>
#include <QString>
#include <atomic>
#include <chrono>
#include <functional>
#include <thread>
#include <vector>

#include "engine/CCuePlayer.h"
#include "platform/audio/OutputDevice.h"

class CQRecord;
class CSoundOutput;

namespace bench {

using Clock = std::chrono::steady_clock;

// CPU time of the whole process (all threads), in seconds.
double ProcessCpuSeconds();

// Counts the players that reached their end. Player workers call it.
class EndCounter : public IPlayerStatusReceiver {
public:
    void OnPlayerStatus(CCuePlayer*, int status) override {
        if (status == PLAYER_ENDED) m_ended.fetch_add(1);
    }
    int Ended() const { return m_ended.load(); }

private:
    std::atomic<int> m_ended{0};
};

class ProbeDevice : public OutputDevice {
public:
    ProbeDevice() : OutputDevice("Probe") {}
    ~ProbeDevice() override { Close(); }
    bool Open() override;
    void Close() override;
    bool IsOpen() const override { return m_thread.joinable(); }
    uint32_t GetPeriodFrames() const override;

    // Forgets what was heard; the next non-zero sample is noted.
    void Arm() { m_heard.store(-1); }
    // The instant of the first non-zero sample since Arm, or false when none came yet.
    bool Heard(Clock::time_point* when) const;

private:
    void Loop();  // the device's clock thread

    std::thread m_thread;
    std::atomic<bool> m_stop{false};
    std::atomic<Clock::rep> m_heard{0};
};

// A sound output with one ProbeDevice, which it returns.
ProbeDevice* InitializeProbe(CSoundOutput& output);

// Times `runs` Go's of each of `cues`, the cues taking turns so that each meets the machine in
// the same state: from the player's constructor to the first sound out of the mixer, in ms.
// `before(run, cue)`, when given, runs before each Go (outside the timing). Returns one list per
// cue, sorted.
std::vector<std::vector<double>> TimeGos(
    CSoundOutput& output, ProbeDevice& probe, const std::vector<CQRecord*>& cues, int runs,
    const std::function<void(int run, size_t cue)>& before = {});

// One cue played through a fresh offline device as fast as it renders, until it ends or
// `limitFrames` have been rendered.
struct OfflineRender {
    uint64_t frames = 0;  // rendered
    double wallSeconds = 0;
    double cpuSeconds = 0;  // of the whole process
    uint64_t underruns = 0;
};
OfflineRender RenderOffline(CQRecord& cue, uint64_t limitFrames);

// Writes `path`: a 16-bit stereo WAV file of `frames` frames at `rate` Hz, a tone that is never
// silent. Returns the path as the cue stores it.
QByteArray WriteToneWav(const QString& path, uint32_t frames, uint32_t rate);

}  // namespace bench
