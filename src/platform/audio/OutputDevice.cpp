#include "platform/audio/OutputDevice.h"

#include "platform/audio/DeviceMixer.h"
#include "platform/audio/SoundBuffer.h"

OutputDevice::OutputDevice(std::string description)
    : m_description(std::move(description)), m_mixer(std::make_shared<DeviceMixer>()) {}

OutputDevice::~OutputDevice() = default;

std::unique_ptr<SoundBuffer> OutputDevice::CreateBuffer() {
    auto buffer = std::make_unique<SoundBuffer>();
    if (!m_mixer->Attach(buffer.get())) return nullptr;
    return buffer;
}
