// Figures of the playback engine:
//   render   offline render speed of one 44.1 kHz stereo cue, as a multiple of real time
//   cues     simultaneous looped cues on one real-time virtual device without underruns
//   latency  Go latency: player constructor to the first non-zero sample leaving the mixer
// usage: marvane_engine_bench [render|cues|latency|all] [--seconds S] [--max-cues N]
//                             [--runs N]
#include <QByteArray>
#include <QTemporaryDir>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "cuelist/CQRecord.h"
#include "engine/CCuePlayer.h"
#include "engine/CSoundOutput.h"
#include "platform/audio/DeviceMixer.h"
#include "platform/audio/OfflineDevice.h"
#include "platform/audio/VirtualDevice.h"
#include "platform/media/WaveHeader.h"

namespace {

using Clock = std::chrono::steady_clock;

QByteArray MakeWav(uint32_t frames, uint32_t rate) {
    QByteArray data;
    data.resize(static_cast<qsizetype>(frames) * 4);
    auto* p = reinterpret_cast<uint8_t*>(data.data());
    for (uint32_t i = 0; i < frames; ++i) {
        const auto v = static_cast<int16_t>(12000 * std::sin(i * 0.031) + 1);
        const auto u = static_cast<uint16_t>(v == 0 ? 1 : v);
        p[4 * i] = p[4 * i + 2] = static_cast<uint8_t>(u & 0xFF);
        p[4 * i + 1] = p[4 * i + 3] = static_cast<uint8_t>(u >> 8);
    }
    const auto h = PcmWaveHeader(2, rate, 16, static_cast<uint32_t>(data.size()));
    return QByteArray(h.data(), h.size()) + data;
}

QByteArray WriteWav(const QTemporaryDir& dir, const char* name, uint32_t frames, uint32_t rate) {
    const QString path = dir.filePath(QString::fromLatin1(name));
    FILE* f = std::fopen(path.toLocal8Bit().constData(), "wb");
    const QByteArray bytes = MakeWav(frames, rate);
    if (f) {
        std::fwrite(bytes.constData(), 1, static_cast<size_t>(bytes.size()), f);
        std::fclose(f);
    }
    return path.toLocal8Bit();
}

double ProcessCpuSeconds() {
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) + ts.tv_nsec * 1e-9;
}

class EndWaiter : public IPlayerStatusReceiver {
public:
    void OnPlayerStatus(CCuePlayer*, int status) override {
        if (status != PLAYER_ENDED) return;
        std::lock_guard<std::mutex> lock(m_mutex);
        ++m_ended;
        m_changed.notify_all();
    }
    int Ended() {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_ended;
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_changed;
    int m_ended = 0;
};

void BenchRender(const QTemporaryDir& dir, double seconds) {
    for (const uint32_t rate : {44100u, 48000u}) {
        const auto frames = static_cast<uint32_t>(seconds * rate);
        CQRecord cue;
        cue.m_strPath =
            WriteWav(dir, rate == 44100 ? "render44.wav" : "render48.wav", frames, rate);
        CSoundOutput output;
        std::vector<std::unique_ptr<OutputDevice>> devices;
        devices.push_back(std::make_unique<OfflineDevice>("Offline"));
        output.Initialize(std::move(devices));
        auto* device = static_cast<OfflineDevice*>(output.GetDevice(0));
        auto waiter = std::make_shared<EndWaiter>();
        std::vector<int16_t> out(2 * 2048);

        const auto t0 = Clock::now();
        const double cpu0 = ProcessCpuSeconds();
        CCuePlayer player(&cue, 0, waiter, output);
        player.Start();
        uint64_t rendered = 0;
        while (waiter->Ended() == 0 && rendered < uint64_t{frames} * 2 + 100000) {
            device->Render(out.data(), 2048);
            rendered += 2048;
        }
        const double wall = std::chrono::duration<double>(Clock::now() - t0).count();
        const double cpu = ProcessCpuSeconds() - cpu0;
        const double audio = static_cast<double>(rendered) / 44100.0;
        std::printf(
            "render: %u Hz stereo cue of %.0f s: %.3f s wall = %.0fx real time; %.3f s of"
            " CPU (all threads) = %.0fx real time on one core; underruns %llu\n",
            rate, seconds, wall, audio / wall, cpu, audio / cpu,
            static_cast<unsigned long long>(player.GetUnderrunCount()));
    }
}

// Starts `count` looped cues on one real-time virtual device and lets them play `seconds`.
// Returns the underruns counted by their buffers and by the device's clock.
struct CuesResult {
    uint64_t underruns = 0;
    uint64_t latePeriods = 0;
    double worstPassShare = 0;  // worst mixing pass as a share of the device period
};

CuesResult RunCues(const QByteArray& path, int count, double seconds) {
    CSoundOutput output;
    std::vector<std::unique_ptr<OutputDevice>> devices;
    devices.push_back(std::make_unique<VirtualDevice>("Virtual output 1"));
    output.Initialize(std::move(devices));
    OutputDevice* device = output.GetDevice(0);
    std::vector<std::unique_ptr<CQRecord>> cues;
    std::vector<std::unique_ptr<CCuePlayer>> players;
    auto waiter = std::make_shared<EndWaiter>();
    for (int i = 0; i < count; ++i) {
        cues.push_back(std::make_unique<CQRecord>());
        cues.back()->m_strPath = path;
        cues.back()->m_dwFlags = CQRecord::kFlagLooped;
        cues.back()->m_nVolume = -30;
        players.push_back(std::make_unique<CCuePlayer>(cues.back().get(), 0, waiter, output));
        players.back()->Start();
    }
    const auto* virtualDevice = static_cast<VirtualDevice*>(device);
    const uint64_t lateBefore = virtualDevice->GetLatePeriods();
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    device->GetMixer()->ResetPassStatistics();
    std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
    CuesResult result;
    for (const auto& p : players) result.underruns += p->GetUnderrunCount();
    result.latePeriods = virtualDevice->GetLatePeriods() - lateBefore;
    const double periodNs = device->GetPeriodFrames() * 1e9 / 44100.0;
    result.worstPassShare = device->GetMixer()->GetWorstPassNs() / periodNs;
    players.clear();
    return result;
}

void BenchCues(const QTemporaryDir& dir, double seconds, int maxCues) {
    const QByteArray path = WriteWav(dir, "loop.wav", 44100 * 3, 44100);
    int best = 0;
    for (int count = 16; count <= maxCues; count *= 2) {
        const CuesResult r = RunCues(path, count, seconds);
        std::printf(
            "cues: %4d looped cues for %.0f s: underruns %llu, late device periods %llu,"
            " worst mixing pass %.1f %% of the period\n",
            count, seconds, static_cast<unsigned long long>(r.underruns),
            static_cast<unsigned long long>(r.latePeriods), 100 * r.worstPassShare);
        std::fflush(stdout);
        if (r.underruns != 0) break;
        best = count;
    }
    std::printf("cues: largest count without underruns: %d\n", best);
}

// A device with the virtual device's real-time clock that notes when the first non-zero
// sample leaves its mixer.
class ProbeDevice : public OutputDevice {
public:
    ProbeDevice() : OutputDevice("Probe") {}
    ~ProbeDevice() override { Close(); }
    bool Open() override {
        m_stop = false;
        m_thread = std::thread([this] { Loop(); });
        return true;
    }
    void Close() override {
        m_stop = true;
        if (m_thread.joinable()) m_thread.join();
    }
    bool IsOpen() const override { return m_thread.joinable(); }
    uint32_t GetPeriodFrames() const override { return VirtualDevice::kDefaultPeriodFrames; }

    void Arm() { m_heard.store(Clock::time_point::min().time_since_epoch().count()); }
    // The instant of the first non-zero sample since Arm, or nothing yet.
    bool Heard(Clock::time_point* when) const {
        const auto ticks = m_heard.load();
        if (ticks == Clock::time_point::min().time_since_epoch().count() || ticks == 0) {
            return false;
        }
        *when = Clock::time_point(Clock::duration(ticks));
        return true;
    }

private:
    void Loop() {
        const uint32_t frames = GetPeriodFrames();
        std::vector<int16_t> period(2 * frames);
        const auto length = std::chrono::nanoseconds(int64_t{frames} * 1'000'000'000 / 44100);
        auto due = Clock::now();
        while (!m_stop) {
            GetMixer()->Mix(period.data(), frames);
            const auto now = Clock::now();
            if (m_heard.load() == Clock::time_point::min().time_since_epoch().count() &&
                std::any_of(period.begin(), period.end(), [](int16_t s) { return s != 0; })) {
                m_heard.store(now.time_since_epoch().count());
            }
            due += length;
            if (now > due + 8 * length) due = now;
            std::this_thread::sleep_until(due);
        }
    }

    std::thread m_thread;
    std::atomic<bool> m_stop{false};
    std::atomic<Clock::rep> m_heard{0};
};

void BenchLatency(const QTemporaryDir& dir, int runs) {
    const QByteArray path = WriteWav(dir, "go.wav", 44100 * 2, 44100);
    CSoundOutput output;
    std::vector<std::unique_ptr<OutputDevice>> devices;
    devices.push_back(std::make_unique<ProbeDevice>());
    output.Initialize(std::move(devices));
    auto* probe = static_cast<ProbeDevice*>(output.GetDevice(0));
    auto waiter = std::make_shared<EndWaiter>();
    CQRecord cue;
    cue.m_strPath = path;
    std::vector<double> ms;
    for (int i = 0; i < runs; ++i) {
        probe->Arm();
        const auto t0 = Clock::now();
        auto player = std::make_unique<CCuePlayer>(&cue, 0, waiter, output);
        player->Start();
        Clock::time_point heard;
        while (!probe->Heard(&heard)) std::this_thread::sleep_for(std::chrono::microseconds(100));
        ms.push_back(std::chrono::duration<double, std::milli>(heard - t0).count());
        player.reset();
        // Vary where in the device period the next Go falls.
        std::this_thread::sleep_for(std::chrono::microseconds(7000 + 997 * (i % 7)));
    }
    std::sort(ms.begin(), ms.end());
    const double period = VirtualDevice::kDefaultPeriodFrames * 1000.0 / 44100;
    std::printf(
        "latency: %d Go's, constructor to first sound out of the mixer: median %.2f ms,"
        " worst %.2f ms (device period %.2f ms)\n",
        runs, ms[ms.size() / 2], ms.back(), period);
}

}  // namespace

int main(int argc, char** argv) {
    std::string mode = "all";
    double seconds = 30;
    int maxCues = 256;
    int runs = 200;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--seconds" && i + 1 < argc) {
            seconds = std::max(1.0, std::atof(argv[++i]));
        } else if (arg == "--max-cues" && i + 1 < argc) {
            maxCues = std::max(16, std::atoi(argv[++i]));
        } else if (arg == "--runs" && i + 1 < argc) {
            runs = std::max(1, std::atoi(argv[++i]));
        } else {
            mode = arg;
        }
    }
    QTemporaryDir dir;
    if (mode == "render" || mode == "all") BenchRender(dir, 60);
    if (mode == "latency" || mode == "all") BenchLatency(dir, runs);
    if (mode == "cues" || mode == "all") BenchCues(dir, seconds, maxCues);
    return 0;
}
