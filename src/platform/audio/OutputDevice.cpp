#include "platform/audio/OutputDevice.h"

#include <algorithm>

#include "platform/audio/DeviceMixer.h"
#include "platform/audio/SoundBuffer.h"

OutputDevice::OutputDevice(std::string description, uint32_t outputs, uint32_t rate)
    : m_description(std::move(description)),
      m_mixer(std::make_shared<DeviceMixer>(outputs, rate == 0 ? kSampleRate : rate)) {}

uint32_t OutputDevice::GetOutputCount() const { return m_mixer->GetOutputCount(); }

uint32_t OutputDevice::GetSampleRate() const { return m_mixer->GetDeviceRate(); }

OutputDevice::~OutputDevice() = default;

std::unique_ptr<SoundBuffer> OutputDevice::CreateBuffer(uint32_t first, uint32_t width) {
    auto buffer = std::make_unique<SoundBuffer>();
    if (!buffer->SetOutputs(first, std::min(width, GetOutputCount()))) return nullptr;
    if (!m_mixer->Attach(buffer.get())) return nullptr;
    return buffer;
}
