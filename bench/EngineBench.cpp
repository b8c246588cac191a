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
#include <cstdio>
#include <cstring>
#include <ctime>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "GoLatency.h"
#include "cuelist/CQRecord.h"
#include "engine/CCuePlayer.h"
#include "engine/CSoundOutput.h"
#include "platform/audio/DeviceMixer.h"
#include "platform/audio/OfflineDevice.h"
#include "platform/audio/VirtualDevice.h"

namespace {

using bench::Clock;

QByteArray WriteWav(const QTemporaryDir& dir, const char* name, uint32_t frames, uint32_t rate) {
    return bench::WriteToneWav(dir.filePath(QString::fromLatin1(name)), frames, rate);
}

using bench::EndCounter;
using bench::ProcessCpuSeconds;

void BenchRender(const QTemporaryDir& dir, double seconds) {
    for (const uint32_t rate : {44100u, 48000u}) {
        const auto frames = static_cast<uint32_t>(seconds * rate);
        CQRecord cue;
        cue.m_strPath =
            WriteWav(dir, rate == 44100 ? "render44.wav" : "render48.wav", frames, rate);
        const bench::OfflineRender run = bench::RenderOffline(cue, uint64_t{frames} * 2 + 100000);
        const double wall = run.wallSeconds;
        const double cpu = run.cpuSeconds;
        const double audio = static_cast<double>(run.frames) / 44100.0;
        std::printf(
            "render: %u Hz stereo cue of %.0f s: %.3f s wall = %.0fx real time; %.3f s of"
            " CPU (all threads) = %.0fx real time on one core; underruns %llu\n",
            rate, seconds, wall, audio / wall, cpu, audio / cpu,
            static_cast<unsigned long long>(run.underruns));
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
    auto waiter = std::make_shared<EndCounter>();
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

void BenchLatency(const QTemporaryDir& dir, int runs) {
    CQRecord cue;
    cue.m_strPath = WriteWav(dir, "go.wav", 44100 * 2, 44100);
    CSoundOutput output;
    bench::ProbeDevice* probe = bench::InitializeProbe(output);
    const std::vector<double> ms = bench::TimeGos(output, *probe, {&cue}, runs)[0];
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
