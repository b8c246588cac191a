// Cost of the device mixer: the time of one mixing pass with many playing buffers, as a share
// of the device period it must fit in, measured offline (pure mixing) and on the virtual
// real-time device (with its clock thread's scheduling); also with the buffers spread over the
// output pairs of a 16-output device.
#include <pthread.h>
#include <sched.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <memory>
#include <random>
#include <thread>
#include <vector>

#include "platform/audio/DeviceMixer.h"
#include "platform/audio/OfflineDevice.h"
#include "platform/audio/SoundBuffer.h"
#include "platform/audio/VirtualDevice.h"
#include "platform/sync/AutoResetEvent.h"

namespace {

// CPU time of the calling thread: unlike the wall clock it does not count the time the thread
// was preempted, which on a busy machine dwarfs the mixing itself.
double ThreadCpuUs() {
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return ts.tv_sec * 1e6 + ts.tv_nsec / 1e3;
}

struct Streaming {
    std::unique_ptr<SoundBuffer> buffer;
    std::vector<std::unique_ptr<AutoResetEvent>> events;
};

// Fills the buffer with noise, gives it a level and pan, notification events as a player's
// buffer has, and starts it looping.
Streaming StartNoise(OutputDevice& device, std::mt19937& random, uint32_t firstOutput = 0) {
    Streaming s;
    s.buffer = device.CreateBuffer(firstOutput, 2);
    if (!s.buffer) return s;
    void* p1 = nullptr;
    void* p2 = nullptr;
    uint32_t n1 = 0;
    uint32_t n2 = 0;
    s.buffer->Lock(0, SoundBuffer::kBufferBytes, &p1, &n1, &p2, &n2);
    std::uniform_int_distribution<int> sample(-20000, 20000);
    auto* samples = static_cast<int16_t*>(p1);
    for (uint32_t i = 0; i < n1 / 2; ++i) samples[i] = static_cast<int16_t>(sample(random));
    s.buffer->Unlock(p1, n1, p2, n2);
    std::vector<AutoResetEvent*> list;
    for (int i = 0; i < 8; ++i) {
        s.events.push_back(std::make_unique<AutoResetEvent>());
        list.push_back(s.events.back().get());
    }
    s.buffer->SetNotificationPositions(
        SoundBuffer::SegmentEndNotifications(std::span<AutoResetEvent* const, 8>(list.data(), 8)));
    s.buffer->SetRefillsExpected(false);  // nobody refills: do not count underruns
    s.buffer->SetVolume(std::uniform_int_distribution<int>(-3000, 0)(random));
    s.buffer->SetPan(std::uniform_int_distribution<int>(-2000, 2000)(random));
    s.buffer->Play(true);
    return s;
}

// Times `passes` mixing passes of `period` frames after a warm-up: wall clock and the thread's
// CPU time of each pass in microseconds, both sorted.
struct PassTimes {
    std::vector<double> wall;
    std::vector<double> cpu;
};

PassTimes TimePasses(DeviceMixer& mixer, uint32_t outputs, uint32_t period, int passes) {
    std::vector<int16_t> out(static_cast<size_t>(outputs) * period);
    PassTimes times;
    times.wall.reserve(passes);
    times.cpu.reserve(passes);
    for (int i = 0; i < 50; ++i) mixer.Mix(out.data(), period);  // warm up
    for (int i = 0; i < passes; ++i) {
        const double c0 = ThreadCpuUs();
        const auto t0 = std::chrono::steady_clock::now();
        mixer.Mix(out.data(), period);
        times.wall.push_back(
            std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - t0)
                .count());
        times.cpu.push_back(ThreadCpuUs() - c0);
    }
    std::sort(times.wall.begin(), times.wall.end());
    std::sort(times.cpu.begin(), times.cpu.end());
    return times;
}

void OfflineFigures(int buffers, uint32_t period, int passes) {
    OfflineDevice device("bench");
    std::mt19937 random(7);
    std::vector<Streaming> playing;
    for (int i = 0; i < buffers; ++i) playing.push_back(StartNoise(device, random));
    DeviceMixer& mixer = *device.GetMixer();
    const auto [wall, cpu] = TimePasses(mixer, 2, period, passes);
    const double periodUs = period * 1e6 / 44100.0;
    const auto share = [periodUs](double us) { return 100 * us / periodUs; };
    const double median = cpu[cpu.size() / 2];
    const double p99 = cpu[cpu.size() * 99 / 100];
    std::printf(
        "offline  %3d buffers, period %4u (%.2f ms): CPU median %6.1f us (%5.2f %%), p99 %6.1f us "
        "(%5.2f %%), worst %6.1f us (%5.2f %%); worst wall %8.1f us (%6.2f %%)\n",
        buffers, period, periodUs / 1000, median, share(median), p99, share(p99), cpu.back(),
        share(cpu.back()), wall.back(), share(wall.back()));
}

// The worst pass and the late periods of a real-time virtual device of `outputs` outputs playing
// `buffers` cues spread round its pairs, over `seconds` after a short settling.
struct RealTimeResult {
    double worstUs;
    uint64_t late;
};

RealTimeResult RunRealTime(int buffers, uint32_t outputs, uint32_t period, int seconds,
                           unsigned seed) {
    VirtualDevice device("bench", {}, period, outputs);
    std::mt19937 random(seed);
    std::vector<Streaming> playing;
    for (int i = 0; i < buffers; ++i) {
        playing.push_back(StartNoise(device, random, (2 * i) % outputs));
    }
    device.Open();
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    device.GetMixer()->ResetPassStatistics();
    std::this_thread::sleep_for(std::chrono::seconds(seconds));
    const RealTimeResult result{device.GetMixer()->GetWorstPassNs() / 1000.0,
                                device.GetLatePeriods()};
    device.Close();
    return result;
}

void RealTimeFigures(int buffers, uint32_t period, int seconds) {
    const auto [worstUs, late] = RunRealTime(buffers, 2, period, seconds, 11);
    const double periodUs = period * 1e6 / 44100.0;
    std::printf(
        "virtual  %3d buffers, period %4u (%.2f ms), %d s real time: worst pass %7.1f us "
        "(%5.2f %% of the period), %llu late periods\n",
        buffers, period, periodUs / 1000, seconds, worstUs, 100 * worstUs / periodUs,
        static_cast<unsigned long long>(late));
}

// `buffers` cues spread round the output pairs of an `outputs`-output device: the pure mixing
// pass (offline, thread CPU time and wall clock) and the worst pass of the virtual real-time
// device, as shares of the period.
void MultichannelFigures(int buffers, uint32_t outputs, uint32_t period, int passes, int seconds) {
    const double periodUs = period * 1e6 / 44100.0;
    const auto share = [periodUs](double us) { return 100 * us / periodUs; };
    {
        OfflineDevice device("bench", outputs);
        std::mt19937 random(13);
        std::vector<Streaming> playing;
        for (int i = 0; i < buffers; ++i) {
            playing.push_back(StartNoise(device, random, (2 * i) % outputs));
        }
        DeviceMixer& mixer = *device.GetMixer();
        const auto [wall, cpu] = TimePasses(mixer, outputs, period, passes);
        const double median = cpu[cpu.size() / 2];
        std::printf(
            "offline  %3d buffers over the %u pairs of a %u-output device, period %4u (%.2f ms), "
            "%d passes: CPU median %6.1f us (%5.2f %%), worst %6.1f us (%5.2f %%); wall median "
            "%6.1f us (%5.2f %%), worst %8.1f us (%6.2f %%)\n",
            buffers, outputs / 2, outputs, period, periodUs / 1000, passes, median, share(median),
            cpu.back(), share(cpu.back()), wall[wall.size() / 2], share(wall[wall.size() / 2]),
            wall.back(), share(wall.back()));
    }
    const auto [worstUs, late] = RunRealTime(buffers, outputs, period, seconds, 17);
    std::printf(
        "virtual  %3d buffers over the %u pairs of a %u-output device, period %4u (%.2f ms), %d s "
        "real time: worst pass %7.1f us (%5.2f %% of the period), %llu late periods\n",
        buffers, outputs / 2, outputs, period, periodUs / 1000, seconds, worstUs, share(worstUs),
        static_cast<unsigned long long>(late));
}

}  // namespace

int main(int argc, char** argv) {
    // Mix at real-time priority where allowed, as a device's thread does, so that the wall
    // clock figures measure the mixer rather than the machine's other load.
    sched_param param{};
    param.sched_priority = 10;
    const bool realTime = pthread_setschedparam(pthread_self(), SCHED_FIFO, &param) == 0;
    std::printf("offline passes at %s priority\n", realTime ? "real-time" : "normal");
    const int seconds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 10;
    for (int buffers : {1, 16, 64, 128, 256}) OfflineFigures(buffers, 512, 5000);
    OfflineFigures(64, 256, 5000);
    RealTimeFigures(64, 512, seconds);
    RealTimeFigures(64, 256, seconds);
    for (uint32_t period : {128u, 256u, 512u}) MultichannelFigures(64, 16, period, 5000, seconds);
    return 0;
}
