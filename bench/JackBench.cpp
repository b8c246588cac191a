// Figures of the JACK output on a JACK dummy server that this program starts and stops:
//   latency  Go to the JACK period in which the cue's first sample is on our port, for periods
//            of 128 and 512 frames (44.1 kHz) and 128 frames at 48 kHz; plus the playback
//            latency JACK reports from our port to the speaker
//   restart  the server killed and started again: time until the device is reopened and until
//            a new Go is heard, with the window's device watch polling every 200 ms
// usage: marvane_jack_bench [latency|restart|all] [--runs N]
#include <QByteArray>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "cuelist/CQRecord.h"
#include "engine/CCuePlayer.h"
#include "engine/CSoundOutput.h"
#include "platform/audio/JackDevice.h"
#include "platform/audio/JackMeter.h"
#include "platform/audio/JackServer.h"
#include "platform/media/WaveHeader.h"

namespace {

using Clock = std::chrono::steady_clock;

double Ms(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

// A 44.1 kHz stereo tone whose every sample is non-zero.
QByteArray WriteTone(const QTemporaryDir& dir, uint32_t frames) {
    QByteArray data;
    data.resize(static_cast<qsizetype>(frames) * 4);
    auto* p = reinterpret_cast<uint8_t*>(data.data());
    for (uint32_t i = 0; i < frames; ++i) {
        auto v = static_cast<int16_t>(8000 * std::sin(i * 0.031));
        if (v == 0) v = 1;
        const auto u = static_cast<uint16_t>(v);
        p[4 * i] = p[4 * i + 2] = static_cast<uint8_t>(u & 0xFF);
        p[4 * i + 1] = p[4 * i + 3] = static_cast<uint8_t>(u >> 8);
    }
    const auto h = PcmWaveHeader(2, 44100, 16, static_cast<uint32_t>(data.size()));
    const QString path = dir.filePath(QStringLiteral("tone.wav"));
    if (FILE* f = std::fopen(path.toLocal8Bit().constData(), "wb")) {
        std::fwrite(h.data(), 1, h.size(), f);
        std::fwrite(data.constData(), 1, static_cast<size_t>(data.size()), f);
        std::fclose(f);
    }
    return path.toLocal8Bit();
}

// One name, so that a server left by an interrupted run is replaced, not added.
const QString kServerName = QStringLiteral("marvane-jack-bench");

class NullReceiver : public IPlayerStatusReceiver {
public:
    void OnPlayerStatus(CCuePlayer*, int) override {}
};

std::vector<std::string> PortsOf(const JackDevice& device) {
    std::vector<std::string> ports;
    for (uint32_t o = 0; o < device.GetOutputCount(); ++o) ports.push_back(device.GetPortName(o));
    return ports;
}

// One Go: from before the player is made to the period in which the meter hears the cue.
// Returns the milliseconds from the Go and from the Start call, or negative when not heard.
std::pair<double, double> TimeGo(CSoundOutput& output, JackMeter& meter, CQRecord& cue,
                                 const std::shared_ptr<NullReceiver>& receiver) {
    meter.Arm(0);
    const auto go = Clock::now();
    auto player = std::make_unique<CCuePlayer>(&cue, 0, receiver, output);
    const auto start = Clock::now();
    player->Start();
    Clock::time_point heard;
    const auto until = go + std::chrono::seconds(2);
    while (!meter.Heard(&heard)) {
        if (Clock::now() > until) return {-1, -1};
        std::this_thread::sleep_for(std::chrono::microseconds(100));
    }
    return {Ms(heard - go), Ms(heard - start)};
}

void BenchLatency(const QTemporaryDir& dir, int runs) {
    const QByteArray path = WriteTone(dir, 44100);
    struct Setting {
        uint32_t rate;
        uint32_t period;
    };
    for (const Setting setting : {Setting{44100, 128}, Setting{44100, 512}, Setting{48000, 128}}) {
        JackServer server(kServerName, {"-r", QString::number(setting.rate), "-p",
                                        QString::number(setting.period)});
        if (!server.Start()) {
            std::printf("latency: jackd -p %u did not start\n", setting.period);
            continue;
        }
        CSoundOutput output;
        if (!output.Initialize(JackDevice::Enumerate())) {
            std::printf("latency: no JACK device\n");
            continue;
        }
        auto* device = static_cast<JackDevice*>(output.GetDevice(0));
        JackMeter meter(2);
        meter.Listen(PortsOf(*device));
        auto receiver = std::make_shared<NullReceiver>();
        CQRecord cue;
        cue.m_strPath = path;
        std::vector<double> fromGo;
        std::vector<double> fromStart;
        int missed = 0;
        const uint64_t xrunsBefore = device->GetDropoutCount();
        for (int i = 0; i < runs; ++i) {
            const auto [go, start] = TimeGo(output, meter, cue, receiver);
            if (go < 0) {
                ++missed;
            } else {
                fromGo.push_back(go);
                fromStart.push_back(start);
            }
            // Vary where in the period the next Go falls.
            std::this_thread::sleep_for(std::chrono::microseconds(5000 + 997 * (i % 7)));
        }
        std::sort(fromGo.begin(), fromGo.end());
        std::sort(fromStart.begin(), fromStart.end());
        const double period = setting.period * 1000.0 / setting.rate;
        const double reported = device->GetPlaybackLatencyFrames() * 1000.0 / setting.rate;
        if (fromGo.empty()) {
            std::printf("latency: -p %u: nothing heard\n", setting.period);
            continue;
        }
        std::printf(
            "latency: %u Hz, period %u (%.2f ms), %zu Go's: Go to the period on our port: median"
            " %.2f ms, worst %.2f ms (from the Start call: median %.2f, worst %.2f); target"
            " 2 periods + 3 ms = %.2f ms; JACK's playback latency to the speaker %.2f ms, so Go"
            " to speaker median %.2f ms, worst %.2f ms; not heard %d; xruns %llu\n",
            setting.rate, setting.period, period, fromGo.size(), fromGo[fromGo.size() / 2],
            fromGo.back(), fromStart[fromStart.size() / 2], fromStart.back(), 2 * period + 3,
            reported, fromGo[fromGo.size() / 2] + reported, fromGo.back() + reported, missed,
            static_cast<unsigned long long>(device->GetDropoutCount() - xrunsBefore));
        std::fflush(stdout);
    }
}

void BenchRestart(const QTemporaryDir& dir, int rounds) {
    const QByteArray path = WriteTone(dir, 44100);
    JackServer server(kServerName, {"-r", "44100", "-p", "128"});
    if (!server.Start()) {
        std::printf("restart: jackd did not start\n");
        return;
    }
    CSoundOutput output;
    if (!output.Initialize(JackDevice::Enumerate())) return;
    auto* device = static_cast<JackDevice*>(output.GetDevice(0));
    auto receiver = std::make_shared<NullReceiver>();
    CQRecord cue;
    cue.m_strPath = path;
    constexpr auto kWatch = std::chrono::milliseconds(200);  // the window's device watch
    std::vector<double> reopened;
    std::vector<double> playing;
    for (int round = 0; round < rounds; ++round) {
        server.Kill();
        while (output.Poll().empty()) std::this_thread::sleep_for(kWatch);
        const auto restart = Clock::now();
        if (!server.Launch()) break;
        // The watch ticks on its own clock: the restart falls anywhere between two ticks.
        std::this_thread::sleep_for(std::chrono::milliseconds(37 * round % 200));
        while (output.Poll().empty()) {
            if (Clock::now() - restart > std::chrono::seconds(10)) break;
            std::this_thread::sleep_for(kWatch);
        }
        const auto back = Clock::now();
        JackMeter meter(2);
        meter.Listen(PortsOf(*device));
        const auto [go, start] = TimeGo(output, meter, cue, receiver);
        (void)start;
        reopened.push_back(Ms(back - restart));
        playing.push_back(go < 0 ? -1 : Ms(Clock::now() - restart));
        std::printf(
            "restart %d: device reopened %.0f ms after jackd was started again; next Go heard"
            " %.1f ms after the Go, %.0f ms after the restart\n",
            round + 1, Ms(back - restart), go, playing.back());
        std::fflush(stdout);
    }
    if (reopened.empty()) return;
    std::sort(reopened.begin(), reopened.end());
    std::sort(playing.begin(), playing.end());
    std::printf(
        "restart: %zu rounds: restart to reopened median %.0f ms, worst %.0f ms;"
        " restart to playing median %.0f ms, worst %.0f ms (limit 2000 ms)\n",
        reopened.size(), reopened[reopened.size() / 2], reopened.back(),
        playing[playing.size() / 2], playing.back());
}

}  // namespace

int main(int argc, char** argv) {
    if (QStandardPaths::findExecutable("jackd").isEmpty()) {
        std::printf("jackd is not installed\n");
        return 0;
    }
    std::string mode = "all";
    int runs = 200;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--runs" && i + 1 < argc) {
            runs = std::max(1, std::atoi(argv[++i]));
        } else {
            mode = arg;
        }
    }
    QTemporaryDir dir;
    if (mode == "latency" || mode == "all") BenchLatency(dir, runs);
    if (mode == "restart" || mode == "all") BenchRestart(dir, 10);
    return 0;
}
