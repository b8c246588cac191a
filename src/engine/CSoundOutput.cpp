#include "engine/CSoundOutput.h"

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

bool CSoundOutput::Initialize() {
    const auto selection = OutputDeviceFactory::SelectionFromEnvironment();
    if (!selection) return false;
    return Initialize(OutputDeviceFactory::CreateCandidates(*selection));
}

bool CSoundOutput::Initialize(std::vector<std::unique_ptr<OutputDevice>> candidates) {
    ReleaseDevices();
    for (auto& device : candidates) {
        // A device that cannot be opened is left out; the others are numbered without a gap.
        if (device && device->Open()) m_devices.push_back(std::move(device));
    }
    return !m_devices.empty();
}

void CSoundOutput::GetChannelNames(QStringList& names) const {
    for (size_t i = 0; i < m_devices.size(); ++i) {
        names << QString::asprintf("%d - ", static_cast<int>(i)) +
                     QString::fromStdString(m_devices[i]->GetDescription());
    }
}

std::unique_ptr<SoundBuffer> CSoundOutput::CreateBuffer(
    int nChannel, const std::array<AutoResetEvent*, 8>& events, QString* errorText) {
    const auto fail = [errorText]() -> std::unique_ptr<SoundBuffer> {
        if (errorText) *errorText = QString::fromLatin1(kCreateBufferFailed);
        return nullptr;
    };
    if (m_devices.empty()) return fail();
    // A channel this machine does not have (a list made elsewhere) plays on channel 0.
    OutputDevice* device = GetDevice(nChannel);
    if (device == nullptr) device = m_devices.front().get();

    std::unique_ptr<SoundBuffer> buffer = device->CreateBuffer();
    if (!buffer) return fail();
    // Without its notifications a buffer could never be refilled: refuse it.
    const auto positions = SoundBuffer::SegmentEndNotifications(events);
    if (!buffer->SetNotificationPositions(positions)) return fail();
    return buffer;
}

void CSoundOutput::ReleaseDevices() {
    for (auto& device : m_devices) {
        if (device) device->Close();
        device.reset();
    }
    m_devices.clear();
}

OutputDevice* CSoundOutput::GetDevice(int nChannel) const {
    if (nChannel < 0 || nChannel >= static_cast<int>(m_devices.size())) return nullptr;
    return m_devices[static_cast<size_t>(nChannel)].get();
}
