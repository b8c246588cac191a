// Figures of the sound formats decoded by libsndfile, beside WAV:
//   latency  Go latency (constructor to the first sound out of the mixer) per format
//   render   offline render speed per format, per CPU second (all threads)
//   cues     simultaneous looped cues, half FLAC and half MP3, on one real-time virtual device
//   memory   resident memory a player of a long MP3 adds, beside a WAV player
// usage: marvane_media_bench [latency|render|cues|memory|all] [--runs N] [--seconds S]
//                            [--max-cues N] [--long-mp3 PATH]
#include <sndfile.h>

#include <QByteArray>
#include <QTemporaryDir>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <fstream>
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

struct Format {
    const char* name;
    const char* ext;
    int sf;
};

const Format kFormats[] = {
    {"WAV", "wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16},
    {"FLAC", "flac", SF_FORMAT_FLAC | SF_FORMAT_PCM_16},
    {"MP3", "mp3", SF_FORMAT_MPEG | SF_FORMAT_MPEG_LAYER_III},
    {"Ogg Vorbis", "ogg", SF_FORMAT_OGG | SF_FORMAT_VORBIS},
};

// A stereo 44.1 kHz file of `seconds` of two tones and a little noise (so FLAC has work to do).
QByteArray WriteSound(const QTemporaryDir& dir, const Format& f, double seconds, const char* tag) {
    const QByteArray path = dir.filePath(QStringLiteral("%1.%2").arg(tag, f.ext)).toLocal8Bit();
    SF_INFO info{};
    info.samplerate = 44100;
    info.channels = 2;
    info.format = f.sf;
    SNDFILE* file = sf_open(path.constData(), SFM_WRITE, &info);
    if (file == nullptr) {
        std::fprintf(stderr, "cannot write %s: %s\n", path.constData(), sf_strerror(nullptr));
        std::exit(1);
    }
    std::vector<float> block(2 * 4410);
    uint32_t seed = 1;
    const auto frames = static_cast<long>(seconds * 44100);
    for (long done = 0; done < frames; done += 4410) {
        for (int i = 0; i < 4410; ++i) {
            const double t = static_cast<double>(done + i);
            seed = seed * 1664525u + 1013904223u;
            const double noise = ((seed >> 9) / 8388608.0 - 1.0) * 0.01;
            block[2 * i] = static_cast<float>(0.35 * std::sin(t * 0.031) + noise);
            block[2 * i + 1] = static_cast<float>(0.2 * std::sin(t * 0.0047) + noise);
        }
        sf_writef_float(file, block.data(), 4410);
    }
    sf_close(file);
    return path;
}

using bench::EndCounter;
using bench::ProcessCpuSeconds;

long ResidentKiB() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("VmRSS:", 0) == 0) return std::stol(line.substr(6));
    }
    return 0;
}

void BenchLatency(const QTemporaryDir& dir, int runs) {
    CSoundOutput output;
    bench::ProbeDevice* probe = bench::InitializeProbe(output);
    std::vector<CQRecord> cues(std::size(kFormats));
    std::vector<CQRecord*> turns;
    for (size_t k = 0; k < std::size(kFormats); ++k) {
        cues[k].m_strPath = WriteSound(dir, kFormats[k], 3, "go");
        turns.push_back(&cues[k]);
    }
    const std::vector<std::vector<double>> ms = bench::TimeGos(output, *probe, turns, runs);
    const double wavMedian = ms[0][ms[0].size() / 2];
    for (size_t k = 0; k < std::size(kFormats); ++k) {
        const double median = ms[k][ms[k].size() / 2];
        std::printf("latency: %-10s %d Go's: median %.2f ms (%+.2f ms beside WAV), worst %.2f ms\n",
                    kFormats[k].name, runs, median, median - wavMedian, ms[k].back());
    }
}

void BenchRender(const QTemporaryDir& dir, double seconds) {
    for (const Format& f : kFormats) {
        CQRecord cue;
        cue.m_strPath = WriteSound(dir, f, seconds, "render");
        const bench::OfflineRender run =
            bench::RenderOffline(cue, static_cast<uint64_t>(seconds * 44100 * 2));
        const double cpu = run.cpuSeconds;
        const double audio = static_cast<double>(run.frames) / 44100.0;
        const double wall = run.wallSeconds;
        std::printf(
            "render: %-10s %.0f s cue: %.2f s of CPU = %.0fx real time per CPU second "
            "(%.0fx by the wall clock)\n",
            f.name, seconds, cpu, audio / cpu, audio / wall);
    }
}

struct CuesResult {
    uint64_t underruns = 0;
    uint64_t latePeriods = 0;
};

CuesResult RunCues(const QByteArray& flac, const QByteArray& mp3, int count, double seconds) {
    CSoundOutput output;
    std::vector<std::unique_ptr<OutputDevice>> devices;
    devices.push_back(std::make_unique<VirtualDevice>("Virtual output 1"));
    output.Initialize(std::move(devices));
    auto* device = static_cast<VirtualDevice*>(output.GetDevice(0));
    std::vector<std::unique_ptr<CQRecord>> cues;
    std::vector<std::unique_ptr<CCuePlayer>> players;
    auto waiter = std::make_shared<EndCounter>();
    for (int i = 0; i < count; ++i) {
        cues.push_back(std::make_unique<CQRecord>());
        cues.back()->m_strPath = i % 2 == 0 ? flac : mp3;
        cues.back()->m_dwFlags = CQRecord::kFlagLooped;
        cues.back()->m_nVolume = -30;
        players.push_back(
            std::make_unique<CCuePlayer>(cues.back().get(), (i * 37) % 100, waiter, output));
        players.back()->Start();
    }
    const uint64_t lateBefore = device->GetLatePeriods();
    std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
    CuesResult result;
    for (const auto& p : players) result.underruns += p->GetUnderrunCount();
    result.latePeriods = device->GetLatePeriods() - lateBefore;
    players.clear();
    return result;
}

void BenchCues(const QTemporaryDir& dir, double seconds, int maxCues) {
    const QByteArray flac = WriteSound(dir, kFormats[1], 20, "loop");
    const QByteArray mp3 = WriteSound(dir, kFormats[2], 20, "loop");
    int best = 0;
    for (int count = 16; count <= maxCues; count *= 2) {
        const CuesResult r = RunCues(flac, mp3, count, seconds);
        std::printf(
            "cues: %4d looped cues (half FLAC, half MP3) for %.0f s: underruns %llu, "
            "late device periods %llu\n",
            count, seconds, static_cast<unsigned long long>(r.underruns),
            static_cast<unsigned long long>(r.latePeriods));
        std::fflush(stdout);
        if (r.underruns != 0) break;
        best = count;
    }
    std::printf("cues: largest count without underruns: %d\n", best);
}

// Resident memory a started player adds after playing 20 s on an offline device.
long PlayerKiB(const QByteArray& path, double* openMs, double* seekMs) {
    CSoundOutput output;
    std::vector<std::unique_ptr<OutputDevice>> devices;
    devices.push_back(std::make_unique<OfflineDevice>("Offline"));
    output.Initialize(std::move(devices));
    auto* device = static_cast<OfflineDevice*>(output.GetDevice(0));
    auto waiter = std::make_shared<EndCounter>();
    CQRecord cue;
    cue.m_strPath = path;
    std::vector<int16_t> out(2 * 2048);
    device->Render(out.data(), 2048);  // the mixer's own allocations come before the baseline
    const long before = ResidentKiB();
    const auto t0 = Clock::now();
    auto player = std::make_unique<CCuePlayer>(&cue, 0, waiter, output);
    player->Start();
    *openMs = std::chrono::duration<double, std::milli>(Clock::now() - t0).count();
    for (int i = 0; i < 20 * 44100 / 2048; ++i) device->Render(out.data(), 2048);
    const auto t1 = Clock::now();
    player->SeekToPercent(90);
    *seekMs = std::chrono::duration<double, std::milli>(Clock::now() - t1).count();
    for (int i = 0; i < 5 * 44100 / 2048; ++i) device->Render(out.data(), 2048);
    const long after = ResidentKiB();
    player.reset();
    return after - before;
}

void BenchMemory(const QTemporaryDir& dir, const QByteArray& longMp3) {
    QByteArray mp3 = longMp3;
    if (mp3.isEmpty()) {
        std::printf("memory: no --long-mp3 given: making a 10-minute MP3\n");
        mp3 = WriteSound(dir, kFormats[2], 600, "long");
    }
    const QByteArray wav = WriteSound(dir, kFormats[0], 60, "short");
    double openMs = 0;
    double seekMs = 0;
    const long wavKiB = PlayerKiB(wav, &openMs, &seekMs);
    std::printf("memory: WAV player: +%ld KiB resident; start %.2f ms, seek to 90 %% %.2f ms\n",
                wavKiB, openMs, seekMs);
    const long mp3KiB = PlayerKiB(mp3, &openMs, &seekMs);
    SF_INFO info{};
    SNDFILE* f = sf_open(mp3.constData(), SFM_READ, &info);
    const double minutes = f ? static_cast<double>(info.frames) / info.samplerate / 60 : 0;
    if (f) sf_close(f);
    std::printf(
        "memory: MP3 player (%.0f min): +%ld KiB resident = %+.2f MiB beside the WAV player; "
        "start %.2f ms, seek to 90 %% %.2f ms\n",
        minutes, mp3KiB, (mp3KiB - wavKiB) / 1024.0, openMs, seekMs);
}

}  // namespace

int main(int argc, char** argv) {
    std::string what = argc > 1 && argv[1][0] != '-' ? argv[1] : "all";
    int runs = 60;
    double seconds = 60;
    int maxCues = 256;
    QByteArray longMp3;
    for (int i = 1; i + 1 < argc; ++i) {
        if (std::strcmp(argv[i], "--runs") == 0)
            runs = std::max(1, std::atoi(argv[++i]));
        else if (std::strcmp(argv[i], "--seconds") == 0)
            seconds = std::max(1.0, std::atof(argv[++i]));
        else if (std::strcmp(argv[i], "--max-cues") == 0)
            maxCues = std::max(16, std::atoi(argv[++i]));
        else if (std::strcmp(argv[i], "--long-mp3") == 0)
            longMp3 = argv[++i];
    }
    QTemporaryDir dir;
    if (what == "latency" || what == "all") BenchLatency(dir, runs);
    if (what == "render" || what == "all") BenchRender(dir, seconds);
    if (what == "cues" || what == "all") BenchCues(dir, std::min(seconds, 10.0), maxCues);
    if (what == "memory" || what == "all") BenchMemory(dir, longMp3);
    return 0;
}
