#include "platform/audio/RtAudioDevice.h"

#include <RtAudio.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <thread>

#include "platform/audio/DeviceMixer.h"

namespace {

RtAudio::Api ToRtApi(AudioBackend api) {
    switch (api) {
        case AudioBackend::Jack:
            return RtAudio::UNIX_JACK;
        case AudioBackend::Alsa:
            return RtAudio::LINUX_ALSA;
        case AudioBackend::Pulse:
        case AudioBackend::Virtual:
            break;
    }
    return RtAudio::LINUX_PULSE;
}

int64_t NowNs() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// The mix's own rate when the device takes it, else the device's preferred rate (a JACK server
// runs at one rate only), else its first.
uint32_t ChooseRate(const RtAudio::DeviceInfo& info) {
    if (info.sampleRates.empty()) return OutputDevice::kSampleRate;
    for (const unsigned int rate : info.sampleRates) {
        if (rate == OutputDevice::kSampleRate) return rate;
    }
    if (info.preferredSampleRate != 0) return info.preferredSampleRate;
    return info.sampleRates.front();
}

}  // namespace

RtAudioDevice::RtAudioDevice(AudioBackend api, unsigned int deviceId, std::string description,
                             uint32_t outputs, uint32_t rate)
    : OutputDevice(std::move(description), outputs, rate), m_api(api), m_deviceId(deviceId) {}

RtAudioDevice::~RtAudioDevice() { Close(); }

bool RtAudioDevice::IsOpen() const { return m_audio && m_audio->isStreamOpen(); }

bool RtAudioDevice::Open() {
    if (IsOpen()) return true;
    if (!GetMixer()->IsReady()) {
        SetLastError("No rate converter to " + std::to_string(GetSampleRate()) + " Hz");
        return false;
    }
    try {
        auto audio = std::make_unique<RtAudio>(ToRtApi(m_api));
        audio->showWarnings(false);
        // Device ids are positions in the API's current list: find ours again by name in case
        // the list changed since it was enumerated.
        unsigned int id = m_deviceId;
        const unsigned int count = audio->getDeviceCount();
        if (id >= count || audio->getDeviceInfo(id).name != GetDescription()) {
            id = count;
            for (unsigned int i = 0; i < count; ++i) {
                if (audio->getDeviceInfo(i).name == GetDescription()) {
                    id = i;
                    break;
                }
            }
            if (id == count) {
                SetLastError("Device not found: " + GetDescription());
                return false;
            }
        }
        RtAudio::StreamParameters parameters;
        parameters.deviceId = id;
        parameters.nChannels = GetOutputCount();
        parameters.firstChannel = 0;
        RtAudio::StreamOptions options;
        options.streamName = "Marvane";
        options.flags = RTAUDIO_SCHEDULE_REALTIME;
        options.priority = 70;
        if (m_api == AudioBackend::Pulse) options.numberOfBuffers = kPulseBuffers;
        if (m_api == AudioBackend::Alsa) options.numberOfBuffers = kAlsaBuffers;
        unsigned int frames = kPeriodFrames;
        m_firstCallbackNs.store(0, std::memory_order_relaxed);
        audio->openStream(&parameters, nullptr, RTAUDIO_SINT16, GetSampleRate(), &frames,
                          &RtAudioDevice::Callback, this, &options, nullptr);
        m_periodFrames = frames;
        m_unpaced.store(0, std::memory_order_relaxed);
        m_lastCallbackNs.store(0, std::memory_order_relaxed);
        m_openedNs = NowNs();
        audio->startStream();
        m_audio = std::move(audio);
        return true;
    } catch (const std::exception& e) {
        SetLastError(e.what());
    } catch (...) {
        SetLastError("Unknown audio error");
    }
    return false;
}

void RtAudioDevice::Close() {
    if (!m_audio) return;
    try {
        // Abort rather than stop: stopping drains the output first, and a JACK client that the
        // server has dropped, or a PulseAudio server that stalls, would never let it finish.
        if (m_audio->isStreamRunning()) m_audio->abortStream();
        if (m_audio->isStreamOpen()) m_audio->closeStream();
    } catch (...) {
        // The stream is gone either way.
    }
    m_audio.reset();
}

bool RtAudioDevice::IsLost() const {
    if (!m_audio) return false;
    try {
        if (!m_audio->isStreamOpen() || !m_audio->isStreamRunning()) return true;
    } catch (...) {
        return true;
    }
    if (m_unpaced.load(std::memory_order_relaxed) > 0) return true;
    const int64_t last = m_lastCallbackNs.load(std::memory_order_acquire);
    const int64_t since = last != 0 ? last : m_openedNs;
    return static_cast<double>(NowNs() - since) / 1e9 > kStallSeconds + 1.0 * (last == 0);
}

long RtAudioDevice::GetReportedLatencyFrames() const {
    if (!IsOpen()) return 0;
    try {
        return m_audio->getStreamLatency();
    } catch (...) {
        return 0;
    }
}

double RtAudioDevice::MeasureLeadSeconds() const {
    const int64_t first = m_firstCallbackNs.load(std::memory_order_acquire);
    if (first == 0) return 0.0;
    const uint64_t frames =
        GetMixer()->GetFramesMixed() - m_firstCallbackFrames.load(std::memory_order_relaxed);
    const double mixed = static_cast<double>(frames) / kSampleRate;  // the mix is at 44.1 kHz
    return mixed - static_cast<double>(NowNs() - first) / 1e9;
}

int RtAudioDevice::Callback(void* output, void* /*input*/, unsigned int frames,
                            double /*streamTime*/, unsigned int status, void* userData) {
    auto* self = static_cast<RtAudioDevice*>(userData);
    const int64_t now = NowNs();
    int64_t first = self->m_firstCallbackNs.load(std::memory_order_relaxed);
    DeviceMixer& mixer = *self->GetMixer();
    if (first == 0) {
        first = now;
        self->m_firstCallbackFrames.store(mixer.GetFramesMixed(), std::memory_order_relaxed);
        self->m_firstCallbackNs.store(now, std::memory_order_release);
    }
    self->m_lastCallbackNs.store(now, std::memory_order_release);
    if (status & RTAUDIO_OUTPUT_UNDERFLOW) {
        self->m_underflows.fetch_add(1, std::memory_order_relaxed);
    }
    // A stream that nothing paces (its server has gone, so every write fails at once) calls
    // back without pause: beyond the lead a healthy server allows, wait until it is back within.
    const uint64_t mixed =
        mixer.GetFramesMixed() - self->m_firstCallbackFrames.load(std::memory_order_relaxed);
    const double lead =
        static_cast<double>(mixed) / kSampleRate - static_cast<double>(now - first) / 1e9;
    if (lead > kMaxLeadSeconds) {
        self->m_unpaced.fetch_add(1, std::memory_order_relaxed);
        std::this_thread::sleep_for(std::chrono::duration<double>(lead - kMaxLeadSeconds / 2));
    }
    mixer.Mix(static_cast<int16_t*>(output), frames);
    return 0;
}

std::vector<std::unique_ptr<OutputDevice>> RtAudioDevice::Enumerate(AudioBackend api) {
    std::vector<std::unique_ptr<OutputDevice>> devices;
    try {
        RtAudio audio(ToRtApi(api));
        audio.showWarnings(false);
        if (audio.getCurrentApi() != ToRtApi(api)) return devices;
        const unsigned int count = audio.getDeviceCount();
        for (unsigned int i = 0; i < count; ++i) {
            try {
                const RtAudio::DeviceInfo info = audio.getDeviceInfo(i);
                if (!info.probed || info.outputChannels == 0) continue;
                devices.push_back(std::make_unique<RtAudioDevice>(
                    api, i, info.name, std::min(info.outputChannels, kMaxOutputs),
                    ChooseRate(info)));
            } catch (...) {
                // A device that cannot be probed gets no channel.
            }
        }
    } catch (...) {
        // The API cannot be reached: no devices.
    }
    return devices;
}
