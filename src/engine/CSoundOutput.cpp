#include "engine/CSoundOutput.h"

#include <algorithm>
#include <cstdlib>

#include "platform/audio/DeviceMixer.h"
#include "platform/audio/OutputDevice.h"
#include "platform/audio/OutputDeviceFactory.h"
#include "platform/audio/SoundBuffer.h"
#include "platform/sync/AutoResetEvent.h"

CSoundOutput theSoundOutput;

CSoundOutput::CSoundOutput() {
    m_format.wFormatTag = WaveFormat::kPcm;
    m_format.nChannels = 2;
    m_format.nSamplesPerSec = kSampleRate;
    m_format.nAvgBytesPerSec = kSampleRate * kFrameBytes;
    m_format.nBlockAlign = kFrameBytes;
    m_format.wBitsPerSample = 16;
    m_format.cbSize = 0;
}

CSoundOutput::~CSoundOutput() { ReleaseDevices(); }

namespace {

constexpr const char* kRehearse = "set MARVANE_AUDIO=virtual:2 to rehearse without sound.";

}  // namespace

void CSoundOutput::SetPreferredAudio(std::string backend, std::vector<std::string> devices) {
    m_preferredBackend = std::move(backend);
    m_preferredDevices = std::move(devices);
}

bool CSoundOutput::Initialize() {
    std::string error;
    const char* variable = std::getenv(OutputDeviceFactory::kEnvironmentVariable);
    if (variable != nullptr && *variable != '\0') {
        const auto selection = OutputDeviceFactory::ParseSelection(variable, &error);
        if (!selection) {
            ReleaseDevices();
            m_failureHint = QString::fromStdString(error);
            return false;
        }
        return Initialize(OutputDeviceFactory::CreateCandidates(*selection));
    }
    // The preferences: the backend, or the first of the usual ones that offers a device.
    std::vector<AudioBackend> backends = {AudioBackend::Pulse, AudioBackend::Jack,
                                          AudioBackend::Alsa};
    if (m_preferredBackend == "jack") backends = {AudioBackend::Jack};
    if (m_preferredBackend == "alsa") backends = {AudioBackend::Alsa};
    if (m_preferredBackend == "pulse") backends = {AudioBackend::Pulse};
    std::vector<std::unique_ptr<OutputDevice>> candidates;
    for (const AudioBackend backend : backends) {
        AudioSelection selection;
        selection.backend = backend;
        candidates = OutputDeviceFactory::CreateCandidates(selection);
        if (!candidates.empty()) break;
    }
    if (!m_preferredDevices.empty()) {
        // Only the devices chosen, in the order chosen; a chosen device not found is skipped.
        std::vector<std::unique_ptr<OutputDevice>> chosen;
        for (const std::string& name : m_preferredDevices) {
            for (auto& device : candidates) {
                if (device && device->GetDescription() == name) {
                    chosen.push_back(std::move(device));
                    break;
                }
            }
        }
        candidates = std::move(chosen);
    }
    return Initialize(std::move(candidates));
}

bool CSoundOutput::Initialize(std::vector<std::unique_ptr<OutputDevice>> candidates) {
    ReleaseDevices();
    m_failureHint =
        QStringLiteral("No sound server answered (PulseAudio/PipeWire, JACK). Start one, or ") +
        QString::fromLatin1(kRehearse);
    for (auto& device : candidates) {
        if (device && !device->Open()) {
            m_failureHint =
                QString::fromStdString(device->GetDescription() + ": " + device->GetLastError()) +
                QStringLiteral(". Close the program that holds it, or ") +
                QString::fromLatin1(kRehearse);
            continue;
        }
        // A device that cannot be opened is left out; the others are numbered without a gap.
        if (device) {
            for (Channel& channel : ChannelsOf(device.get())) {
                m_channels.push_back(std::move(channel));
            }
            m_devices.push_back(std::move(device));
            m_watch.emplace_back();
        }
    }
    if (!m_devices.empty()) m_failureHint.clear();
    return !m_devices.empty();
}

std::vector<CSoundOutput::Channel> CSoundOutput::ChannelsOf(OutputDevice* device) {
    std::vector<Channel> channels;
    const uint32_t outputs = device->GetOutputCount();
    if (outputs <= 2) {
        channels.push_back({device, 0, outputs, device->GetDescription()});
        return channels;
    }
    for (uint32_t first = 0; first < outputs; first += 2) {
        const uint32_t width = std::min<uint32_t>(2, outputs - first);
        std::string name = device->GetDescription() + " " + std::to_string(first + 1);
        if (width == 2) name += "/" + std::to_string(first + 2);
        channels.push_back({device, first, width, std::move(name)});
    }
    return channels;
}

void CSoundOutput::GetChannelNames(QStringList& names) const {
    for (size_t i = 0; i < m_channels.size(); ++i) {
        names << QString::asprintf("%d - ", static_cast<int>(i)) +
                     QString::fromStdString(m_channels[i].name);
    }
}

std::unique_ptr<SoundBuffer> CSoundOutput::CreateBuffer(
    int nChannel, const std::array<AutoResetEvent*, 8>& events, QString* errorText) {
    const auto fail = [errorText]() -> std::unique_ptr<SoundBuffer> {
        if (errorText) *errorText = QString::fromLatin1(kCreateBufferFailed);
        return nullptr;
    };
    if (m_channels.empty()) return fail();
    // A channel this machine does not have (a list made elsewhere) plays on channel 0.
    const bool known = nChannel >= 0 && nChannel < GetChannelCount();
    const Channel& channel = m_channels[known ? static_cast<size_t>(nChannel) : 0];
    if (IsChannelLost(known ? nChannel : 0)) {
        // Said plainly rather than playing into a device that is not there.
        if (errorText) {
            *errorText = QStringLiteral("Output lost: ") +
                         QString::fromStdString(channel.device->GetDescription());
        }
        return nullptr;
    }

    std::unique_ptr<SoundBuffer> buffer =
        channel.device->CreateBuffer(channel.firstOutput, channel.width);
    if (!buffer) return fail();
    // Without its notifications a buffer could never be refilled: refuse it.
    const auto positions = SoundBuffer::SegmentEndNotifications(events);
    if (!buffer->SetNotificationPositions(positions)) return fail();
    return buffer;
}

std::vector<CSoundOutput::DeviceChange> CSoundOutput::Poll() {
    std::vector<DeviceChange> changes;
    const auto now = std::chrono::steady_clock::now();
    for (size_t i = 0; i < m_devices.size(); ++i) {
        OutputDevice& device = *m_devices[i];
        Watch& watch = m_watch[i];
        if (!watch.lost) {
            if (!device.IsLost()) continue;
            watch.lost = true;
            watch.lastTry = now;
            device.Close();
            device.GetMixer()->AbandonAll();
            changes.push_back({device.GetDescription(), true});
            continue;
        }
        if (now - watch.lastTry < std::chrono::milliseconds(kReopenIntervalMs)) continue;
        watch.lastTry = now;
        if (device.Open()) {
            watch.lost = false;
            changes.push_back({device.GetDescription(), false});
        }
    }
    return changes;
}

bool CSoundOutput::IsChannelLost(int nChannel) const {
    OutputDevice* device = GetDevice(nChannel);
    if (device == nullptr) return false;
    for (size_t i = 0; i < m_devices.size(); ++i) {
        if (m_devices[i].get() == device) return m_watch[i].lost;
    }
    return false;
}

uint64_t CSoundOutput::GetDropoutCount() const {
    uint64_t total = 0;
    for (const auto& device : m_devices) total += device->GetDropoutCount();
    return total;
}

void CSoundOutput::ReleaseDevices() {
    m_channels.clear();
    m_watch.clear();
    for (auto& device : m_devices) {
        if (device) device->Close();
        device.reset();
    }
    m_devices.clear();
}

OutputDevice* CSoundOutput::GetDevice(int nChannel) const {
    if (nChannel < 0 || nChannel >= GetChannelCount()) return nullptr;
    return m_channels[static_cast<size_t>(nChannel)].device;
}

OutputDevice* CSoundOutput::GetDeviceAt(int index) const {
    if (index < 0 || index >= GetDeviceCount()) return nullptr;
    return m_devices[static_cast<size_t>(index)].get();
}
