#include "engine/CSoundOutput.h"

#include <algorithm>
#include <cstdlib>

#include "engine/DeviceScanner.h"
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
    std::vector<ChosenDevice> chosen;
    for (std::string& name : devices) chosen.push_back({std::move(name)});
    SetPreferredAudio(std::move(backend), std::move(chosen));
}

void CSoundOutput::SetPreferredAudio(std::string backend, std::vector<ChosenDevice> devices) {
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
        const bool opened = Initialize(OutputDeviceFactory::CreateCandidates(*selection));
        m_lister = [selection = *selection] {
            return OutputDeviceFactory::CreateCandidates(selection);
        };
        return opened;
    }
    // The preferences: the backend, or the first of the usual ones that offers a device.
    std::vector<AudioBackend> backends = {AudioBackend::Pulse, AudioBackend::Jack,
                                          AudioBackend::Alsa};
    if (m_preferredBackend == "jack") backends = {AudioBackend::Jack};
    if (m_preferredBackend == "alsa") backends = {AudioBackend::Alsa};
    if (m_preferredBackend == "pulse") backends = {AudioBackend::Pulse};
    std::vector<std::unique_ptr<OutputDevice>> candidates;
    AudioSelection selection;
    for (const AudioBackend backend : backends) {
        selection.backend = backend;
        candidates = OutputDeviceFactory::CreateCandidates(selection);
        if (!candidates.empty()) break;
    }
    const bool opened = Initialize(std::move(candidates), m_preferredDevices);
    // Devices that appear later are looked for on the backend found now.
    m_lister = [selection] { return OutputDeviceFactory::CreateCandidates(selection); };
    return opened;
}

bool CSoundOutput::Initialize(std::vector<std::unique_ptr<OutputDevice>> candidates) {
    return Initialize(std::move(candidates), {});
}

bool CSoundOutput::Initialize(std::vector<std::unique_ptr<OutputDevice>> candidates,
                              const std::vector<ChosenDevice>& chosen) {
    ReleaseDevices();
    m_lister = {};
    m_chosen = chosen;
    if (!chosen.empty()) {
        // Only the chosen devices, in the order chosen. One that is not there, or does not
        // open, keeps its channels (as many as it had outputs when last seen, or has now).
        m_failureHint = QStringLiteral(
                            "None of the devices chosen in Edit > Preferences > Audio "
                            "was found. Connect one, or ") +
                        QString::fromLatin1(kRehearse);
        for (ChosenDevice& wanted : m_chosen) {
            std::unique_ptr<OutputDevice> device;
            for (auto& candidate : candidates) {
                if (candidate && candidate->GetDescription() == wanted.name) {
                    device = std::move(candidate);
                    break;
                }
            }
            if (device) wanted.outputs = device->GetOutputCount();
            if (device && device->Open()) {
                AddDevice(std::move(device));
                continue;
            }
            if (device) {
                m_failureHint = QString::fromStdString(device->GetDescription() + ": " +
                                                       device->GetLastError()) +
                                QStringLiteral(". Close the program that holds it, or ") +
                                QString::fromLatin1(kRehearse);
            }
            const int index = static_cast<int>(m_missing.size());
            m_missing.push_back({wanted.name});
            for (Channel& channel : ChannelsOf(wanted.name, wanted.outputs)) {
                channel.missing = index;
                m_channels.push_back(std::move(channel));
            }
        }
        if (!m_devices.empty()) m_failureHint.clear();
        return !m_devices.empty();
    }
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
        if (device) AddDevice(std::move(device));
    }
    if (!m_devices.empty()) m_failureHint.clear();
    return !m_devices.empty();
}

void CSoundOutput::AddDevice(std::unique_ptr<OutputDevice> device) {
    for (Channel& channel : ChannelsOf(device.get())) m_channels.push_back(std::move(channel));
    m_devices.push_back(std::move(device));
    m_watch.emplace_back();
}

std::vector<CSoundOutput::Channel> CSoundOutput::ChannelsOf(OutputDevice* device) {
    std::vector<Channel> channels = ChannelsOf(device->GetDescription(), device->GetOutputCount());
    for (Channel& channel : channels) channel.device = device;
    return channels;
}

std::vector<CSoundOutput::Channel> CSoundOutput::ChannelsOf(const std::string& name,
                                                            uint32_t outputs) {
    outputs = std::clamp<uint32_t>(outputs, 1, OutputDevice::kMaxOutputs);
    std::vector<Channel> channels;
    if (outputs <= 2) {
        channels.push_back({nullptr, 0, outputs, name});
        return channels;
    }
    for (uint32_t first = 0; first < outputs; first += 2) {
        const uint32_t width = std::min<uint32_t>(2, outputs - first);
        std::string text = name + " " + std::to_string(first + 1);
        if (width == 2) text += "/" + std::to_string(first + 2);
        channels.push_back({nullptr, first, width, std::move(text)});
    }
    return channels;
}

void CSoundOutput::GetChannelNames(QStringList& names) const {
    for (size_t i = 0; i < m_channels.size(); ++i) {
        names << QString::asprintf("%d - ", static_cast<int>(i)) +
                     QString::fromStdString(m_channels[i].name) +
                     (m_channels[i].missing >= 0 ? QStringLiteral(" (missing)") : QString());
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
    if (channel.missing >= 0) {
        // A chosen device that is not connected: said, never a silent cue.
        if (errorText) {
            *errorText =
                QStringLiteral("Output missing: ") +
                QString::fromStdString(m_missing[static_cast<size_t>(channel.missing)].name);
        }
        return nullptr;
    }
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
    if (m_scanner) {
        bool changed = false;
        for (auto& device : m_scanner->Take()) {
            const size_t before = changes.size();
            AdoptDevice(std::move(device), changes);
            changed = changed || changes.size() != before;
        }
        if (changed) UpdateScanInterest();
    }
    return changes;
}

void CSoundOutput::AdoptDevice(std::unique_ptr<OutputDevice> device,
                               std::vector<DeviceChange>& changes) {
    const std::string name = device->GetDescription();
    for (size_t i = 0; i < m_devices.size(); ++i) {
        if (m_devices[i]->GetDescription() == name) return;  // known: lost ones reopen in Poll
    }
    auto missing = std::find_if(m_missing.begin(), m_missing.end(),
                                [&](const Missing& m) { return !m.found && m.name == name; });
    if (missing == m_missing.end() && !m_chosen.empty()) return;  // not chosen: not used
    // Opened on the UI thread, as at start; a device that does not open is offered again by
    // the next listing.
    if (!device->Open()) return;
    if (missing == m_missing.end()) {
        AddDevice(std::move(device));
        changes.push_back({name, false, DeviceChange::Kind::Added});
        return;
    }
    // Into the channels kept for it, pair by pair. Pairs beyond those kept (it has more
    // outputs than when last seen) come at the end; kept channels beyond its outputs stay
    // missing.
    const int index = static_cast<int>(missing - m_missing.begin());
    missing->found = true;
    OutputDevice* opened = device.get();
    std::vector<Channel> pairs = ChannelsOf(opened);
    size_t next = 0;
    for (Channel& channel : m_channels) {
        if (channel.missing != index || next >= pairs.size()) continue;
        channel = std::move(pairs[next++]);
    }
    for (; next < pairs.size(); ++next) m_channels.push_back(std::move(pairs[next]));
    m_devices.push_back(std::move(device));
    m_watch.emplace_back();
    for (ChosenDevice& chosen : m_chosen) {
        if (chosen.name == name) chosen.outputs = opened->GetOutputCount();
    }
    changes.push_back({name, false, DeviceChange::Kind::Found});
}

void CSoundOutput::UpdateScanInterest() {
    if (!m_scanner) return;
    std::vector<std::string> names;
    if (!m_chosen.empty()) {
        for (const Missing& m : m_missing) {
            if (!m.found) names.push_back(m.name);
        }
        m_scanner->SetInterest(true, std::move(names));
        return;
    }
    for (const auto& device : m_devices) names.push_back(device->GetDescription());
    m_scanner->SetInterest(false, std::move(names));
}

void CSoundOutput::StartRescan(DeviceLister lister, int intervalMs) {
    StopRescan();
    if (!lister) lister = m_lister;
    if (!lister) return;
    m_scanner =
        std::make_unique<DeviceScanner>(std::move(lister), std::chrono::milliseconds(intervalMs));
    UpdateScanInterest();
}

void CSoundOutput::StopRescan() { m_scanner.reset(); }

void CSoundOutput::RescanNow() {
    if (m_scanner) m_scanner->ScanNow();
}

bool CSoundOutput::IsChannelMissing(int nChannel) const {
    const Channel* channel = GetChannel(nChannel);
    return channel != nullptr && channel->missing >= 0;
}

std::vector<std::pair<int, std::string>> CSoundOutput::GetMissingChannels() const {
    std::vector<std::pair<int, std::string>> missing;
    for (size_t i = 0; i < m_channels.size(); ++i) {
        if (m_channels[i].missing >= 0)
            missing.emplace_back(static_cast<int>(i), m_channels[i].name);
    }
    return missing;
}

const CSoundOutput::Channel* CSoundOutput::GetChannel(int nChannel) const {
    if (nChannel < 0 || nChannel >= GetChannelCount()) return nullptr;
    return &m_channels[static_cast<size_t>(nChannel)];
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
    StopRescan();
    m_channels.clear();
    m_missing.clear();
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
