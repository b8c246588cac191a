// Figures of the PulseAudio backend on null sinks of a private server that the benchmark starts
// (its socket under a temporary folder; nothing of the user's own server is touched):
//   latency  Go to sound at the server, 200 Go's: from the player's start call to the first
//            sample of the cue handed to the server, plus the latency the server reports for
//            the stream at that moment (what it holds before that sample, and the sink's own)
//   restart  the server killed and started again: from the start of the new server to the
//            device reopened (polled as the program's device watch does, every 200 ms) and to
//            the first sample of the next Go handed to the server
// usage: marvane_pulse_bench [latency|restart|all] [--runs N] [--restarts N]
#include <signal.h>
#include <unistd.h>

#include <QByteArray>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "cuelist/CQRecord.h"
#include "engine/CCuePlayer.h"
#include "engine/CSoundOutput.h"
#include "platform/audio/OutputDeviceFactory.h"
#include "platform/audio/PulseDevice.h"
#include "platform/media/WaveHeader.h"

namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

double Ms(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

class Receiver : public IPlayerStatusReceiver {
public:
    void OnPlayerStatus(CCuePlayer*, int) override {}
};

QByteArray WriteTone(const QTemporaryDir& dir) {
    constexpr uint32_t kFrames = 44100;
    QByteArray data(static_cast<qsizetype>(kFrames) * 4, '\0');
    auto* p = reinterpret_cast<int16_t*>(data.data());
    for (uint32_t i = 0; i < kFrames; ++i) {
        // Never zero, so the first frame of the cue is the first sound.
        auto v = static_cast<int16_t>(10000 * std::sin(2 * M_PI * 1000.0 * i / 44100));
        if (v == 0) v = 1;
        p[2 * i] = p[2 * i + 1] = v;
    }
    const auto header = PcmWaveHeader(2, 44100, 16, static_cast<uint32_t>(data.size()));
    const QString path = dir.filePath(QStringLiteral("tone.wav"));
    QFile file(path);
    if (file.open(QIODevice::WriteOnly)) {
        file.write(header.data(), static_cast<qint64>(header.size()));
        file.write(data);
    }
    return path.toLocal8Bit();
}

class Server {
public:
    Server(const QTemporaryDir& dir, const char* kind) : m_dir(dir.path()), m_kind(kind) {
        qputenv("XDG_RUNTIME_DIR", (m_dir + "/pulse-runtime").toLocal8Bit());
        qputenv("HOME", (m_dir + "/pulse-home").toLocal8Bit());
    }
    ~Server() { Run("stop"); }
    bool Start() { return Run("start") == 0; }
    void Kill() {
        QFile pidFile(m_dir + "/pulse-runtime/pulse/pid");
        if (!pidFile.open(QIODevice::ReadOnly)) return;
        const pid_t pid = static_cast<pid_t>(pidFile.readAll().trimmed().toInt());
        if (pid > 0) ::kill(pid, SIGKILL);
        for (int i = 0; i < 500 && pid > 0 && ::kill(pid, 0) == 0; ++i) {
            std::this_thread::sleep_for(10ms);
        }
    }

private:
    int Run(const char* action) {
        return QProcess::execute(
            "sh", {MARVANE_SOUND_SERVER_SCRIPT, action, QString::fromLatin1(m_kind), m_dir});
    }
    QString m_dir;
    const char* m_kind;
};

// One Go on channel 0: the start call to the first sample handed to the server, and the
// server's latency for it. False when nothing was handed over within two seconds.
bool OneGo(CSoundOutput& output, CQRecord& cue, const std::shared_ptr<Receiver>& receiver,
           double* handedMs, double* serverMs) {
    auto* device = static_cast<PulseDevice*>(output.GetDevice(0));
    device->ArmProbe();
    auto player = std::make_unique<CCuePlayer>(&cue, 0, receiver, output);
    if (player->IsFailed()) return false;
    const auto go = Clock::now();
    player->Start();
    Clock::time_point handed;
    uint64_t latencyUs = 0;
    const auto until = go + 2s;
    while (!device->TakeProbe(&handed, &latencyUs)) {
        if (Clock::now() > until) return false;
        std::this_thread::sleep_for(50us);
    }
    *handedMs = Ms(handed - go);
    *serverMs = latencyUs == UINT64_MAX ? NAN : latencyUs / 1000.0;
    return true;
}

void Report(const char* what, std::vector<double> values) {
    values.erase(std::remove_if(values.begin(), values.end(), [](double v) { return v != v; }),
                 values.end());
    if (values.empty()) {
        std::printf("  %-34s no figures\n", what);
        return;
    }
    std::sort(values.begin(), values.end());
    std::printf("  %-34s median %6.2f ms   worst %6.2f ms   best %6.2f ms\n", what,
                values[values.size() / 2], values.back(), values.front());
}

void BenchLatency(const QTemporaryDir& dir, const QByteArray& tone, const char* kind, int runs) {
    Server server(dir, kind);
    if (!server.Start()) {
        std::printf("latency (%s): the PulseAudio server did not start\n", kind);
        return;
    }
    AudioSelection selection;
    selection.backend = AudioBackend::Pulse;
    CSoundOutput output;
    if (!output.Initialize(OutputDeviceFactory::CreateCandidates(selection))) {
        std::printf("latency (%s): no device: %s\n", kind, qPrintable(output.GetFailureHint()));
        return;
    }
    auto* device = static_cast<PulseDevice*>(output.GetDevice(0));
    // A null sink starts with a long block and shortens it for our stream only at its next
    // wake-up: let it settle, as a device opened at the program's start has long before a Go.
    std::this_thread::sleep_for(2500ms);
    const PulseDevice::BufferGrant grant = device->GetBufferGrant();
    const double bytesPerMs = device->GetSampleRate() * 2.0 * device->GetOutputCount() / 1000.0;
    std::printf(
        "latency (%s sink \"%s\", %u outputs at %u Hz): asked tlength %.1f ms, minreq %.1f ms;"
        " granted tlength %.2f ms, minreq %.2f ms, prebuf %.2f ms, sink latency %.2f ms\n",
        kind, device->GetDescription().c_str(), device->GetOutputCount(), device->GetSampleRate(),
        PulseDevice::kTargetLatencyUs / 1000.0, PulseDevice::kPeriodUs / 1000.0,
        grant.tlength / bytesPerMs, grant.minreq / bytesPerMs, grant.prebuf / bytesPerMs,
        grant.sinkLatencyUs / 1000.0);
    std::printf("  dropouts while the stream settled: %llu\n",
                static_cast<unsigned long long>(device->GetDropoutCount()));
    auto receiver = std::make_shared<Receiver>();
    CQRecord cue;
    cue.m_strPath = tone;
    std::vector<double> handed;
    std::vector<double> reported;
    std::vector<double> total;
    int missed = 0;
    const uint64_t dropoutsBefore = device->GetDropoutCount();
    for (int i = 0; i < runs; ++i) {
        double h = 0;
        double s = 0;
        if (OneGo(output, cue, receiver, &h, &s)) {
            handed.push_back(h);
            reported.push_back(s);
            total.push_back(h + s);
        } else {
            ++missed;
        }
        // Vary where in the server's period the next Go falls.
        std::this_thread::sleep_for(std::chrono::microseconds(20000 + 997 * (i % 11)));
    }
    std::printf("  %d Go's (%d without sound handed over), %llu dropouts meanwhile\n", runs, missed,
                static_cast<unsigned long long>(device->GetDropoutCount() - dropoutsBefore));
    Report("Go -> first sample at the server", handed);
    Report("server latency for it", reported);
    Report("Go -> sound (sum)", total);
}

void BenchRestart(const QTemporaryDir& dir, const QByteArray& tone, int restarts) {
    Server server(dir, "pulse");
    if (!server.Start()) {
        std::printf("restart: the PulseAudio server did not start\n");
        return;
    }
    AudioSelection selection;
    selection.backend = AudioBackend::Pulse;
    CSoundOutput output;
    if (!output.Initialize(OutputDeviceFactory::CreateCandidates(selection))) {
        std::printf("restart: no device\n");
        return;
    }
    auto receiver = std::make_shared<Receiver>();
    CQRecord cue;
    cue.m_strPath = tone;
    std::vector<double> answered;
    std::vector<double> reopened;
    std::vector<double> sinkAhead;
    std::vector<double> playing;
    for (int r = 0; r < restarts; ++r) {
        server.Kill();
        // The device watch notices the loss.
        for (int i = 0; i < 100 && !output.IsChannelLost(0); ++i) {
            output.Poll();
            std::this_thread::sleep_for(200ms);
        }
        const auto start = Clock::now();
        if (!server.Start()) break;
        answered.push_back(Ms(Clock::now() - start));
        bool back = false;
        for (int i = 0; i < 100 && !back; ++i) {
            for (const auto& change : output.Poll()) back = back || !change.lost;
            if (!back) std::this_thread::sleep_for(200ms);
        }
        if (!back) break;
        reopened.push_back(Ms(Clock::now() - start));
        // What the sink holds before a sample written now (a fresh null sink has rendered a
        // long block of silence ahead, which it does not take back for a new stream).
        const auto* device = static_cast<const PulseDevice*>(output.GetDevice(0));
        sinkAhead.push_back(device->GetBufferGrant().sinkLatencyUs / 1000.0);
        double h = 0;
        double s = 0;
        if (OneGo(output, cue, receiver, &h, &s)) playing.push_back(Ms(Clock::now() - start));
    }
    std::printf("restart: %zu of %d restarts, times from the new server's start:\n", playing.size(),
                restarts);
    Report("server answers", answered);
    Report("device reopened", reopened);
    Report("(sink latency at the reopen)", sinkAhead);
    Report("next Go's sound at the server", playing);
}

}  // namespace

int main(int argc, char** argv) {
    std::string mode = "all";
    int runs = 200;
    int restarts = 10;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--runs" && i + 1 < argc) {
            runs = std::max(1, std::atoi(argv[++i]));
        } else if (arg == "--restarts" && i + 1 < argc) {
            restarts = std::max(1, std::atoi(argv[++i]));
        } else {
            mode = arg;
        }
    }
    QTemporaryDir dir(QStringLiteral("/tmp/mv-pulse-bench-XXXXXX"));
    const QByteArray tone = WriteTone(dir);
    if (mode == "latency" || mode == "all") {
        BenchLatency(dir, tone, "pulse", runs);
        BenchLatency(dir, tone, "pulse8", runs);
    }
    if (mode == "restart" || mode == "all") BenchRestart(dir, tone, restarts);
    return 0;
}
