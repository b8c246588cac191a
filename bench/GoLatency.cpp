#include "GoLatency.h"

#include <QFile>
#include <algorithm>
#include <cmath>
#include <ctime>
#include <memory>

#include "engine/CSoundOutput.h"
#include "platform/audio/DeviceMixer.h"
#include "platform/audio/OfflineDevice.h"
#include "platform/audio/VirtualDevice.h"
#include "platform/media/WaveHeader.h"

namespace bench {

double ProcessCpuSeconds() {
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) + ts.tv_nsec * 1e-9;
}

bool ProbeDevice::Open() {
    m_stop = false;
    m_thread = std::thread([this] { Loop(); });
    return true;
}

void ProbeDevice::Close() {
    m_stop = true;
    if (m_thread.joinable()) m_thread.join();
}

uint32_t ProbeDevice::GetPeriodFrames() const { return VirtualDevice::kDefaultPeriodFrames; }

bool ProbeDevice::Heard(Clock::time_point* when) const {
    const auto ticks = m_heard.load();
    if (ticks <= 0) return false;
    *when = Clock::time_point(Clock::duration(ticks));
    return true;
}

void ProbeDevice::Loop() {
    const uint32_t frames = GetPeriodFrames();
    std::vector<int16_t> period(2 * frames);
    const auto length = std::chrono::nanoseconds(int64_t{frames} * 1'000'000'000 / 44100);
    auto due = Clock::now();
    while (!m_stop) {
        GetMixer()->Mix(period.data(), frames);
        const auto now = Clock::now();
        if (m_heard.load() == -1 &&
            std::any_of(period.begin(), period.end(), [](int16_t s) { return s != 0; })) {
            m_heard.store(now.time_since_epoch().count());
        }
        due += length;
        if (now > due + 8 * length) due = now;
        std::this_thread::sleep_until(due);
    }
}

ProbeDevice* InitializeProbe(CSoundOutput& output) {
    std::vector<std::unique_ptr<OutputDevice>> devices;
    devices.push_back(std::make_unique<ProbeDevice>());
    output.Initialize(std::move(devices));
    return static_cast<ProbeDevice*>(output.GetDevice(0));
}

std::vector<std::vector<double>> TimeGos(CSoundOutput& output, ProbeDevice& probe,
                                         const std::vector<CQRecord*>& cues, int runs,
                                         const std::function<void(int, size_t)>& before) {
    auto counter = std::make_shared<EndCounter>();
    std::vector<std::vector<double>> ms(cues.size());
    for (int i = 0; i < runs; ++i) {
        for (size_t k = 0; k < cues.size(); ++k) {
            if (before) before(i, k);
            probe.Arm();
            const auto t0 = Clock::now();
            auto player = std::make_unique<CCuePlayer>(cues[k], 0, counter, output);
            player->Start();
            Clock::time_point heard;
            while (!probe.Heard(&heard)) std::this_thread::sleep_for(std::chrono::microseconds(50));
            ms[k].push_back(std::chrono::duration<double, std::milli>(heard - t0).count());
            player.reset();
            // Vary where in the device period the next Go falls.
            std::this_thread::sleep_for(std::chrono::microseconds(7000 + 997 * (i % 7)));
        }
    }
    for (auto& list : ms) std::sort(list.begin(), list.end());
    return ms;
}

QByteArray WriteToneWav(const QString& path, uint32_t frames, uint32_t rate) {
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
    QFile file(path);
    if (file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        file.write(h.data(), static_cast<qint64>(h.size()));
        file.write(data);
    }
    return QFile::encodeName(path);
}

OfflineRender RenderOffline(CQRecord& cue, uint64_t limitFrames) {
    CSoundOutput output;
    std::vector<std::unique_ptr<OutputDevice>> devices;
    devices.push_back(std::make_unique<OfflineDevice>("Offline"));
    output.Initialize(std::move(devices));
    auto* device = static_cast<OfflineDevice*>(output.GetDevice(0));
    auto waiter = std::make_shared<EndCounter>();
    constexpr uint32_t kBlock = 2048;
    std::vector<int16_t> out(2 * kBlock);
    OfflineRender result;
    const auto t0 = Clock::now();
    const double cpu0 = ProcessCpuSeconds();
    CCuePlayer player(&cue, 0, waiter, output);
    player.Start();
    while (waiter->Ended() == 0 && result.frames < limitFrames) {
        device->Render(out.data(), kBlock);
        result.frames += kBlock;
    }
    result.wallSeconds = std::chrono::duration<double>(Clock::now() - t0).count();
    result.cpuSeconds = ProcessCpuSeconds() - cpu0;
    result.underruns = player.GetUnderrunCount();
    return result;
}

}  // namespace bench
